#!/bin/bash
# Measures vu32's throughput file to file beside dd (the user-space copy
# limit), cat and the nearest peer tools, on two data sets: generated
# Shift-JIS-like data (bench/gen_data.py) and real Japanese text
# (bench/corpus.sh). Prints where it ran (processor, kernel level) and one
# markdown table per data set, then the in-place table.
#
# usage: bench/run.sh [SIZE_MB] [section...]
#   sections: filters kana uniq merge split pattern check inplace
#             (default: all)
#   DATASETS="generated real" (default both), RUNS=5 rounds per row.
#   LEVEL=scalar|sse2|avx2|avx512 forces a lower kernel level (VU32_KERNEL,
#     never above what the processor has); at avx2 and below glibc's own
#     string functions are asked to leave AVX-512 alone too (GLIBC_TUNABLES),
#     for every command of a row, so that an AVX2 machine is stood in for
#     as far as user space goes.
#   BASELINE=path/to/an/older/vu32 adds its figures to every row, measured in
#     the same rounds, so that before and after see the same machine.
# Needs a release build in build/ (sh scripts/demo.sh makes one; VU32=...
# names another), and python3; peers that are missing are left out (nkf,
# dos2unix and eatmydata are installed when missing).
#
# Each row runs dd, the baseline, vu32 and the peer one after another, RUNS
# times, with the output directory emptied before every run, so that all
# see the same state of the machine; it reports the median of each and the
# range over the rounds. "x dd" is the median of the rounds' dd time / vu32
# time.
set -u
cd "$(dirname "$0")/.."
SIZE_MB=${1:-200}
shift || true
SECTIONS=${*:-filters kana uniq merge split pattern check inplace}
DATASETS=${DATASETS:-generated real}
VU32=${VU32:-$PWD/build/vu32}
BASELINE=${BASELINE:-}
WORK=${BENCH_DIR:-$PWD/bench/data}
OUT=$WORK/out
RUNS=${RUNS:-5}
mkdir -p "$WORK" "$OUT"

for tool in nkf dos2unix eatmydata; do
  command -v "$tool" >/dev/null || sh scripts/deps.sh "$tool" >/dev/null 2>&1 || true
done

# The kernel level vu32 chooses here: the best the processor has (by the
# same tests as the program's), capped by LEVEL.
rank() {
  case $1 in scalar) echo 0 ;; sse2) echo 1 ;; avx2) echo 2 ;; avx512) echo 3 ;; *) echo 9 ;; esac
}
FLAGS=" $(grep -m1 '^flags' /proc/cpuinfo 2>/dev/null | cut -d: -f2) "
has() { case $FLAGS in *" $1 "*) return 0 ;; esac; return 1; }
if has avx512bw && has avx512vbmi && has avx512_vbmi2 && has bmi2 && has popcnt; then
  BEST=avx512
elif has avx2 && has bmi1 && has popcnt; then
  BEST=avx2
elif has sse2; then
  BEST=sse2
else
  BEST=scalar
fi
CHOSEN=$BEST
if [ -n "${LEVEL:-}" ] && [ "$(rank "$LEVEL")" -lt "$(rank "$BEST")" ]; then
  CHOSEN=$LEVEL
fi
export VU32_KERNEL=$CHOSEN
if [ "$(rank "$CHOSEN")" -lt 3 ] && [ "$BEST" = avx512 ]; then
  export GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX512F,-AVX512VL,-AVX512BW,-AVX512DQ,-AVX512CD
