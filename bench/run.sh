#!/usr/bin/env bash
# Start-up benchmark of the launcher, in both flavours: the macOS-layout
# launcher in a bundle ("bundle") and the Linux launcher in a Linux
# application image ("linux"). Prints numbers; asserts nothing.
#   1. each launcher vs the floor program (open the runtime library, call
#      JLI_Launch) on the substitute runtime: wall time, instructions, memory;
#   2. a real Java application started through each launcher vs the JDK's own
#      `java` command (skipped without a JDK);
#   3. how loading, expanding and assembling grow with the input;
#   4. what the class data archive's check for a mapped archive costs at exit;
#   5. the size of the stripped executables.
# Usage: bench/run.sh [runs]   (default 50 runs of each program)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-50}
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DAPPLAUNCHER_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target applauncher applauncher-linux \
  fakejli bench_floor bench_spawn_timer bench_scale bench_mapped >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

flavours="bundle linux"

# make_image FLAVOUR NAME: an application image of the flavour in $work;
# sets exe (the launcher), appdir and runtime (the default runtime directory).
make_image() {
  if [ "$1" = bundle ]; then
    local root="$work/$2.app"
    exe="$root/Contents/MacOS/$2"
    appdir="$root/Contents/app"
    runtime="$root/Contents/runtime"
    mkdir -p "$(dirname "$exe")" "$appdir"
    cp "$build/applauncher" "$exe"
  else
    local root="$work/$2"
    exe="$root/bin/$2"
    appdir="$root/lib/app"
    runtime="$root/lib/runtime"
    mkdir -p "$(dirname "$exe")" "$appdir"
    cp "$build/applauncher-linux" "$exe"
  fi
}

# The flavour's first runtime library candidate under a runtime directory.
lib_candidate() {
  if [ "$1" = bundle ]; then echo "Contents/Home/lib/libjli.dylib"; else echo "lib/libjli.so"; fi
}

floor="$build/bench/bench_floor"
floorLib="$work/floor/libjli.so"
mkdir -p "$work/floor"
cp "$build/tests/fakejli/libfakejli.so" "$floorLib"

if command -v valgrind >/dev/null; then
  count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 \
      | sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
  }
  floorIr=$(count "$floor" "$floorLib")
fi

echo "== 1. Launcher vs floor (substitute runtime, $runs runs each, alternating)"
for flavour in $flavours; do
  # An image with a typical configuration on the substitute runtime.
  make_image "$flavour" "Bench-$flavour"
  lib="$runtime/$(lib_candidate "$flavour")"
  mkdir -p "$(dirname "$lib")"
  cp "$build/tests/fakejli/libfakejli.so" "$lib"
  cat > "$appdir/Bench-$flavour.cfg" <<'CFG'
[Application]
app.mainjar=$APPDIR/bench.jar
app.classpath=$APPDIR/lib/first.jar
app.classpath=$APPDIR/lib/second.jar

[JavaOptions]
java-options=-Xmx256m
java-options=-Dbench.home=$APPDIR
java-options=-Dfile.encoding=UTF-8

[ArgOptions]
arguments=--mode=bench
arguments=$APPDIR/input.txt
CFG
  echo "-- $flavour"
  "$build/bench/bench_spawn_timer" "$runs" floor "$floor" "$floorLib" -- "$flavour" "$exe"
  if [ -n "${floorIr:-}" ]; then
    launcherIr=$(count "$exe")
    echo "instructions (callgrind, exec to exit): floor $floorIr, $flavour $launcherIr, ratio $(awk "BEGIN{printf \"%.2f\", $launcherIr/$floorIr}")"
  else
    echo "instructions: skipped (valgrind is not installed)"
  fi
done

echo
echo "== 2. Real runtime: launcher vs the JDK's java command"
jdk=""
if [ -n "${JAVA_HOME:-}" ] && [ -x "$JAVA_HOME/bin/java" ]; then
  jdk=$JAVA_HOME
elif command -v java >/dev/null; then
  jdk=$(dirname "$(dirname "$(readlink -f "$(command -v java)")")")
fi
jli=""
for candidate in "$jdk/lib/libjli.so" "$jdk/lib/jli/libjli.so"; do
  [ -f "$candidate" ] && { jli=$candidate; break; }
done
if [ -z "$jdk" ] || [ -z "$jli" ] || [ ! -x "$jdk/bin/javac" ]; then
  echo "skipped: no JDK with javac found (set JAVA_HOME or put java on PATH)"
else
  echo "JDK: $jdk"
  classes="$work/classes"
  "$jdk/bin/javac" -d "$classes" bench/java/BenchMain.java
  realRuns=$(( runs / 2 < 20 ? 20 : runs / 2 ))
  for flavour in $flavours; do
    make_image "$flavour" "Real-$flavour"
    lib="$runtime/$(lib_candidate "$flavour")"
    mkdir -p "$(dirname "$lib")"
    ln -s "$jli" "$lib"
    cp -r "$classes" "$appdir/classes"
    printf '[Application]\napp.classpath=$APPDIR/classes\napp.mainclass=BenchMain\n[ArgOptions]\narguments=hello\n' \
      > "$appdir/Real-$flavour.cfg"
    echo "-- $flavour"
    "$build/bench/bench_spawn_timer" "$realRuns" java "$jdk/bin/java" -cp "$appdir/classes" BenchMain hello \
      -- "$flavour" "$exe"
  done
fi

echo
echo "== 3. Scale: configuration values and command-line arguments"
"$build/bench/bench_scale"

echo
echo "== 4. The class data archive's check at exit for a mapped archive"
"$build/bench/bench_mapped"

echo
echo "== 5. Executable size"
for target in applauncher applauncher-linux; do
  cp "$build/$target" "$work/stripped"
  strip "$work/stripped"
  echo "stripped $target: $(stat -c %s "$work/stripped") bytes"
done
