#!/usr/bin/env bash
# Builds the launcher, packages the sample application (sample/) as
# build/Demo.app with this machine's JDK as its runtime, and starts it with a
# few arguments. Arguments given to this script replace those.
#
#   Demo.app/Contents/MacOS/Demo          the launcher
#   Demo.app/Contents/app/Demo.cfg        its configuration
#   Demo.app/Contents/app/demo.jar        the sample application
#   Demo.app/Contents/runtime/Contents/Home/lib/libjli.dylib
#                                         link to the JDK's launcher library
#
# With --linux as the first argument, builds the Linux launcher and packages
# the Linux application image build/Demo instead:
#
#   Demo/bin/Demo                         the launcher
#   Demo/lib/app/Demo.cfg                 its configuration
#   Demo/lib/app/demo.jar                 the sample application
#   Demo/lib/runtime                      link to the JDK's home
set -euo pipefail
cd "$(dirname "$0")/.."

layout=bundle
if [ "${1:-}" = "--linux" ]; then
  layout=linux
  shift
fi

build=${BUILD_DIR:-build}

# The JDK: JAVA_HOME, else the one that `java` on PATH belongs to.
if [ -n "${JAVA_HOME:-}" ]; then
  jdk=$JAVA_HOME
elif java=$(command -v java); then
  jdk=$(dirname "$(dirname "$(readlink -f "$java")")")
else
  echo "demo: no JDK found: set JAVA_HOME or put java on PATH (JDK 11 or newer)." >&2
  exit 1
fi
for tool in javac jar; do
  if [ ! -x "$jdk/bin/$tool" ]; then
    echo "demo: $jdk has no bin/$tool; a JDK (11 or newer) is needed, not a JRE." >&2
    exit 1
  fi
done
jli=""
for lib in "$jdk/lib/libjli.dylib" "$jdk/lib/libjli.so"; do
  if [ -e "$lib" ]; then jli=$lib; break; fi
done
if [ -z "$jli" ]; then
  echo "demo: $jdk has no lib/libjli.dylib or lib/libjli.so; is it a JDK home?" >&2
  exit 1
fi

config='[Application]
app.mainjar=$APPDIR/demo.jar

[JavaOptions]
java-options=-Ddemo.greeting=Hello from Demo.cfg

[ArgOptions]
arguments=an argument from Demo.cfg'

if [ "$layout" = linux ]; then
  target=applauncher-linux
  image=$build/Demo
  exe=$image/bin/Demo
  appdir=$image/lib/app
else
  target=applauncher
  image=$build/Demo.app
  exe=$image/Contents/MacOS/Demo
  appdir=$image/Contents/app
fi

echo "==> Building the launcher in $build/"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target "$target" -j"$(nproc 2>/dev/null || echo 2)"

echo "==> Assembling $image with the JDK in $jdk"
rm -rf "$image" "$build/demo-classes"
mkdir -p "$(dirname "$exe")" "$appdir"
"$jdk/bin/javac" --release 11 -d "$build/demo-classes" sample/src/demo/Main.java
"$jdk/bin/jar" --create --file "$appdir/demo.jar" \
               --main-class demo.Main -C "$build/demo-classes" .
cp "$build/$target" "$exe"
printf '%s\n' "$config" > "$appdir/Demo.cfg"
# The JDK's launcher library finds its Java home from its own real path.
if [ "$layout" = linux ]; then
  ln -s "$(readlink -f "$jdk")" "$image/lib/runtime"
else
  mkdir -p "$image/Contents/runtime/Contents/Home/lib"
  ln -s "$(readlink -f "$jli")" "$image/Contents/runtime/Contents/Home/lib/libjli.dylib"
fi

# Non-ASCII arguments print as such only in a UTF-8 locale.
if [ "$(locale charmap 2>/dev/null)" != "UTF-8" ] && locale -a 2>/dev/null | grep -qix 'c.utf-\?8'; then
  export LC_ALL=C.UTF-8
fi

if [ $# -eq 0 ]; then
  set -- "hello world" "$(printf 'gr\303\274\303\237 dich')" 42
fi
echo "==> Starting $exe (VANTRY_DEBUG=true shows what the launcher does)"
echo
exec "$exe" "$@"
