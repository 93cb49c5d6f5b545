# Cross-compiling the launcher for macOS on a non-Apple host with LLVM:
# clang, ld64.lld, llvm-ar/llvm-ranlib and llvm-lipo, against a macOS SDK
# (the folder that holds usr/include, usr/lib and System/Library/Frameworks).
#
#   cmake -S . -B build-mac -DCMAKE_TOOLCHAIN_FILE=cmake/macos-toolchain.cmake \
#         -DMACOS_SDK=/path/to/MacOSX.sdk \
#         [-DCMAKE_OSX_ARCHITECTURES="x86_64;arm64"]   # default: x86_64
#         [-DCMAKE_OSX_DEPLOYMENT_TARGET=10.15]        # default: 10.15
#         [-DMACOS_LLVM_SUFFIX=-19]                     # default: newest found
#         -DAPPLAUNCHER_TESTS=OFF
#
# A universal build (several architectures) has clang compile and link each
# architecture on its own and join the results with lipo; llvm-lipo serves
# as that lipo. Universal static libraries are made with llvm-libtool-darwin.
#
# clang's driver turns the variables LIBRARY_PATH, CPATH, C_INCLUDE_PATH and
# CPLUS_INCLUDE_PATH into search paths of the host: keep them out of the
# environment of a cross build (tools/macos-crosscheck.sh does).

set(CMAKE_SYSTEM_NAME Darwin)

# The toolchain file is read again for every check project CMake builds;
# these settings travel there with it.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MACOS_SDK MACOS_LLVM_SUFFIX)

# The SDK: from the command line, else from the environment.
if(NOT MACOS_SDK AND DEFINED ENV{MACOS_SDK})
  set(MACOS_SDK "$ENV{MACOS_SDK}")
endif()
if(NOT MACOS_SDK)
  message(FATAL_ERROR "macos-toolchain: set MACOS_SDK to the path of a macOS SDK "
                      "(-DMACOS_SDK=/path/to/MacOSX.sdk)")
endif()
get_filename_component(MACOS_SDK "${MACOS_SDK}" ABSOLUTE)
if(NOT EXISTS "${MACOS_SDK}/usr/include/mach-o/dyld.h"
   OR NOT EXISTS "${MACOS_SDK}/usr/lib/libSystem.tbd")
  message(FATAL_ERROR "macos-toolchain: ${MACOS_SDK} is not a macOS SDK "
                      "(no usr/include/mach-o/dyld.h or usr/lib/libSystem.tbd)")
endif()
set(MACOS_SDK "${MACOS_SDK}" CACHE PATH "The macOS SDK to build against" FORCE)

set(CMAKE_OSX_SYSROOT "${MACOS_SDK}" CACHE PATH "The macOS SDK" FORCE)
set(CMAKE_OSX_DEPLOYMENT_TARGET "10.15" CACHE STRING
    "The oldest macOS version the launcher runs on")
set(CMAKE_OSX_ARCHITECTURES "x86_64" CACHE STRING
    "Architectures to build for: x86_64, arm64 or both (a universal binary)")
if(NOT CMAKE_OSX_ARCHITECTURES)
  set(CMAKE_OSX_ARCHITECTURES "x86_64")
endif()
foreach(arch IN LISTS CMAKE_OSX_ARCHITECTURES)
  if(NOT arch MATCHES "^(x86_64|arm64)$")
    message(FATAL_ERROR "macos-toolchain: unsupported architecture '${arch}' "
                        "(x86_64 or arm64)")
  endif()
endforeach()
list(GET CMAKE_OSX_ARCHITECTURES 0 _macos_first_arch)
list(LENGTH CMAKE_OSX_ARCHITECTURES _macos_arch_count)
set(CMAKE_SYSTEM_PROCESSOR "${_macos_first_arch}")

# The LLVM tools, all of one version: the suffix given, or the newest
# versioned set found, or the unversioned names.
set(_macos_suffixes "${MACOS_LLVM_SUFFIX}")
if(NOT DEFINED MACOS_LLVM_SUFFIX)
  set(_macos_suffixes -21 -20 -19 -18 -17 -16 -15 -14 "")
