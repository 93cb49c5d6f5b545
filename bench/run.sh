#!/usr/bin/env bash
# Start-up benchmark of the launcher. Prints numbers; asserts nothing.
#   1. the launcher vs the floor program (open the runtime library, call
#      JLI_Launch) on the substitute runtime: wall time, instructions, memory;
#   2. a real Java application started through the launcher vs the JDK's own
#      `java` command (skipped without a JDK);
#   3. how loading, expanding and assembling grow with the input;
#   4. the size of the stripped executable.
# Usage: bench/run.sh [runs]   (default 50 runs of each program)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-50}
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target applauncher fakejli bench_floor \
  bench_spawn_timer bench_scale >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A bundle with a typical configuration on the substitute runtime.
app="$work/Bench.app"
mkdir -p "$app/Contents/MacOS" "$app/Contents/app" "$app/Contents/runtime/Contents/Home/lib"
cp "$build/applauncher" "$app/Contents/MacOS/Bench"
lib="$app/Contents/runtime/Contents/Home/lib/libjli.dylib"
cp "$build/tests/fakejli/libfakejli.so" "$lib"
cat > "$app/Contents/app/Bench.cfg" <<'CFG'
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
launcher="$app/Contents/MacOS/Bench"
floor="$build/bench/bench_floor"

echo "== 1. Launcher vs floor (substitute runtime, $runs runs each, alternating)"
"$build/bench/bench_spawn_timer" "$runs" floor "$floor" "$lib" -- launcher "$launcher"

if command -v valgrind >/dev/null; then
  count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 \
      | sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
  }
  floorIr=$(count "$floor" "$lib")
  launcherIr=$(count "$launcher")
  echo "instructions (callgrind, exec to exit): floor $floorIr, launcher $launcherIr, ratio $(awk "BEGIN{printf \"%.2f\", $launcherIr/$floorIr}")"
else
  echo "instructions: skipped (valgrind is not installed)"
fi

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
  real="$work/Real.app"
  mkdir -p "$real/Contents/MacOS" "$real/Contents/app/classes" "$real/Contents/runtime/Contents/Home/lib"
  cp "$build/applauncher" "$real/Contents/MacOS/Real"
  ln -s "$jli" "$real/Contents/runtime/Contents/Home/lib/libjli.dylib"
  "$jdk/bin/javac" -d "$real/Contents/app/classes" bench/java/BenchMain.java
  printf '[Application]\napp.classpath=$APPDIR/classes\napp.mainclass=BenchMain\n[ArgOptions]\narguments=hello\n' \
    > "$real/Contents/app/Real.cfg"
  realRuns=$(( runs / 2 < 20 ? 20 : runs / 2 ))
  echo "JDK: $jdk"
  "$build/bench/bench_spawn_timer" "$realRuns" java "$jdk/bin/java" -cp "$real/Contents/app/classes" BenchMain hello \
    -- launcher "$real/Contents/MacOS/Real"
fi

echo
echo "== 3. Scale: configuration values and command-line arguments"
"$build/bench/bench_scale"

echo
echo "== 4. Executable size"
cp "$build/applauncher" "$work/stripped"
strip "$work/stripped"
echo "stripped applauncher: $(stat -c %s "$work/stripped") bytes"
