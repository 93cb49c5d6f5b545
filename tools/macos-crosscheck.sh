#!/usr/bin/env bash
# Cross-compiles the launcher for macOS against a macOS SDK, for x86_64,
# arm64 and both (universal), with cmake/macos-toolchain.cmake, and checks
# what the linker made with the LLVM tools:
#   - a Mach-O executable of exactly the architectures asked for;
#   - its export table holds _main and the three plain functions, nothing else;
#   - it links only libSystem, the C++ runtime, zlib and the Cocoa and
#     CoreFoundation frameworks;
#   - it imports the failure alert (CFUserNotificationDisplayAlert) and the
#     functions that read its title from the bundle's Info.plist
#     (CFBundleGetMainBundle, CFBundleGetValueForInfoDictionaryKey,
#     CFStringGetCString) from CoreFoundation;
#   - an arm64 slice carries a valid code signature: the page hashes of its
#     code directory match its bytes (tools/check-codesign.py), without which
#     Apple Silicon refuses to run it;
#   - its run-time search paths are the bundle's Frameworks and PlugIns;
#   - its minimum macOS version is the deployment target (arm64 Macs start
#     at macOS 11, so an arm64 slice never claims less than 11.0);
#   - the build printed no warning.
# Then it builds applauncher-assemble for macOS in the universal build
# directory (its macOS host: the atomic swap, the per-file sync, ditto,
# hdiutil, pkgbuild): it compiles and links warning-free.
# Each build starts from an empty directory (build-mac-x86_64,
# build-mac-arm64, build-mac-universal), so every run checks the same thing.
#
# With --with-tests it also builds the test programs for macOS (x86_64, in
# build-mac-tests, against GoogleTest built for macOS from the host's
# /usr/src/googletest in build-mac-gtest): they compile and link warning-free
# there, though they can only run on a Mac.
#
# Usage: tools/macos-crosscheck.sh [--with-tests] <sdk-path>
# Environment: MACOS_DEPLOYMENT_TARGET (default 10.15), MACOS_LLVM_SUFFIX
# (such as -19; default: the newest LLVM found), JOBS (default 2).
set -uo pipefail

with_tests=no
if [ "${1:-}" = --with-tests ]; then
  with_tests=yes
  shift
