#!/bin/sh
# Cross-builds the Win32 vu32.exe with mingw-w64 and tests it under Wine: the
# unit tests run as Windows programs, then the end-to-end suite of the native
# test binary drives vu32.exe through the test launcher. Last, CPack makes
# the zip for Windows users (build-win32/vu32-<version>-win64.zip), whose
# contents are checked and whose vu32.exe must run.
#
#   sh scripts/test-win32.sh
#
# VU32_WIN32_BUILD and VU32_NATIVE_BUILD name the two build directories
# (default build-win32 and build; the native one is reused when it exists).
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh @win32
jobs=$(nproc 2>/dev/null || echo 2)
# Programs under Wine wait on the Wine server more than they compute: twice
# as many at once as there are processors finish sooner.
wine_jobs=$((jobs * 2))
win_build=${VU32_WIN32_BUILD:-build-win32}
native_build=${VU32_NATIVE_BUILD:-build}
case $win_build in /*) ;; *) win_build="$(pwd)/$win_build" ;; esac

step() { printf '== %s (%ss)\n' "$1" "$(($(date +%s) - started))"; }
started=$(date +%s)

# A private Wine prefix, quiet, and removed at the end.
scratch=$(mktemp -d /tmp/vu32-wine.XXXXXX)
export WINEPREFIX="$scratch/prefix"
export WINEDEBUG=-all
prefix_job=""
cleanup() {
  [ -n "$prefix_job" ] && kill "$prefix_job" 2>/dev/null
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Wine takes the program's code page from the locale: ja_JP.UTF-8 gives code
# page 932, so Shift-JIS arguments reach vu32.exe unchanged.
export LOCPATH="$scratch/locale"
mkdir -p "$LOCPATH"
localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" >/dev/null 2>&1 ||
  test -d "$LOCPATH/ja_JP.UTF-8"
export LC_ALL=ja_JP.UTF-8

# Warm-up: the first start of a program in a prefix is slow, and a captured
# run that pays for it waits or hangs. All stdio away from the caller.
warm_up() { timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1 || true; }

# The prefix is made while the cross build runs: wineboot mostly waits, and
# nothing is run under Wine before the unit tests.
step "Wine prefix (in the background) and cross build"
mkdir -p "$WINEPREFIX"
(timeout 300 wineboot -i && timeout 300 wineserver -w) \
  </dev/null >/dev/null 2>&1 &
prefix_job=$!
cmake -S . -B "$win_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build "$win_build" -j "$jobs"
if ! wait "$prefix_job"; then
  prefix_job=""
  echo "wineboot could not make the Wine prefix" >&2
  exit 1
fi
prefix_job=""
# One server for every run that follows, instead of one per run.
timeout 30 wineserver -p </dev/null >/dev/null 2>&1
warm_up

# Self-contained: the runtime is linked in, only system DLLs are imported.
imports=$(x86_64-w64-mingw32-objdump -p "$win_build/vu32.exe" |
  sed -n 's/^[[:space:]]*DLL Name: //p' | sort -f | tr '\n' ' ')
if [ "$imports" != "KERNEL32.dll msvcrt.dll " ]; then
  echo "vu32.exe imports $imports(want KERNEL32.dll and msvcrt.dll only)" >&2
  exit 1
fi

# A few shards of the unit test program (see CMakeLists.txt), each one start
# of Wine; then every test the program lists must have run in one of them.
step "unit tests under Wine"
rm -f "$win_build"/unit-shard-*.xml
ctest --test-dir "$win_build" --output-on-failure -j "$wine_jobs"
listed=$(timeout 120 wine "$win_build/vu32_tests.exe" --gtest_list_tests \
  </dev/null 2>/dev/null | grep -c '^  ') || true
ran=$(sed -n 's/^<testsuites tests="\([0-9]*\)".*/\1/p' \
  "$win_build"/unit-shard-*.xml | awk '{n += $1} END {print n + 0}')
shards=$(ls "$win_build"/unit-shard-*.xml | wc -l)
echo "Win32 unit tests: $ran run in $shards shards, $listed listed"
if [ "$ran" -ne "$listed" ] || [ "$listed" -eq 0 ]; then
  echo "the shards did not run every listed test" >&2
  exit 1
fi

step "native test binary"
if [ ! -f "$native_build/CMakeCache.txt" ]; then
  cmake -S . -B "$native_build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$native_build" -j "$jobs" --target vu32_tests

step "end-to-end tests against vu32.exe"
warm_up
VU32_E2E_TARGET=win32 \
VU32_E2E_COMMAND="timeout 60 wine $win_build/launcher.exe $win_build/vu32.exe" \
  ctest --test-dir "$native_build" --output-on-failure -j "$wine_jobs" --timeout 120 \
    -R 'E2[Ee]Test' -E '^scalar-only\.'

step "zip"
rm -f "$win_build"/vu32-*-win64.zip
cpack --config "$win_build/CPackConfig.cmake" -G ZIP -B "$win_build" >/dev/null
set -- "$win_build"/vu32-*-win64.zip
[ $# -eq 1 ] && [ -f "$1" ] || { echo "expected one zip, found: $*" >&2; exit 1; }
zip=$1
top=$(basename "$zip" .zip)
unpacked="$scratch/zip"
mkdir "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
for name in vu32.exe README.txt LICENSE.txt vu32.txt vu32-ja.txt; do
  if [ ! -s "$unpacked/$top/$name" ]; then
    echo "$(basename "$zip") lacks $top/$name" >&2
    exit 1
  fi
done
# Text for Windows editors: a UTF-8 byte order mark and CR LF line ends; the
# pages rendered, not roff source.
for name in README.txt LICENSE.txt vu32.txt vu32-ja.txt; do
  if [ "$(head -c 3 "$unpacked/$top/$name" | od -An -tx1 | tr -d ' ')" != efbbbf ] ||
     grep -q -v "$(printf '\r')\$" "$unpacked/$top/$name"; then
    echo "$top/$name lacks the byte order mark or CR LF line ends" >&2
    exit 1
  fi
done
for page in vu32.txt vu32-ja.txt; do
  if ! sed -n '1s/^\xef\xbb\xbf//p' "$unpacked/$top/$page" |
       grep -q '^VU32(1) .* VU32(1)' ||
     grep -q '^\.TH' "$unpacked/$top/$page"; then
    echo "$top/$page is not a rendered manual page" >&2
    exit 1
  fi
done
grep -q -F 'シフトJISの規則' "$unpacked/$top/vu32-ja.txt" ||
  { echo "$top/vu32-ja.txt lacks its Japanese text" >&2; exit 1; }
grep -q -F 'C:\Data> vu32' "$unpacked/$top/README.txt" ||
  { echo "$top/README.txt is not the page for Windows" >&2; exit 1; }
# The packaged (stripped) vu32.exe converts.
printf 'a\r\nb\r\n' >"$scratch/crlf.txt"
if ! timeout 60 wine "$win_build/launcher.exe" "$unpacked/$top/vu32.exe" -Cu \
    <"$scratch/crlf.txt" >"$scratch/lf.txt" 2>"$scratch/err.txt"; then
  echo "vu32.exe from the zip failed:" >&2
  cat "$scratch/err.txt" >&2
  exit 1
fi
if [ "$(od -An -c "$scratch/lf.txt" | tr -d ' ')" != 'a\nb\n' ]; then
  echo "vu32.exe from the zip did not convert CR LF to LF" >&2
  exit 1
fi
echo "$(basename "$zip"): vu32.exe, README.txt, LICENSE.txt, vu32.txt, vu32-ja.txt"

step "done"
