#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a while on a scratch copy of
# its seed corpus (the corpus in the repository is never written).
#
#   fuzz/run.sh [seconds-per-target] [build-dir]
#
# Defaults: 20 seconds, <repo>/build-fuzz. FUZZ_TARGETS="strings cfgfile"
# narrows the run. Exits non-zero on any crash, leak, timeout or
# out-of-memory; the input that caused it is kept and its path printed.
set -euo pipefail

seconds="${1:-20}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${2:-$root/build-fuzz}"
targets=(${FUZZ_TARGETS:-cfgfile packagefile strings zip})

max_len_of() {
  case "$1" in
    cfgfile) echo 65536 ;;
    packagefile) echo 4096 ;;
    strings) echo 1024 ;;
    # Past the 64 KiB comment that an end record may have before it.
    zip) echo 131072 ;;
    *) echo "unknown fuzz target: $1" >&2; exit 2 ;;
  esac
}
for t in "${targets[@]}"; do max_len_of "$t" >/dev/null; done

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DAPPLAUNCHER_FUZZ=ON -DAPPLAUNCHER_TESTS=OFF >/dev/null
else
  cmake "$build" -DAPPLAUNCHER_FUZZ=ON -DAPPLAUNCHER_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/applauncher-fuzz.XXXXXX")"
failed=()
for t in "${targets[@]}"; do
  work="$scratch/$t"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp -R "$root/fuzz/corpus/$t/." "$work/corpus/"
  seeds=$(ls "$work/corpus" | wc -l)
  echo "== fuzz_$t: ${seconds}s, $seeds seeds"
  # The targets' scratch files go to a directory of their own, removed after
  # each run even when the target crashed (on tmpfs when there is one).
  shm=/dev/shm
  [ -d "$shm" ] && [ -w "$shm" ] || shm="${TMPDIR:-/tmp}"
  files="$(mktemp -d "$shm/applauncher-fuzz-files.XXXXXX")"
  status=0
  TMPDIR="$files" ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
  "$build/fuzz/fuzz_$t" "$work/corpus" \
    -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
    -max_len="$(max_len_of "$t")" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" >"$work/log" 2>&1 || status=$?
  rm -rf "$files"
  # The last status line carries the coverage figures; the stat:: lines
  # the executions.
  grep -E '^#[0-9]+' "$work/log" | tail -n 1 || true
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
    "$work/log" || true
  echo "corpus: $(ls "$work/corpus" | wc -l) files"
  if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
    echo "!! fuzz_$t failed (exit status $status); log: $work/log"
    grep -E '^==[0-9]+==ERROR|SUMMARY|check failed|runtime error|^artifact_prefix|Test unit written' \
      "$work/log" | head -n 20 || true
    ls -1 "$work/artifacts"/* 2>/dev/null | sed 's/^/   input: /'
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]} (inputs and logs kept in $scratch)"
  exit 1
fi
rm -rf "$scratch"
echo "all fuzz targets clean"
