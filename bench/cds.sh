#!/usr/bin/env bash
# Start-up with the class data archive: the launcher with app.cds=auto
# against the JDK's own `java` with the same options, on every JDK found
# (JAVA_HOME, java on PATH, /usr/lib/jvm/*). Prints numbers; asserts nothing,
# except that every run prints exactly what `java` prints and ends with the
# same exit status (a difference is reported and makes the script fail).
#
# Workloads: a Hello World jar; javac compiling one small file, run as the
# main module jdk.compiler; Maven's `--version` when mvn is installed (its
# boot and lib jars as a flat class path, main class MavenCli).
#
# For each: the first start of the launcher (it records the classes and
# starts the builder) against a start of `java`, alternately, FIRST times each
# after clearing the cache, each time waiting for the builder, whose time
# (from the first start's exit until its lock is free) and peak memory (the
# largest VmHWM of its processes, sampled every 10 ms) are reported, and a
# start of `java` with the runtime's own recording option, which tells what
# of the first start's cost is the runtime's; then, after one warm-up start
# of the launcher, RUNS starts of each, alternately.
# Medians in milliseconds; ratio = launcher / java.
# Usage: bench/cds.sh [runs (default 15)] [first starts (default 5)]
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."

runs=${1:-15}
firsts=${2:-5}
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target applauncher >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

