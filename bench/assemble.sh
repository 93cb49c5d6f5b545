#!/usr/bin/env bash
# Benchmark of applauncher-assemble. Prints numbers; asserts nothing.
#   1. assembling the sample as an image with a copied JDK against `cp -a`
#      of the same JDK, run alternately (outputs removed outside the timing),
#      medians and their ratio (target: at most 1.2);
#   2. the jlink variant (bundle.modules=java.base): a first assembly, with
#      the runtime cache empty, against jlink run alone with the same
#      options (its time is the JDK's), and a second assembly, which reuses
#      the linked runtime (target: well under a second, sync included);
#   3. an application in a jlinked runtime, started through the launcher,
#      against the full JDK's `java`, alternately (target: at most 1.05):
#      a Hello World and javac compiling one file (jdk.compiler linked in).
#   4. packing: the time that --package tar.gz adds to assembling the image
#      with a copied JDK, against `tar -c | gzip -6` of the same image
#      (target: at most 1.5).
# Usage: bench/assemble.sh [runs] [start-runs]   (defaults 11 and 21)
# The JDK: JAVA_HOME, else the one `java` on PATH belongs to.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-11}
startRuns=${2:-21}
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DAPPLAUNCHER_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target applauncher-assemble applauncher-linux \
  bench_spawn_timer >/dev/null
assemble=$(pwd)/$build/applauncher-assemble
timer=$(pwd)/$build/bench/bench_spawn_timer

if [ -n "${JAVA_HOME:-}" ]; then
  jdk=$JAVA_HOME
else
  jdk=$(dirname "$(dirname "$(readlink -f "$(command -v java)")")")
fi
jdk=$(readlink -f "$jdk")
echo "JDK: $jdk ($("$jdk/bin/java" -version 2>&1 | head -n 1))"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Linked runtimes are kept in the benchmark's own cache.
export XDG_CACHE_HOME=$work/cache
mkdir -p "$work/src/target" "$work/out"
"$jdk/bin/javac" --release 11 -d "$work/classes" sample/src/demo/Main.java
"$jdk/bin/jar" --create --file "$work/src/target/demo.jar" --main-class demo.Main \
  -C "$work/classes" .

describe() { # file, runtime lines
  printf '[Application]\napp.mainjar=$APPDIR/demo.jar\n[Bundle]\nbundle.name=Demo\nbundle.content=target/demo.jar\n%s\n' "$2" > "$1"
}

assembleAndSync() { # assemble arguments...: the assembly and a sync
  "$assemble" "$@" && sync
}

