#!/bin/sh
# Checks the formatting, then builds VU32 and runs every test: a release
# build (with the scalar-only variant beside it), the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, the pattern and check
# fuzz targets briefly, then the Win32 build under Wine. Prints the time of
# each leg.
set -eu
cd "$(dirname "$0")/.."
# Everything at once, so that a fresh machine runs apt-get once: lintian
# checks the Debian package (ctest docs.deb), dpkg-dev gives it exact library
# dependencies and reads its changelog; bash-completion loads the completion
# under test (docs.completion); clang and libclang-rt-dev (the fuzzer
# runtime of whichever clang Debian ships) build the fuzz target; @win32 is
# the cross compiler and Wine.
sh scripts/deps.sh lintian dpkg-dev bash-completion clang-format clang \
  libclang-rt-dev @win32
jobs=$(nproc 2>/dev/null || echo 2)

# leg NAME: ends the leg that runs (noting its time) and starts the next.
started=$(date +%s)
leg_started=$started
leg_name=""
times=""
leg() {
  now=$(date +%s)
  if [ -n "$leg_name" ]; then
    times="$times$(printf '%5ss  %s' $((now - leg_started)) "$leg_name")
"
  fi
  leg_name=$1
  leg_started=$now
  [ -n "$1" ] && printf '==== %s\n' "$1"
  return 0
}
# The times so far, also when a leg fails (it is then the last one named).
summary() {
  status=$?
  leg ""
  printf '==== time of each leg\n%s%5ss  all\n' "$times" $(($(date +%s) - started))
  [ "$status" -eq 0 ] || echo "test.sh failed (status $status)" >&2
}
trap summary EXIT

leg "format"
# Every C++ source as clang-format (.clang-format) makes it.
sh scripts/check-format.sh

leg "release build"
# With the portable variant (-DVU32_SCALAR_TESTS=ON): vu32-scalar and its
# test program have the filters' own loops only, no vector kernels, so that
# the dispatch compiles without them and the suite passes on the outputs the
# kernels are held to; every other object is this build's. (The release
# tests already run every kernel level the processor has.)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVU32_SCALAR_TESTS=ON >/dev/null
cmake --build build -j "$jobs"
leg "release tests"
ctest --test-dir build --output-on-failure -j "$jobs" -E '^scalar-only\.'
leg "scalar-only tests"
ctest --test-dir build --output-on-failure -j "$jobs" -R '^scalar-only\.'

leg "ASan/UBSan build"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVU32_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
leg "ASan/UBSan tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

leg "fuzz build and smoke run"
# The pattern fuzz target must keep building, and a short smoke run must
# find nothing (long runs are for development: see fuzz/CMakeLists.txt).
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

leg "Win32 build under Wine"
# Reuses build/ for the end-to-end tests against vu32.exe.
sh scripts/test-win32.sh