jdks() {
  {
    [ -n "${JAVA_HOME:-}" ] && echo "$JAVA_HOME"
    command -v java >/dev/null && dirname "$(dirname "$(readlink -f "$(command -v java)")")"
    for d in /usr/lib/jvm/*/; do echo "${d%/}"; done
  } | while read -r d; do
    [ -x "$d/bin/java" ] && [ -f "$d/lib/libjli.so" ] && readlink -f "$d"
  done | awk '!seen[$0]++'
}

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# Runs "$@" with output to $work/out.<tag>, err.<tag>; prints milliseconds
# and leaves the exit status in $work/status.<tag>.
timed() {
  local tag=$1; shift
  local t0=$EPOCHREALTIME
  set +e; "$@" >"$work/out.$tag" 2>"$work/err.$tag"; echo $? >"$work/status.$tag"; set -e
  local t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.1f\n", (b-a)*1000}'
}

same() {
  if ! cmp -s "$work/out.java" "$work/out.app" || ! cmp -s "$work/err.java" "$work/err.app" \
      || ! cmp -s "$work/status.java" "$work/status.app"; then
    echo "  DIFFERENT output or exit status from java ($1):" >&2
    diff "$work/out.java" "$work/out.app" | head -5 >&2 || true
    diff "$work/err.java" "$work/err.app" | head -5 >&2 || true
    failures=$((failures + 1))
  fi
}

# Waits until the builder in archive directory $1 (whose processes are named
# $2) has let its lock go; sets build_ms to the time waited and build_peak to
# the largest VmHWM (KiB) seen among the builder's processes.
wait_for_builder() {
  local dir=$1 comm=$2 lock t0=$EPOCHREALTIME pid hwm
  build_peak=0
  lock=$(ls "$dir"/*.lock 2>/dev/null | head -n 1)
  if [ -n "$lock" ]; then
    while ! flock -n "$lock" true; do
      for pid in $(pgrep -x "$comm"); do
        hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
        [ "${hwm:-0}" -le "$build_peak" ] || build_peak=$hwm
      done
      sleep 0.01
    done
  fi
  build_ms=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN{printf "%.0f", (b-a)*1000}')
}

# bench NAME JDK CONFIG-LINES -- JAVA-ARGS...
bench() {
  local name=$1 jdk=$2 cfg=$3; shift 4
  local app="$work/$name.app" home="$work/home"
  rm -rf "$app" "$home"
  mkdir -p "$app/Contents/MacOS" "$app/Contents/app" "$app/Contents/runtime/Contents/Home/lib" "$home"
  cp "$build/applauncher" "$app/Contents/MacOS/$name"
  ln -s "$jdk/lib/libjli.so" "$app/Contents/runtime/Contents/Home/lib/libjli.dylib"
  printf '%s\n' "$cfg" >"$app/Contents/app/$name.cfg"
  local launcher="$app/Contents/MacOS/$name" cache="$home/Library/Caches/$name"
  local java=("$jdk/bin/java" "$@")
  # The same system property as the launcher's, so that outputs can match.
  java=("${java[0]}" "-Dvantry.app-path=$launcher" "${java[@]:1}")
  export HOME=$home

  local first=() plain=() recorded=() builds=() peaks=() i
  for ((i = 0; i < firsts; i++)); do
    # The file system's own work for the removal is done before the clock
    # starts.
    rm -rf "$cache"
    sync
    first+=("$(timed app "$launcher")")
    wait_for_builder "$cache/$name.cds" "$name"
    builds+=("${build_ms}")
    peaks+=("${build_peak}")
    plain+=("$(timed java "${java[@]}")"); same "first start"
    # What the runtime's own recording costs: java with the option that
    # the first start adds.
    rm -f "$work/recorded.classlist"
    recorded+=("$(timed rec "${java[0]}" "-XX:DumpLoadedClassList=$work/recorded.classlist" "${java[@]:1}")")
  done
  local size
  size=$(stat -c %s "$cache/$name.cds"/*.jsa 2>/dev/null || echo 0)
  timed app "$launcher" >/dev/null   # the warm-up start
  local warm=() cold=()
  for ((i = 0; i < runs; i++)); do
    cold+=("$(timed java "${java[@]}")")
    warm+=("$(timed app "$launcher")"); same "warm start"
  done
  local mj mw mf mp mr mb mm
  mj=$(printf '%s\n' "${cold[@]}" | median)
  mw=$(printf '%s\n' "${warm[@]}" | median)
  mf=$(printf '%s\n' "${first[@]}" | median)
  mp=$(printf '%s\n' "${plain[@]}" | median)
  mr=$(printf '%s\n' "${recorded[@]}" | median)
  mb=$(printf '%s\n' "${builds[@]}" | median)
  mm=$(printf '%s\n' "${peaks[@]}" | median)
  printf '| %s | %s | %.1f | %.1f | %.2f | %.1f / %.1f = %.2f | %.1f = %.2f | %.0f ms, %.0f MiB | %s KB |\n' \
    "$(basename "$jdk")" "$name" "$mj" "$mw" "$(awk -v a="$mw" -v b="$mj" 'BEGIN{print a/b}')" \
    "$mf" "$mp" "$(awk -v a="$mf" -v b="$mp" 'BEGIN{print a/b}')" \
    "$mr" "$(awk -v a="$mr" -v b="$mp" 'BEGIN{print a/b}')" "$mb" "$((mm / 1024))" \
    "$((size / 1024))"
}

src="$work/src"
mkdir -p "$src/hello" "$src/out"
cat >"$src/hello/Hello.java" <<'JAVA'
public class Hello {
    public static void main(String[] args) {
        System.out.println("Hello, World");
    }
}
JAVA
cat >"$src/Small.java" <<'JAVA'
import java.util.List;
public class Small {
    record Point(int x, int y) {}
    public static void main(String[] args) {
        System.out.println(List.of(new Point(1, 2)));
    }
}
JAVA

mvnHome=""
if command -v mvn >/dev/null; then
  mvnHome=$(dirname "$(dirname "$(readlink -f "$(command -v mvn)")")")
fi

echo "Medians in ms; $runs warm runs and $firsts first starts of each, alternating with java."
echo
echo "| JDK | workload | java | launcher, warm | ratio | first start / java | java recording / java | background build | archive |"
echo "|---|---|---|---|---|---|---|---|---|"
for jdk in $(jdks); do
  version=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$jdk/release" 2>/dev/null || true)
  if [ -z "$version" ] || [ "$version" -lt 17 ]; then
    echo "| $(basename "$jdk") | skipped: version ${version:-unknown} (the workloads need 17) | | | | | | | |"
    continue
  fi
  rm -rf "$src/hello/classes"
  "$jdk/bin/javac" -d "$src/hello/classes" "$src/hello/Hello.java"
  "$jdk/bin/jar" --create --file "$src/hello.jar" --main-class Hello -C "$src/hello/classes" .

  bench Hello "$jdk" "$(printf '[Application]\napp.cds=auto\napp.mainjar=%s' "$src/hello.jar")" \
    -- -jar "$src/hello.jar"
  bench Javac "$jdk" "$(printf '[Application]\napp.cds=auto\napp.mainmodule=jdk.compiler/com.sun.tools.javac.Main\n[ArgOptions]\narguments=-d\narguments=%s\narguments=%s' "$src/out" "$src/Small.java")" \
    -- -m jdk.compiler/com.sun.tools.javac.Main -d "$src/out" "$src/Small.java"
  if [ -n "$mvnHome" ]; then
    cfg=$(printf '[Application]\napp.cds=auto\napp.mainclass=org.apache.maven.cli.MavenCli\n')
    cp=""
    for jar in "$mvnHome"/boot/*.jar "$mvnHome"/lib/*.jar "$mvnHome"/lib/ext/*.jar; do
      [ -f "$jar" ] || continue
      cfg+=$'\n'"app.classpath=$jar"
      cp+="${cp:+:}$jar"
    done
    props=("-Dmaven.home=$mvnHome" "-Dclassworlds.conf=$mvnHome/bin/m2.conf" "-Dmaven.multiModuleProjectDirectory=$work")
    cfg+=$'\n[JavaOptions]'
    for p in "${props[@]}"; do cfg+=$'\n'"java-options=$p"; done
    cfg+=$'\n[ArgOptions]\narguments=--version'
    # The launcher puts the class path first and the java options after it.
    bench Maven "$jdk" "$cfg" -- -classpath "$cp" "${props[@]}" org.apache.maven.cli.MavenCli --version
  fi
done
[ -n "$mvnHome" ] || echo "(Maven: skipped, mvn is not installed)"
if [ "$failures" -ne 0 ]; then
  echo "$failures runs differed from java" >&2
  exit 1
fi
echo
echo "Every run printed what java printed and ended with its exit status."