seconds() { # command...: its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f\n", e - s }' 
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

echo
echo "1. Assembling with a copied JDK vs cp -a of the JDK, $runs runs each, alternately"
describe "$work/src/copy.cfg" "bundle.runtime=$jdk"
: > "$work/t.assemble"; : > "$work/t.cp"
for _ in $(seq "$runs"); do
  rm -rf "$work/out/Demo" "$work/out/jdk"; sync
  seconds "$assemble" "$work/src/copy.cfg" --target image --output "$work/out" >> "$work/t.assemble"
  rm -rf "$work/out/Demo"; sync
  seconds cp -a "$jdk" "$work/out/jdk" >> "$work/t.cp"
done
a=$(median < "$work/t.assemble"); c=$(median < "$work/t.cp")
printf '   assemble %.3f s, cp -a %.3f s, ratio %.2f (target: at most 1.2)\n' "$a" "$c" "$(awk -v a="$a" -v c="$c" 'BEGIN { print a / c }')"
rm -rf "$work/out/Demo" "$work/out/jdk"

echo
echo "2. The jlink variant (bundle.modules=java.base), 3 runs each"
describe "$work/src/link.cfg" "bundle.modules=java.base
bundle.jdk=$jdk"
cds=""
if "$jdk/bin/jlink" --list-plugins | grep -q -- --generate-cds-archive; then cds=--generate-cds-archive; fi
jmods=()
if [ -d "$jdk/jmods" ]; then jmods=(--module-path "$jdk/jmods"); fi
: > "$work/t.link"; : > "$work/t.jlink"; : > "$work/t.again"
for _ in 1 2 3; do
  rm -rf "$work/out/Demo" "$work/cache"; sync
  seconds assembleAndSync "$work/src/link.cfg" --target image --output "$work/out" >> "$work/t.link"
  rm -rf "$work/out/Demo"; sync
  seconds assembleAndSync "$work/src/link.cfg" --target image --output "$work/out" >> "$work/t.again"
  rm -rf "$work/out/rt"; sync
  seconds "$jdk/bin/jlink" --add-modules java.base --output "$work/out/rt" --strip-debug \
    --no-header-files --no-man-pages $cds "${jmods[@]}" >> "$work/t.jlink"
done
a=$(median < "$work/t.link"); c=$(median < "$work/t.jlink"); r=$(median < "$work/t.again")
printf '   first assembly %.3f s, jlink alone %.3f s, ratio %.2f\n' "$a" "$c" "$(awk -v a="$a" -v c="$c" 'BEGIN { print a / c }')"
printf '   second assembly, the runtime reused, sync included: %.3f s\n' "$r"

echo
echo "3. Starting from a jlinked runtime through the launcher vs the full JDK's java, $startRuns runs each"
mkdir -p "$work/hello/src/target" "$work/hello/classes" "$work/javac"
cat > "$work/hello/Hello.java" <<'JAVA'
public class Hello { public static void main(String[] a) { System.out.println("Hello, World"); } }
JAVA
"$jdk/bin/javac" --release 11 -d "$work/hello/classes" "$work/hello/Hello.java"
"$jdk/bin/jar" --create --file "$work/hello/src/target/hello.jar" --main-class Hello \
  -C "$work/hello/classes" .
printf '[Application]\napp.mainjar=$APPDIR/hello.jar\n[Bundle]\nbundle.name=Hello\nbundle.content=target/hello.jar\nbundle.modules=java.base\nbundle.jdk=%s\n' "$jdk" > "$work/hello/src/hello.cfg"
"$assemble" "$work/hello/src/hello.cfg" --target image --output "$work/out"
echo "   Hello World:"
"$timer" "$startRuns" java "$jdk/bin/java" -jar "$work/hello/src/target/hello.jar" -- \
  launcher "$work/out/Hello/bin/Hello" | sed 's/^/   /'

mkdir -p "$work/javac/src/none"
printf '[Application]\napp.mainmodule=jdk.compiler/com.sun.tools.javac.Main\n[Bundle]\nbundle.name=Javac\nbundle.content=none\nbundle.modules=jdk.compiler\nbundle.jdk=%s\n' "$jdk" > "$work/javac/src/javac.cfg"
"$assemble" "$work/javac/src/javac.cfg" --target image --output "$work/out"
echo "   javac, one file:"
"$timer" "$startRuns" java "$jdk/bin/java" -m jdk.compiler/com.sun.tools.javac.Main \
  -d "$work/javac/a" "$work/hello/Hello.java" -- \
  launcher "$work/out/Javac/bin/Javac" -d "$work/javac/b" "$work/hello/Hello.java" | sed 's/^/   /'

echo
echo "4. Packing a tar.gz: the time --package tar.gz adds vs tar -c | gzip -6 of the same image, $runs runs each, alternately"
: > "$work/t.image"; : > "$work/t.packed"; : > "$work/t.tar"
tarball="Demo-1.0-linux-$(uname -m | sed 's/arm64/aarch64/').tar.gz"
for _ in $(seq "$runs"); do
  rm -rf "$work/out/Demo" "$work/out/$tarball"; sync
  seconds "$assemble" "$work/src/copy.cfg" --target image --output "$work/out" >> "$work/t.image"
  rm -rf "$work/out/Demo"; sync
  SOURCE_DATE_EPOCH=0 seconds "$assemble" "$work/src/copy.cfg" --target image --output "$work/out" \
    --package tar.gz >> "$work/t.packed"
  rm -f "$work/ref.tar.gz"; sync
  seconds sh -c 'tar -C "$1" -cf - Demo | gzip -6 > "$2"' sh "$work/out" "$work/ref.tar.gz" >> "$work/t.tar"
done
i=$(median < "$work/t.image"); p=$(median < "$work/t.packed"); t=$(median < "$work/t.tar")
printf '   image %.3f s, image and tar.gz %.3f s: packing adds %.3f s; tar | gzip -6 %.3f s; ratio %.2f (target: at most 1.5)\n' \
  "$i" "$p" "$(awk -v i="$i" -v p="$p" 'BEGIN { print p - i }')" "$t" \
  "$(awk -v i="$i" -v p="$p" -v t="$t" 'BEGIN { print (p - i) / t }')"
printf '   sizes: %s bytes (--package), %s bytes (tar | gzip -6)\n' \
  "$(stat -c %s "$work/out/$tarball")" "$(stat -c %s "$work/ref.tar.gz")"
