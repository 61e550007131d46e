#!/bin/sh
# Checks the formatting, then builds VU32 and runs every test: a release
# build, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer
# and in a build without vector kernels, the pattern and check fuzz targets
# briefly, then the Win32 build under Wine.
set -eu
cd "$(dirname "$0")/.."
# lintian checks the Debian package (ctest docs.deb), dpkg-dev gives it exact
# library dependencies and reads its changelog; bash-completion loads the
# completion under test (docs.completion).
sh scripts/deps.sh lintian dpkg-dev bash-completion clang-format
jobs=$(nproc 2>/dev/null || echo 2)

# Every C++ source as clang-format (.clang-format) makes it.
sh scripts/check-format.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVU32_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The portable build: the filters' own loops only, no vector kernels, so
# that it compiles and gives the outputs the kernels are held to. (The
# release build's tests already run every level the processor has.)
cmake -S . -B build-scalar -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVU32_SCALAR_ONLY=ON >/dev/null
cmake --build build-scalar -j "$jobs"
ctest --test-dir build-scalar --output-on-failure -j "$jobs"

# The pattern fuzz target must keep building, and a short smoke run must
# find nothing (long runs are for development: see fuzz/CMakeLists.txt).
# libclang-rt-dev is the fuzzer runtime of whichever clang Debian ships.
sh scripts/deps.sh clang libclang-rt-dev
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER=clang++ -DVU32_FUZZ=ON -DVU32_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target pattern_fuzz check_fuzz
# The run's log goes to a file, not through a pipe: sh has no pipefail, and
# a pipe would report the status of its last command instead of the crash.
if ! build-fuzz/fuzz/pattern_fuzz -runs=20000 -max_len=256 \
    >build-fuzz/smoke.log 2>&1; then
  tail -n 40 build-fuzz/smoke.log
  echo "pattern fuzz smoke run failed (log: build-fuzz/smoke.log)" >&2
  exit 1
fi
tail -n 1 build-fuzz/smoke.log
# The checker's: cuts, scanners and the guard agree (a few seconds).
if ! build-fuzz/fuzz/check_fuzz -runs=8000 -max_len=1024 \
    >build-fuzz/check-smoke.log 2>&1; then
  tail -n 40 build-fuzz/check-smoke.log
  echo "check fuzz smoke run failed (log: build-fuzz/check-smoke.log)" >&2
  exit 1
fi
tail -n 1 build-fuzz/check-smoke.log

# The Win32 build, cross-compiled and run under Wine (reuses build/).
sh scripts/test-win32.sh