fi
MODEL=$(grep -m1 '^model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2 | sed 's/^ *//')
echo "processor: ${MODEL:-unknown} ($(nproc) cores); best kernel level $BEST; chosen $CHOSEN${LEVEL:+ (LEVEL=$LEVEL)}"
echo "vu32: $VU32${BASELINE:+; baseline: $BASELINE}; $RUNS rounds a row"

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
# table; BYTES is the input size that the throughput counts. In VU32_CMD
# the binary is written $V; the baseline runs the same command with its own.
row() {
  local name=$1 bytes=$2 vcmd=$3 dcmd=$4 pname=${5:--} pcmd=${6:-}
  local rounds="" r d b v p
  for r in $(seq "$RUNS"); do
    d=$(timed "$dcmd")
    b="- -"
    [ -n "$BASELINE" ] && b=$(timed "${vcmd//"$V"/"'$BASELINE'"}")
    v=$(timed "$vcmd")
    p="- -"
    [ -n "$pcmd" ] && p=$(timed "$pcmd")
    if [ "$d" = fail ] || [ "$b" = fail ] || [ "$v" = fail ] || [ "$p" = fail ]; then
      echo "| $name | command failed | | | | | | | |"
      echo "failed: $dcmd / $vcmd / $pcmd" >&2
      return
    fi
    rounds="$rounds$d $b $v $p
"
  done
  printf '%s' "$rounds" | python3 -c '
import sys
from statistics import median
name, bytes_, peer = sys.argv[1], int(sys.argv[2]), sys.argv[3]
baseline = sys.argv[4] != ""
# Each round: dd wall, dd cpu, baseline wall, baseline cpu, vu32 wall,
# vu32 cpu, peer wall, peer cpu.
rounds = [l.split() for l in sys.stdin if l.strip()]
col = lambda k: [float(r[k]) for r in rounds]
mbs = lambda t: bytes_ / 1048576 / t
rng = lambda xs, f: "%s (%s-%s)" % (f % median(xs), f % min(xs), f % max(xs))
cells = [name]
if baseline:
    cells += [rng([mbs(t) for t in col(2)], "%.0f"),
              rng([d / b for d, b in zip(col(0), col(2))], "%.2f")]
cells += [rng([mbs(t) for t in col(4)], "%.0f"),
          rng([d / v for d, v in zip(col(0), col(4))], "%.2f"),
          "%.2f" % median([d / v for d, v in zip(col(1), col(5))])]
if rounds[0][6] == "-":
    cells += ["-", "-", "-"]
else:
    cells += [peer, "%.0f" % median([mbs(t) for t in col(6)]),
              rng([p / v for p, v in zip(col(6), col(4))], "%.2f") + "x"]
print("| " + " | ".join(cells) + " |")
' "$name" "$bytes" "$pname" "$BASELINE"
}

# table_head: the header of a throughput table.
table_head() {
  if [ -n "$BASELINE" ]; then
    echo "| operation | before MB/s, median (range) | before x dd (range) | after MB/s, median (range) | after x dd (range) | x dd, CPU time | peer | peer MB/s | after vs peer (range) |"
    echo "|---|---:|---:|---:|---:|---:|---|---:|---:|"
  else
    echo "| operation | vu32 MB/s, median (range) | x dd (range) | x dd, CPU time | peer | peer MB/s | vu32 vs peer (range) |"
    echo "|---|---:|---:|---:|---|---:|---:|"
  fi
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
      HEADING='^CH' HEADING_NAME='^CH (20 pieces)' TH=""
      ;;
    real)
      local dir
      dir=$(sh bench/corpus.sh "$SIZE_MB") || exit 1
      CRLF=$dir/crlf.txt LF=$dir/lf.txt KANA=$dir/kana.txt
      SORTED=$dir/sorted.txt MANY=""
      # The title line that starts each repetition of the text, and the
      # first line of the ls manual page, once in each repetition.
      HEADING="^Debian $(printf '\x83\x8a\x83\x74\x83\x40\x83\x8c\x83\x93\x83\x58')"
      HEADING_NAME="^Debian リファレンス (one piece per repetition)"
      TH='^\.TH LS '
      ;;
  esac
}