fi
if [ $# -ne 1 ]; then
  echo "usage: $0 [--with-tests] <path of a macOS SDK>" >&2
  exit 2
fi
sdk=$1
if [ ! -f "$sdk/usr/include/mach-o/dyld.h" ] || [ ! -f "$sdk/usr/lib/libSystem.tbd" ]; then
  echo "FAIL sdk: $sdk is not a macOS SDK (no usr/include/mach-o/dyld.h or usr/lib/libSystem.tbd)"
  exit 1
fi
sdk=$(cd "$sdk" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
deployment=${MACOS_DEPLOYMENT_TARGET:-10.15}
jobs=${JOBS:-2}

# The LLVM tools, all of one version.
if [ -n "${MACOS_LLVM_SUFFIX+set}" ]; then
  suffixes=("$MACOS_LLVM_SUFFIX")
else
  suffixes=(-21 -20 -19 -18 -17 -16 -15 -14 "")
fi
suffix=
found=no
for s in "${suffixes[@]}"; do
  if command -v "clang$s" >/dev/null && command -v "llvm-lipo$s" >/dev/null \
      && command -v "llvm-objdump$s" >/dev/null && command -v "ld64.lld$s" >/dev/null \
      && command -v "llvm-nm$s" >/dev/null; then
    suffix=$s
    found=yes
    break
  fi
done
if [ $found = no ]; then
  echo "FAIL tools: no clang, ld64.lld, llvm-lipo, llvm-objdump and llvm-nm of one LLVM version found"
  exit 1
fi
if ! command -v python3 >/dev/null; then
  echo "FAIL tools: python3 (for tools/check-codesign.py) not found"
  exit 1
fi
lipo=llvm-lipo$suffix
objdump=llvm-objdump$suffix
nm=llvm-nm$suffix
echo "macOS cross-check: SDK $sdk, deployment target $deployment, $(clang$suffix --version | head -n 1)"

passed=0
failed=0
check() { # name, status (0 = pass), detail
  if [ "$2" -eq 0 ]; then
    echo "PASS $1${3:+: $3}"
    passed=$((passed + 1))
  else
    echo "FAIL $1${3:+: $3}"
    failed=$((failed + 1))
  fi
}

# The newer of two versions.
max_version() {
  printf '%s\n%s\n' "$1" "$2" | sort -V | tail -n 1
}

# Checks one thin Mach-O file of architecture $2; prints problems, one a line.
check_slice() {
  local file=$1 arch=$2 what=$3
  local header exports dylibs rpaths minos expected_minos
  case $what in
    executable)
      header=$("$objdump" --macho --private-header "$file" | awk '/^MH_MAGIC/ {print $1, $2, $5}')
      expected_cpu=$([ "$arch" = x86_64 ] && echo X86_64 || echo ARM64)
      [ "$header" = "MH_MAGIC_64 $expected_cpu EXECUTE" ] \
        || echo "$arch: header '$header', expected 'MH_MAGIC_64 $expected_cpu EXECUTE'"
      ;;
    exports)
      exports=$("$objdump" --macho --exports-trie "$file" | awk '/^0x/ {print $2}' | sort | tr '\n' ' ')
      expected="_jvmLauncherCreateJvmlLauncherData _jvmLauncherLog _jvmLauncherStartJvm _main "
      [ "$exports" = "$expected" ] || echo "$arch: exports '$exports', expected '$expected'"
      ;;
    libraries)
      dylibs=$("$objdump" --macho --dylibs-used "$file" | awk '/^\t/ {print $1}' | sort | tr '\n' ' ')
      expected="/System/Library/Frameworks/Cocoa.framework/Versions/A/Cocoa /System/Library/Frameworks/CoreFoundation.framework/Versions/A/CoreFoundation /usr/lib/libSystem.B.dylib /usr/lib/libc++.1.dylib /usr/lib/libz.1.dylib "
      [ "$dylibs" = "$expected" ] || echo "$arch: links '$dylibs', expected '$expected'"
      ;;
    alert)
      local symbol
      for symbol in _CFUserNotificationDisplayAlert _CFBundleGetMainBundle \
          _CFBundleGetValueForInfoDictionaryKey _CFStringGetCString; do
        "$nm" -m "$file" | grep -E "\(undefined\) external $symbol \(from CoreFoundation\)\$" >/dev/null \
          || echo "$arch: $symbol is not imported from CoreFoundation"
      done
      ;;
    reexec)
      # The macOS runtime library never executes the launcher again: the
      # texts of the Linux host's recognition and of the marker that older
      # launchers trusted have no business here.
      local text
      for text in "Executed again by the runtime" VANTRY_LAUNCHER_REEXEC; do
        ! grep -qa "$text" "$file" || echo "$arch: holds '$text'"
      done
      ;;
    signature)
      # Only arm64 needs one to run; the x86_64 slice is signed by the packager.
      if [ "$arch" = arm64 ]; then
        local verdict
        verdict=$(python3 "$root/tools/check-codesign.py" "$file") || echo "$arch: $verdict"
      fi
      ;;
    rpaths)
      rpaths=$("$objdump" --macho --private-headers "$file" \
        | awk '/cmd LC_RPATH/ {r = 1; next} r && $1 == "path" {print $2; r = 0}' | tr '\n' ' ')
      expected="@executable_path/../Frameworks @executable_path/../PlugIns "
      [ "$rpaths" = "$expected" ] || echo "$arch: run-time search paths '$rpaths', expected '$expected'"
      ;;
    minos)
      minos=$("$objdump" --macho --private-headers "$file" | awk '
        /cmd LC_BUILD_VERSION/ {b = 1; next}
        /cmd LC_VERSION_MIN_MACOSX/ {v = 1; next}
        b && $1 == "minos" {print $2; b = 0}
        v && $1 == "version" {print $2; v = 0}' | tr '\n' ' ')
      expected_minos=$deployment
      [ "$arch" = arm64 ] && expected_minos=$(max_version "$deployment" 11.0)
      # 10.15 and 10.15.0 are the same version.
      [ "${minos% }" = "$expected_minos" ] || [ "${minos% }" = "$expected_minos.0" ] \
        || echo "$arch: minimum macOS '${minos% }', expected '$expected_minos'"
      ;;
  esac
}