endif()
set(_macos_clang "")
foreach(suffix IN LISTS _macos_suffixes)
  find_program(_macos_clang_try NAMES "clang${suffix}" NO_CACHE
               NO_CMAKE_FIND_ROOT_PATH)
  if(_macos_clang_try)
    set(_macos_clang "${_macos_clang_try}")
    set(_macos_suffix "${suffix}")
    break()
  endif()
endforeach()
if(NOT _macos_clang)
  message(FATAL_ERROR "macos-toolchain: no clang${MACOS_LLVM_SUFFIX} found")
endif()
set(MACOS_LLVM_SUFFIX "${_macos_suffix}" CACHE STRING
    "Suffix of the LLVM tools' names, such as -19" FORCE)

function(_macos_find_tool var name)
  find_program(_tool NAMES "${name}${MACOS_LLVM_SUFFIX}" NO_CACHE
               NO_CMAKE_FIND_ROOT_PATH)
  if(NOT _tool)
    message(FATAL_ERROR "macos-toolchain: ${name}${MACOS_LLVM_SUFFIX} not found")
  endif()
  set(${var} "${_tool}" PARENT_SCOPE)
endfunction()
_macos_find_tool(_macos_clangxx clang++)
_macos_find_tool(_macos_ld64 ld64.lld)
_macos_find_tool(_macos_ar llvm-ar)
_macos_find_tool(_macos_ranlib llvm-ranlib)
_macos_find_tool(_macos_lipo llvm-lipo)
_macos_find_tool(_macos_libtool llvm-libtool-darwin)

set(CMAKE_C_COMPILER "${_macos_clang}")
set(CMAKE_CXX_COMPILER "${_macos_clangxx}")
set(CMAKE_AR "${_macos_ar}" CACHE FILEPATH "Archiver" FORCE)
set(CMAKE_RANLIB "${_macos_ranlib}" CACHE FILEPATH "Archive indexer" FORCE)
set(CMAKE_LIPO "${_macos_lipo}" CACHE FILEPATH "Joins per-architecture files" FORCE)

# The target triple names the first architecture and the deployment target;
# CMake adds -arch for every architecture, -isysroot and
# -mmacosx-version-min itself.
set(_macos_triple "${_macos_first_arch}-apple-macos${CMAKE_OSX_DEPLOYMENT_TARGET}")
set(CMAKE_C_COMPILER_TARGET "${_macos_triple}")
set(CMAKE_CXX_COMPILER_TARGET "${_macos_triple}")

# clang's driver runs "lipo" to join the architectures of a universal build;
# a directory of our own, searched first (-B), holds llvm-lipo under that
# name.
set(_macos_bin "${CMAKE_BINARY_DIR}/CMakeFiles/macos-toolchain-bin")
file(MAKE_DIRECTORY "${_macos_bin}")
file(CREATE_LINK "${_macos_lipo}" "${_macos_bin}/lipo" SYMBOLIC)

set(CMAKE_C_FLAGS_INIT "-B${_macos_bin}")
set(CMAKE_CXX_FLAGS_INIT "-B${_macos_bin}")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT
      "-B${_macos_bin} -fuse-ld=lld --ld-path=${_macos_ld64}")
endforeach()

if(_macos_arch_count GREATER 1)
  # Objects hold every architecture; llvm-libtool-darwin makes a universal
  # archive of them, which ld64.lld reads slice by slice.
  foreach(lang C CXX)
    set(CMAKE_${lang}_CREATE_STATIC_LIBRARY
        "\"${_macos_libtool}\" -static -o <TARGET> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_CREATE "")
    set(CMAKE_${lang}_ARCHIVE_APPEND "")
    set(CMAKE_${lang}_ARCHIVE_FINISH "")
  endforeach()
endif()

# Test programs built here cannot run here: list their test cases when ctest
# runs them (on a Mac), not after the build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# Headers, libraries, frameworks and packages come from the SDK alone; the
# build tools from the host.
set(CMAKE_FIND_ROOT_PATH "${MACOS_SDK}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_FRAMEWORK LAST)

foreach(var LIBRARY_PATH CPATH C_INCLUDE_PATH CPLUS_INCLUDE_PATH OBJC_INCLUDE_PATH)
  if(NOT CMAKE_IN_TRY_COMPILE AND NOT "$ENV{${var}}" STREQUAL "")
    message(WARNING "macos-toolchain: ${var} is set ($ENV{${var}}); clang "
                    "adds its host paths to the macOS build. Unset it.")
  endif()
endforeach()
