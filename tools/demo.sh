#!/usr/bin/env bash
# Builds the launcher and the assembly command, compiles the sample
# application (sample/src) into sample/target/demo.jar, assembles it with
#   applauncher-assemble sample/demo.cfg --target bundle --output build
# as build/Demo.app (a runtime jlinked from this machine's JDK inside), and
# starts it with a few arguments. Arguments given to this script replace
# those.
#
# With --linux as the first argument, assembles the Linux application image
# build/Demo (--target image) instead and starts that.
set -euo pipefail
cd "$(dirname "$0")/.."

target=bundle
if [ "${1:-}" = "--linux" ]; then
  target=image
  shift
fi

build=${BUILD_DIR:-build}

# The JDK: JAVA_HOME, else the one that `java` on PATH belongs to. The
# assembly command links the runtime with the same one.
if [ -n "${JAVA_HOME:-}" ]; then
  jdk=$JAVA_HOME
elif java=$(command -v java); then
  jdk=$(dirname "$(dirname "$(readlink -f "$java")")")
else
  echo "demo: no JDK found: set JAVA_HOME or put java on PATH (JDK 11 or newer)." >&2
  exit 1
fi
for tool in javac jar jlink; do
  if [ ! -x "$jdk/bin/$tool" ]; then
    echo "demo: $jdk has no bin/$tool; a JDK (11 or newer) is needed, not a JRE." >&2
    exit 1
  fi
done
export JAVA_HOME=$jdk

if [ "$target" = image ]; then
  exe=$build/Demo/bin/Demo
  launcher=applauncher-linux
else
  exe=$build/Demo.app/Contents/MacOS/Demo
  launcher=applauncher
fi

echo "==> Building the launcher and applauncher-assemble in $build/"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target "$launcher" applauncher-assemble -j"$(nproc 2>/dev/null || echo 2)"

echo "==> Compiling sample/src into sample/target/demo.jar"
rm -rf sample/target
"$jdk/bin/javac" --release 11 -d sample/target/classes sample/src/demo/Main.java
"$jdk/bin/jar" --create --file sample/target/demo.jar \
               --main-class demo.Main -C sample/target/classes .

echo "==> Assembling sample/demo.cfg in $build/ (jlink of $jdk)"
"$build/applauncher-assemble" sample/demo.cfg --target "$target" \
    --output "$build" --replace

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
