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
#
# Then, with LONG_RUN=<seconds> (root, for a PID namespace): a busy
# application that spins for that long, first without an archive
# (VANTRY_CDS=off), then with a class list that waits (left by a start in a
# PID namespace whose end killed its builder), which the builder builds
# during the run; the work the application got done and its process's CPU
# time in both, and whether the archive was there when the run ended.
# BENCH_JDKS="<jdk> ..." takes only those JDKs.
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
    if [ -n "${BENCH_JDKS:-}" ]; then
      printf '%s\n' $BENCH_JDKS
      return
    fi
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

# Waits until the builder in archive directory $1 (whose processes run the
# executable named $2 with the builder's argument) has let its lock go; sets
# build_ms to the time waited and build_peak to the largest VmHWM (KiB) seen
# among the builder's processes.
wait_for_builder() {
  local dir=$1 comm=$2 lock t0=$EPOCHREALTIME pid hwm
  build_peak=0
  lock=$(ls "$dir"/*.lock 2>/dev/null | head -n 1)
  if [ -n "$lock" ]; then
    while ! flock -n "$lock" true; do
      for pid in $(pgrep -f -- "/$comm --class-data-archive-builder"); do
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

# long_run JDK SECONDS: the busy application without an archive and with a
# build during its run.
long_run() {
  local jdk=$1 seconds=$2 name=Busy
  local app="$work/$name.app" home="$work/home"
  rm -rf "$app" "$home" "$src/busy/classes"
  mkdir -p "$app/Contents/MacOS" "$app/Contents/app" "$app/Contents/runtime/Contents/Home/lib" "$home"
  "$jdk/bin/javac" -d "$src/busy/classes" "$src/busy/Busy.java"
  "$jdk/bin/jar" --create --file "$src/busy.jar" --main-class Busy -C "$src/busy/classes" .
  cp "$build/applauncher" "$app/Contents/MacOS/$name"
  ln -s "$jdk/lib/libjli.so" "$app/Contents/runtime/Contents/Home/lib/libjli.dylib"
  printf '[Application]\napp.cds=auto\napp.mainjar=%s\n' "$src/busy.jar" >"$app/Contents/app/$name.cfg"
  local launcher="$app/Contents/MacOS/$name" cache="$home/Library/Caches/$name"
  export HOME=$home
  local without with built=no
  without=$(VANTRY_CDS=off "$launcher" "$seconds")
  # The first start records; the end of its namespace kills its builder.
  unshare --pid --fork --mount-proc sh -c '"$0" 0 >/dev/null; exit 0' "$launcher"
  ls "$cache/$name.cds"/*.classlist >/dev/null 2>&1 || { echo "| $(basename "$jdk") | no class list waits | | | |"; return; }
  with=$("$launcher" "$seconds")
  ls "$cache/$name.cds"/*.jsa >/dev/null 2>&1 && built=yes
  wait_for_builder "$cache/$name.cds" "$name"
  set -- $without $with
  printf '| %s | %s s | %s / %s ms | %s / %s ms | %.3f | %.3f | %s |\n' "$(basename "$jdk")" "$seconds" \
    "$1" "$2" "$3" "$4" "$(awk -v a="$3" -v b="$1" 'BEGIN{print a/b}')" \
    "$(awk -v a="$4" -v b="$2" 'BEGIN{print a/b}')" "$built"
}

if [ -n "${LONG_RUN:-}" ]; then
  mkdir -p "$src/busy"
  cat >"$src/busy/Busy.java" <<'JAVA'
public class Busy {
    // Spins for args[0] seconds on one thread; prints the rounds done and
    // the process's CPU milliseconds.
    public static void main(String[] args) {
        long end = System.nanoTime() + Long.parseLong(args[0]) * 1_000_000_000L;
        long rounds = 0, x = 1;
        do {
            for (int i = 0; i < 100_000; i++) {
                x = x * 6364136223846793005L + (x >>> 29);
            }
            rounds++;
        } while (System.nanoTime() < end);
        long cpu = ProcessHandle.current().info().totalCpuDuration()
                .map(d -> d.toMillis()).orElse(-1L);
        System.out.println((x == 42 ? rounds + 1 : rounds) + " " + cpu);
    }
}
JAVA
  echo
  echo "A long run, without an archive and with a build during the run: rounds of work done / the process's CPU time."
  echo
  echo "| JDK | run | without archive | with a build during it | work ratio | CPU ratio | archive built during the run |"
  echo "|---|---|---|---|---|---|---|"
  for jdk in $(jdks); do
    version=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$jdk/release" 2>/dev/null || true)
    [ -n "$version" ] && [ "$version" -ge 17 ] || continue
    long_run "$jdk" "$LONG_RUN"
  done
fi
if [ "$failures" -ne 0 ]; then
  echo "$failures runs differed from java" >&2
  exit 1
fi
echo
echo "Every run printed what java printed and ended with its exit status."
