#!/usr/bin/env bash
# Builds the launcher and its tests and runs them all. Then, unless --quick
# is given (or APPLAUNCHER_QUICK=1 is set):
#   - the end-to-end tests once more, every launch of the launcher under
#     valgrind memcheck (any error, or memory definitely lost, fails them);
#   - the whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#     in a build directory of its own;
#   - each fuzz target for a short while (fuzz/run.sh, needs clang).
# CI runs it without arguments, so the default is everything.
#
# Environment: BUILD_DIR (default build) and ASAN_BUILD_DIR (default
# build-asan) choose the build directories, JOBS the parallel jobs,
# FUZZ_SECONDS the time of each fuzz target (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=${APPLAUNCHER_QUICK:-0}
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    -h|--help)
      sed -n '2,13s/^# \{0,1\}//p' "$0"
      exit 0 ;;
    *)
      echo "tools/test.sh: unknown argument '$arg' (try --help)" >&2
      exit 2 ;;
  esac
done

jobs=${JOBS:-$(nproc)}
build=${BUILD_DIR:-build}
asan_build=${ASAN_BUILD_DIR:-build-asan}
started=$SECONDS

step() {
  echo "== $* ($((SECONDS - started)) s)"
}

step "build ($build)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DAPPLAUNCHER_TESTS=ON >/dev/null
cmake --build "$build" -j"$jobs"
step "tests"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$jobs"

if [ "$quick" = 1 ]; then
  step "done (quick: no memcheck, no sanitizers)"
  exit 0
fi

for tool in valgrind clang++; do
  if ! command -v "$tool" >/dev/null; then
    echo "tools/test.sh: $tool is not installed; install it (.ci/run does)," \
         "or run tools/test.sh --quick to leave out memcheck, the sanitizers" \
         "and fuzzing" >&2
    exit 1
  fi
done

# The substitute runtime library keeps nothing; what the launcher keeps on
# purpose (the runtime description, the loggers) is still reachable at exit,
# which is not counted.
# Debian's `valgrind` is a script that appends /usr/lib/debug to
# LD_LIBRARY_PATH before it starts `valgrind.bin`; the Linux launcher hands
# that variable on and the tests check what it hands on, so the program
# itself runs here, with the script's other setting.
memcheck=$(command -v valgrind)
if [ -x "$memcheck.bin" ]; then
  memcheck=$memcheck.bin
  export GLIBCXX_FORCE_NEW=1
fi
step "end-to-end tests under valgrind memcheck"
APPLAUNCHER_TEST_WRAPPER="$memcheck --error-exitcode=99 --leak-check=full \
--errors-for-leak-kinds=definite --quiet" \
  ctest --test-dir "$build" -L e2e --output-on-failure -j"$jobs"

# Unoptimised: the sanitizers find the same faults, and the build takes a
# third of the time of an optimised one.
step "build with sanitizers ($asan_build)"
cmake -S . -B "$asan_build" -DAPPLAUNCHER_SANITIZE=ON -DAPPLAUNCHER_TESTS=ON \
      -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$asan_build" -j"$jobs"
step "tests with sanitizers"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ASAN_OPTIONS=detect_leaks=1 \
  ctest --test-dir "$asan_build" --output-on-failure -j"$jobs" -LE jdk
# A real Java runtime runs inside the launcher's process: the leak checker
# cannot walk the JVM's threads (its tracer dies on their guard pages) and
# the JVM's own memory is none of ours, so only leak checking is off here.
# The JDK tests whose time goes into waiting or into the JDK's and the
# system's tools, and those made for every JDK on all but the first, ran in
# the first pass; they are left out of this one.
ASAN_OPTIONS=detect_leaks=0 APPLAUNCHER_SKIP_SLOW=1 \
  ctest --test-dir "$asan_build" --output-on-failure -j"$jobs" -L jdk

step "fuzz targets, ${FUZZ_SECONDS:-20} s each"
fuzz/run.sh "${FUZZ_SECONDS:-20}"

step "done"