# clang's driver adds the host's LIBRARY_PATH, CPATH and the like to every
# command: none of it may reach a macOS build.
clean_env=(env -u LIBRARY_PATH -u CPATH -u C_INCLUDE_PATH -u CPLUS_INCLUDE_PATH
           -u OBJC_INCLUDE_PATH -u SDKROOT -u MACOSX_DEPLOYMENT_TARGET
           -u CMAKE_OSX_ARCHITECTURES -u CFLAGS -u CXXFLAGS -u LDFLAGS -u CC -u CXX)

# Configures source $2 into the empty directory $3 for architectures $4
# (further arguments go to CMake) and builds target $5 ("" = all); checks
# that this works. $1 names the check.
configure_and_build() {
  local name=$1 src=$2 dir=$3 archs=$4 target=$5
  shift 5
  rm -rf "$dir"
  mkdir -p "$dir"
  if ! "${clean_env[@]}" cmake -S "$src" -B "$dir" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/macos-toolchain.cmake" \
        -DMACOS_SDK="$sdk" -DMACOS_LLVM_SUFFIX="$suffix" \
        -DCMAKE_OSX_ARCHITECTURES="$archs" \
        -DCMAKE_OSX_DEPLOYMENT_TARGET="$deployment" \
        -DCMAKE_BUILD_TYPE=Release "$@" >"$dir/configure.log" 2>&1; then
    tail -n 30 "$dir/configure.log"
    check "$name: configure" 1 "see $dir/configure.log"
    return 1
  fi
  if ! "${clean_env[@]}" cmake --build "$dir" ${target:+--target "$target"} \
        --parallel "$jobs" >"$dir/build.log" 2>&1; then
    grep -E 'error|warning' "$dir/build.log" | head -n 30
    check "$name: build" 1 "see $dir/build.log"
    return 1
  fi
  check "$name: configure and build" 0
}

# Checks that configuring and building in directory $2 printed no warning.
check_warnings() {
  local name=$1 dir=$2
  local warnings
  warnings=$(grep -hiE 'warning:|CMake Warning' "$dir/configure.log" "$dir/build.log")
  if [ -n "$warnings" ]; then
    echo "$warnings"
    check "$name: no warnings" 1 "$(echo "$warnings" | wc -l) warning line(s)"
  else
    check "$name: no warnings" 0
  fi
}

