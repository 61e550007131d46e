#!/bin/bash
# Measures vu32's throughput file to file beside dd (the user-space copy
# limit), cat and the nearest peer tools, on two data sets: generated
# Shift-JIS-like data (bench/gen_data.py) and real Japanese text
# (bench/corpus.sh). Prints one markdown table per data set.
#
# usage: bench/run.sh [SIZE_MB] [section...]
#   sections: filters kana uniq merge split pattern (default: all)
#   DATASETS="generated real" (default both), RUNS=5 rounds per row.
# Needs a release build in build/ (sh scripts/demo.sh makes one), and
# python3; peers that are missing are left out (nkf is installed when
# missing).
#
# Each row runs dd, vu32 and the peer one after another, RUNS times, with
# the output directory emptied before every run, so that all three see the
# same state of the machine; it reports the median of each and the range
# over the rounds. "x dd" is the median of the rounds' dd time / vu32 time.
set -u
cd "$(dirname "$0")/.."
SIZE_MB=${1:-200}
shift || true
SECTIONS=${*:-filters kana uniq merge split pattern}
DATASETS=${DATASETS:-generated real}
VU32=${VU32:-$PWD/build/vu32}
WORK=${BENCH_DIR:-$PWD/bench/data}
OUT=$WORK/out
RUNS=${RUNS:-5}
mkdir -p "$WORK" "$OUT"

command -v nkf >/dev/null || sh scripts/deps.sh nkf >/dev/null 2>&1 || true

