#!/bin/sh
# Builds the real-text benchmark corpus: Japanese prose and manual-page
# sources from Debian's debian-reference-ja and manpages-ja, converted to
# Shift-JIS (CP932) and repeated to about SIZE_MB megabytes. Prints the
# directory that holds it. The files are cached outside the repository and
# rebuilt only when missing:
#
#   lf.txt      the text with LF line ends
#   crlf.txt    the same with CR LF line ends
#   kana.txt    katakana made half-width (nkf), LF line ends
#   sorted.txt  the lines sorted before repeating, so that the duplicates
#               are the text's own (sorting the repeated text would leave
#               every line repeated as often as the text is)
#
# usage: bench/corpus.sh [SIZE_MB]
#   VU32_BENCH_CACHE overrides the cache directory (~/.cache/vu32-bench).
set -eu
cd "$(dirname "$0")/.."
SIZE_MB=${1:-200}
CACHE=${VU32_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vu32-bench}
DIR=$CACHE/real-$SIZE_MB
if [ -f "$DIR/sorted.txt" ]; then
  echo "$DIR"
  exit 0
fi
sh scripts/deps.sh debian-reference-ja manpages-ja nkf >&2
mkdir -p "$DIR"
TMP=$(mktemp -d "$CACHE/build.XXXXXX")
trap 'rm -rf "$TMP"' EXIT

# The sources in a fixed order, so that every machine builds the same bytes
# from the same package versions. Characters CP932 lacks are dropped (-c).
{
  zcat /usr/share/debian-reference/debian-reference.ja.txt.gz
  find /usr/share/man/ja -name '*.gz' | LC_ALL=C sort | xargs zcat
} | iconv -c -f UTF-8 -t CP932 >"$TMP/base"
# -x keeps the half-width katakana that -Z4 makes.
nkf -S -s -x -Z4 "$TMP/base" >"$TMP/kana"
LC_ALL=C sort "$TMP/base" >"$TMP/sorted"

# repeat SOURCE TARGET: SOURCE written as many whole times as make SIZE_MB.
repeat() {
  size=$(stat -c %s "$1")
  copies=$(((SIZE_MB * 1048576 + size - 1) / size))
  i=0
  while [ "$i" -lt "$copies" ]; do
    cat "$1"
    i=$((i + 1))
  done >"$2"
}
repeat "$TMP/base" "$TMP/lf.txt"
sed 's/$/\r/' "$TMP/lf.txt" >"$TMP/crlf.txt"
repeat "$TMP/kana" "$TMP/kana.txt"
repeat "$TMP/sorted" "$TMP/sorted.txt"
mv "$TMP/lf.txt" "$TMP/crlf.txt" "$TMP/kana.txt" "$DIR/"
mv "$TMP/sorted.txt" "$DIR/"  # last: its presence marks a complete corpus
echo "$DIR"
