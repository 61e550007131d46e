#!/bin/sh
# Each kernel level's object file defines one external symbol, its table
# (vu32::scan::k<Level>Kernels): everything else it compiles, helpers that
# other headers declare inline included, has internal linkage, so the linker
# can never take a copy built for one instruction set for another level or
# for the portable code.
#
# usage: check_kernel_symbols.sh OBJECT...  (the library's object files,
# as arguments or as one list split by ";"; those of the level files are
# picked out). Skips (77) without nm.
command -v nm >/dev/null 2>&1 || { echo "nm not found: skipped"; exit 77; }
# CTest hands the list of objects over as one argument, split by ";".
IFS=';'
set -f
# shellcheck disable=SC2048,SC2086
set -- $*
set +f
unset IFS
status=0
found=0
for object in "$@"; do
  case $object in
    *scan_sse2.cc.o*) want=kSse2Kernels ;;
    *scan_avx2.cc.o*) want=kAvx2Kernels ;;
    *scan_avx512.cc.o*) want=kAvx512Kernels ;;
    *) continue ;;
  esac
  found=$((found + 1))
  # AddressSanitizer marks each global with an __odr_asan symbol of its own.
  symbols=$(nm --defined-only --extern-only -C "$object" |
    awk '{ $1 = $2 = ""; sub(/^ +/, ""); if ($0 !~ /^__odr_asan\./) print }')
  if [ "$symbols" != "vu32::scan::$want" ]; then
    echo "$object defines more or other than vu32::scan::$want:"
    echo "$symbols"
    status=1
  fi
done
if [ "$found" -ne 3 ]; then
  echo "expected the three level object files, found $found"
  status=1
fi
[ "$status" -eq 0 ] && echo "each level defines its table and nothing else"
exit $status