# timed CMD: "wall cpu" in seconds of CMD run by bash (user + system time of
# the command's processes); "fail" when it fails.
timed() {
  local t
  rm -rf "${OUT:?}"/* 2>/dev/null
  t=$( { TIMEFORMAT='%R %U %S'; time bash -c "$1" </dev/null >/dev/null 2>&1; } 2>&1) ||
    { echo fail; return; }
  echo "$t" | awk '{ print $1, $2 + $3 }'
}

# row NAME BYTES VU32_CMD DD_CMD [PEER_NAME PEER_CMD]: one line of the
# table; BYTES is the input size that the throughput counts.
row() {
  local name=$1 bytes=$2 vcmd=$3 dcmd=$4 pname=${5:--} pcmd=${6:-}
  local rounds="" r d v p
  for r in $(seq "$RUNS"); do
    d=$(timed "$dcmd")
    v=$(timed "$vcmd")
    p="- -"
    [ -n "$pcmd" ] && p=$(timed "$pcmd")
    if [ "$d" = fail ] || [ "$v" = fail ] || [ "$p" = fail ]; then
      echo "| $name | command failed | | | | | |"
      echo "failed: $dcmd / $vcmd / $pcmd" >&2
      return
    fi
    rounds="$rounds$d $v $p
"
  done
  printf '%s' "$rounds" | python3 -c '
import sys
from statistics import median
name, bytes_, peer = sys.argv[1], int(sys.argv[2]), sys.argv[3]
# Each round: dd wall, dd cpu, vu32 wall, vu32 cpu, peer wall, peer cpu.
rounds = [l.split() for l in sys.stdin if l.strip()]
col = lambda k: [float(r[k]) for r in rounds]
mbs = lambda t: bytes_ / 1048576 / t
rng = lambda xs, f: "%s (%s-%s)" % (f % median(xs), f % min(xs), f % max(xs))
vu = [mbs(t) for t in col(2)]
cells = [name, rng(vu, "%.0f"),
         rng([d / v for d, v in zip(col(0), col(2))], "%.2f"),
         "%.2f" % median([d / v for d, v in zip(col(1), col(3))])]
if rounds[0][4] == "-":
    cells += ["-", "-", "-"]
else:
    cells += [peer, "%.0f" % median([mbs(t) for t in col(4)]),
              rng([p / v for p, v in zip(col(4), col(2))], "%.2f") + "x"]
print("| " + " | ".join(cells) + " |")
' "$name" "$bytes" "$pname"
}

size() { stat -c %s "$1"; }
# dd_of FILE: dd copying FILE into the output directory.
dd_of() { echo "dd if='$1' of='$OUT/dd' bs=64k status=none"; }

V="'$VU32'"
O="'$OUT'"

# filter SWITCH FILE [PEER_NAME PEER_CMD]: a row for vu32 SWITCH FILE OUT.
filter() {
  row "$1" "$(size "$2")" "$V $1 '$2' $O/v" "$(dd_of "$2")" "${3:--}" "${4:-}"
}

# dataset NAME: sets the input files of the data set NAME.
dataset() {
  case $1 in
    generated)
      local data=$WORK/data-$SIZE_MB.txt many=$WORK/many-$SIZE_MB.txt
      [ -f "$data" ] || python3 bench/gen_data.py "$data" "$SIZE_MB" --chapters 20
      [ -f "$many" ] || python3 bench/gen_data.py "$many" "$SIZE_MB" --chapters 3000
      # Mostly CR LF line ends, tabs, kana and duplicates all in one file.
      CRLF=$data LF=$data KANA=$data SORTED=$data MANY=$many
      HEADING='^CH' HEADING_NAME='^CH (20 pieces)'
      ;;
    real)
      local dir
      dir=$(sh bench/corpus.sh "$SIZE_MB") || exit 1
      CRLF=$dir/crlf.txt LF=$dir/lf.txt KANA=$dir/kana.txt
      SORTED=$dir/sorted.txt MANY=""
      # The title line that starts each repetition of the text.
      HEADING="^Debian $(printf '\x83\x8a\x83\x74\x83\x40\x83\x8c\x83\x93\x83\x58')"
      HEADING_NAME="^Debian リファレンス (one piece per repetition)"
      ;;
  esac
}

for set_name in $DATASETS; do
  dataset "$set_name"
  cat "$CRLF" "$LF" "$KANA" "$SORTED" >/dev/null  # warm the page cache
  echo
  echo "### $set_name data ($(size "$CRLF") bytes, $RUNS rounds)"
  echo
  echo "| operation | vu32 MB/s, median (range) | x dd (range) | x dd, CPU time | peer | peer MB/s | vu32 vs peer (range) |"
  echo "|---|---:|---:|---:|---|---:|---:|"
  C="'$CRLF'" L="'$LF'" K="'$KANA'" S="'$SORTED'"
  for s in $SECTIONS; do
    case $s in
      filters)
        row "plain copy" "$(size "$CRLF")" "$V $C $O/v" "$(dd_of "$CRLF")" "cat" "cat $C > $O/p"
        # -f: the converters skip a file that holds an EOF mark or other
        # control bytes as binary, as they find in the real text.
        if command -v unix2dos >/dev/null; then
          filter -Cd "$LF" "unix2dos -f" "unix2dos -q -f -n $L $O/p"
        else
          filter -Cd "$LF"
        fi
        filter -Cu "$CRLF" "tr -d '\r'" "tr -d '\r' < $C > $O/p"

        filter -Cm "$CRLF" "tr -d '\r' \| tr '\n' '\r'" "tr -d '\r' < $C | tr '\n' '\r' > $O/p"
        filter -J "$CRLF" "tr -d '\r\n'" "tr -d '\r\n' < $C > $O/p"
        filter -D "$CRLF" "tr -d (controls)" "tr -d '\000-\010\013-\037\177' < $C > $O/p"
        filter -L "$CRLF" "tr A-Z a-z" "tr A-Z a-z < $C > $O/p"
        filter -P "$CRLF" "tr a-z A-Z" "tr a-z A-Z < $C > $O/p"
        filter -T0 "$CRLF" "tr -d '\t'" "tr -d '\t' < $C > $O/p"
        filter -T4 "$CRLF" "expand -t 4" "expand -t 4 $C > $O/p"
        filter -T8 "$CRLF" "expand -t 8" "expand -t 8 $C > $O/p"
        ;;
      kana)
        if command -v nkf >/dev/null; then
          filter -K "$KANA" "nkf -S -s -X" "nkf -S -s -X $K > $O/p"
        else
          filter -K "$KANA"
        fi
        ;;
      uniq)
        filter -U "$SORTED" "uniq" "LC_ALL=C uniq $S $O/p"
        filter -U+ "$SORTED" "uniq -i" "LC_ALL=C uniq -i $S $O/p"
        ;;
      merge)
        PARTS=$WORK/parts-$set_name-$SIZE_MB
        if [ ! -d "$PARTS" ]; then
          mkdir -p "$PARTS.tmp"
          for i in $(seq 0 19); do
            dd if="$CRLF" of="$PARTS.tmp/p$((i + 10)).txt" bs=1M count=10 \
              skip=$i status=none
          done
          mv "$PARTS.tmp" "$PARTS"
        fi
        # dd copies as many bytes from the data file.
        row "-M 20 x 10 MiB" $((20 * (10 << 20))) "$V -M '$PARTS'/p*.txt -o $O/v" \
          "dd if=$C of=$O/dd bs=64k count=3200 status=none" \
          "cat" "cat '$PARTS'/p*.txt > $O/p"
        ;;
      split)
        # Split reads a standard input redirected from a file in place of FILE.
        row "-S1000.3 (1 MB pieces)" "$(size "$CRLF")" "$V -S1000.3 $O < $C" \
          "$(dd_of "$CRLF")" "split -b" "split -a 3 -b 1000000 $C $O/x"
        row "-S100000.3L (lines)" "$(size "$CRLF")" "$V -S100000.3L $O < $C" \
          "$(dd_of "$CRLF")" "split -l" "split -a 3 -l 100000 $C $O/x"
        ;;
      pattern)
        row "-S1L -#$HEADING_NAME" "$(size "$CRLF")" "$V -S1L '-#$HEADING' $O < $C" \
          "$(dd_of "$CRLF")" "csplit" \
          "cd $O && LC_ALL=C csplit -s -n 5 $C '/$HEADING/' '{*}'"
        if [ -n "$MANY" ]; then
          CH=$(printf '\x91\xe6.\x8f\xcd')  # 第.章 in Shift-JIS
          # 第, then any one character (a two-byte one or a single byte), then 章.
          LEAD="$(printf '\x81')-$(printf '\x9f\xe0')-$(printf '\xfc')"
          ANY="\\([$LEAD].\\|[^$LEAD]\\)"
          row "-S1L -#第.章 (20 pieces)" "$(size "$CRLF")" "$V -S1L '-#$CH' $O < $C" \
            "$(dd_of "$CRLF")" "csplit" \
            "cd $O && LC_ALL=C csplit -s -n 5 $C \"/$(printf '\x91\xe6')$ANY$(printf '\x8f\xcd')/\" '{*}'"
          M="'$MANY'"
          row "-S1.5L -#^CH (3000 pieces)" "$(size "$MANY")" "$V -S1.5L -#^CH $O < $M" \
            "$(dd_of "$MANY")" "csplit" \
            "cd $O && LC_ALL=C csplit -s -n 5 $M '/^CH/' '{*}'"
        fi
        ;;
    esac
  done
done