build_and_check() { # name, architectures (CMake list)
  local name=$1 archs=$2
  local dir=$root/build-mac-$name
  local exe=$dir/applauncher
  echo "== $name ($archs)"
  configure_and_build "$name" "$root" "$dir" "$archs" applauncher \
    -DAPPLAUNCHER_TESTS=OFF || return
  check_warnings "$name" "$dir"

  # The architectures, then every slice on its own.
  local expected_archs actual_archs info
  expected_archs=$(echo "$archs" | tr ';' '\n' | sort | tr '\n' ' ')
  actual_archs=$("$lipo" -archs "$exe" 2>&1 | tr ' ' '\n' | sed '/^$/d' | sort | tr '\n' ' ')
  info=$("$lipo" -info "$exe" 2>&1)
  local count
  count=$(echo "$archs" | tr ';' '\n' | wc -l)
  if [ "$actual_archs" != "$expected_archs" ]; then
    check "$name: architectures" 1 "'$actual_archs', expected '$expected_archs'"
    return
  elif [ "$count" -gt 1 ] && [[ $info != *"fat file"* ]]; then
    check "$name: architectures" 1 "not a universal file: $info"
    return
  elif [ "$count" -eq 1 ] && [[ $info != Non-fat* ]]; then
    check "$name: architectures" 1 "not a thin file: $info"
    return
  fi
  check "$name: architectures" 0 "${actual_archs% }"

  local arch slices=()
  if [ "$count" -gt 1 ]; then
    mkdir -p "$dir/slices"
    for arch in ${archs//;/ }; do
      "$lipo" -thin "$arch" -output "$dir/slices/applauncher-$arch" "$exe"
      slices+=("$arch=$dir/slices/applauncher-$arch")
    done
  else
    slices=("$archs=$exe")
  fi

  local what problems label p
  for what in executable exports libraries alert reexec signature rpaths minos; do
    problems=
    for s in "${slices[@]}"; do
      p=$(check_slice "${s#*=}" "${s%%=*}" "$what")
      [ -z "$p" ] || problems+="${problems:+; }$p"
    done
    case $what in
      executable) label="Mach-O executable" ;;
      exports) label="exports exactly _main and the three launcher functions" ;;
      libraries) label="links only libSystem, libc++, zlib, Cocoa and CoreFoundation" ;;
      alert) label="imports the alert and title functions from CoreFoundation" ;;
      reexec) label="holds no re-execution handling" ;;
      signature) label="arm64 code signature valid" ;;
      rpaths) label="run-time search paths Frameworks and PlugIns" ;;
      minos) label="minimum macOS version" ;;
    esac
    if [ -n "$problems" ]; then
      check "$name: $label" 1 "$problems"
    else
      local detail=
      if [ "$what" = signature ]; then
        for s in "${slices[@]}"; do
          [ "${s%%=*}" = arm64 ] || continue
          detail=$(python3 "$root/tools/check-codesign.py" "${s#*=}")
        done
        [ -n "$detail" ] || detail="no arm64 slice"
      fi
      if [ "$what" = minos ]; then
        for s in "${slices[@]}"; do
          detail+="${s%%=*} $("$objdump" --macho --private-headers "${s#*=}" \
            | awk '/cmd LC_BUILD_VERSION|cmd LC_VERSION_MIN_MACOSX/ {f = 1} f && ($1 == "minos" || $1 == "version") {print $2; exit}') "
        done
      fi
      check "$name: $label" 0 "${detail% }"
    fi
  done
}

build_tests() {
  local gtest_src=/usr/src/googletest
  local gtest_dir=$root/build-mac-gtest
  echo "== tests (x86_64)"
  if [ ! -f "$gtest_src/CMakeLists.txt" ]; then
    check "tests: GoogleTest sources" 1 "$gtest_src is missing (Debian package libgtest-dev)"
    return
  fi
  configure_and_build "tests: GoogleTest" "$gtest_src" "$gtest_dir" x86_64 "" \
    -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest_dir/install" || return
  cmake --install "$gtest_dir" >"$gtest_dir/install.log" 2>&1 \
    || { check "tests: GoogleTest install" 1 "see $gtest_dir/install.log"; return; }
  configure_and_build "tests" "$root" "$root/build-mac-tests" x86_64 "" \
    -DAPPLAUNCHER_TESTS=ON -DGTest_DIR="$gtest_dir/install/lib/cmake/GTest" \
    || return
  check_warnings "tests" "$root/build-mac-tests"
}

build_and_check x86_64 "x86_64"
build_and_check arm64 "arm64"
build_and_check universal "x86_64;arm64"

# The assembly command's macOS host compiles; it can only run on a Mac.
echo "== applauncher-assemble (universal)"
dir=$root/build-mac-universal
if "${clean_env[@]}" cmake --build "$dir" --target applauncher-assemble \
     --parallel "$jobs" >"$dir/assemble-build.log" 2>&1; then
  check "applauncher-assemble: build" 0
  if grep -qiE 'warning:' "$dir/assemble-build.log"; then
    grep -iE 'warning:' "$dir/assemble-build.log" | head -n 20
    check "applauncher-assemble: no warnings" 1 "see $dir/assemble-build.log"
  else
    check "applauncher-assemble: no warnings" 0
  fi
else
  grep -E 'error|warning' "$dir/assemble-build.log" | head -n 30
  check "applauncher-assemble: build" 1 "see $dir/assemble-build.log"
fi
[ $with_tests = no ] || build_tests

echo "macos-crosscheck: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