# The in-place rows: 1,000 files of 8 KB of the real CR LF text converted
# where they stand, against dos2unix and sed -i (neither of which fsyncs),
# and the same vu32 run under eatmydata (fsync a no-op), which is what
# durability costs; then one file of the whole CR LF text against dd
# writing it with conv=fsync. Each command gets fresh copies of the files,
# not timed, in every round.
in_place() {
  local src=$1 pristine=$WORK/inplace-pristine files=$WORK/inplace
  if [ ! -d "$pristine" ]; then
    # 1,000 files of 8,000 bytes each, taken from the start of the text.
    mkdir -p "$pristine.tmp"
    for i in $(seq -w 1 1000); do
      dd if="$src" of="$pristine.tmp/f$i.txt" bs=8000 count=1 skip="$i" status=none
    done
    mv "$pristine.tmp" "$pristine"
  fi
  local -a names cmds
  names=("vu32 --in-place -Cu (fsync per file)")
  cmds=("cd '$files' && $V --quiet --in-place -Cu f*.txt")
  if [ -n "$BASELINE" ]; then
    names+=("before: vu32 --in-place -Cu")
    cmds+=("cd '$files' && '$BASELINE' --quiet --in-place -Cu f*.txt")
  fi
  if command -v eatmydata >/dev/null; then
    names+=("vu32 --in-place -Cu under eatmydata (no fsync)")
    cmds+=("cd '$files' && eatmydata $V --quiet --in-place -Cu f*.txt")
  fi
  command -v dos2unix >/dev/null && {
    names+=("dos2unix -q") cmds+=("cd '$files' && dos2unix -q f*.txt")
  }
  names+=("sed -i 's/\\r\$//'") cmds+=("cd '$files' && sed -i 's/\r\$//' f*.txt")
  local -a times
  local k t
  for _ in $(seq "$RUNS"); do
    for k in "${!cmds[@]}"; do
      rm -rf "$files"
      cp -r "$pristine" "$files"
      sync
      t=$(timed "${cmds[$k]}")
      times[k]="${times[k]:-} ${t%% *}"
    done
  done
  echo
  echo "#### In place: 1,000 files of 8 KB (real CR LF text), -Cu, $RUNS rounds"
  echo
  echo "| command | seconds, median (range) | x vu32 |"
  echo "|---|---:|---:|"
  for k in "${!cmds[@]}"; do echo "${names[$k]}|${times[$k]}"; done | python3 -c '
import sys
from statistics import median
rows = [l.rstrip("\n").split("|") for l in sys.stdin if l.strip()]
vu = median(float(x) for x in rows[0][1].split())
for name, ts in rows:
    xs = [float(x) for x in ts.split()]
    print("| %s | %.3f (%.3f-%.3f) | %.2f |" % (name, median(xs), min(xs), max(xs), median(xs) / vu))
'
  rm -rf "$files"
  # One large file: as fast as writing it durably can be.
  local big=$WORK/inplace-big.txt
  local bcmd="$V --quiet --in-place -Cu '$big'"
  local dcmd="dd if='$src' of='$big.dd' bs=1M conv=fsync status=none"
  local vt="" dt="" bt=""
  for _ in $(seq "$RUNS"); do
    cp "$src" "$big" && sync
    dt="$dt $(timed "$dcmd" | cut -d' ' -f1)"
    rm -f "$big.dd"
    vt="$vt $(timed "$bcmd" | cut -d' ' -f1)"
    if [ -n "$BASELINE" ]; then
      cp "$src" "$big" && sync
      bt="$bt $(timed "'$BASELINE' --quiet --in-place -Cu '$big'" | cut -d' ' -f1)"
    fi
  done
  rm -f "$big" "$big.dd"
  echo
  echo "| one file of $(size "$src") bytes | seconds, median (range) |"
  echo "|---|---:|"
  for pair in "dd bs=1M conv=fsync|$dt" "vu32 --in-place -Cu|$vt" ${BASELINE:+"before: vu32 --in-place -Cu|$bt"}; do
    echo "$pair"
  done | python3 -c '
import sys
from statistics import median
for l in sys.stdin:
    name, ts = l.rstrip("\n").split("|")
    xs = [float(x) for x in ts.split()]
    print("| %s | %.3f (%.3f-%.3f) |" % (name, median(xs), min(xs), max(xs)))
'
}

for set_name in $DATASETS; do
  dataset "$set_name"
  cat "$CRLF" "$LF" "$KANA" "$SORTED" >/dev/null  # warm the page cache
  echo
  echo "### $set_name data ($(size "$CRLF") bytes, $RUNS rounds)"
  echo
  table_head
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
        if command -v dos2unix >/dev/null; then
          filter -Cu "$CRLF" "dos2unix -f" "dos2unix -q -f -n $C $O/p"
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
        row "-S100.4 (100 KB pieces)" "$(size "$CRLF")" "$V -S100.4 $O < $C" \
          "$(dd_of "$CRLF")" "split -b" "split -a 4 -b 100000 $C $O/x"
        row "-S1000.3 (1 MB pieces)" "$(size "$CRLF")" "$V -S1000.3 $O < $C" \
          "$(dd_of "$CRLF")" "split -b" "split -a 3 -b 1000000 $C $O/x"
        row "-S100000.3L (lines)" "$(size "$CRLF")" "$V -S100000.3L $O < $C" \
          "$(dd_of "$CRLF")" "split -l" "split -a 3 -l 100000 $C $O/x"
        ;;
      pattern)
        if [ -n "$TH" ]; then
          row "-S1L -#$TH" "$(size "$CRLF")" "$V -S1L '-#$TH' $O < $C" \
            "$(dd_of "$CRLF")" "csplit" \
            "cd $O && LC_ALL=C csplit -s -n 5 $C '/$TH/' '{*}'"
        fi
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
      check)
        # The checker reads every byte as CP932, as iconv does (which stops
        # at the first fault; the real text has none). bench/check.sh has
        # the faulty corpus and --info.
        row "--check" "$(size "$CRLF")" "$V --quiet --check $C >/dev/null || [ \$? -eq 1 ]" \
          "$(dd_of "$CRLF")" "iconv" "iconv -f CP932 -t UTF-8 $C >/dev/null"
        ;;
    esac
  done
done

case " $SECTIONS " in
  *" inplace "*)
    dataset real
    in_place "$CRLF"
    ;;
esac
