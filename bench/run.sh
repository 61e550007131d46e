#!/bin/bash
# Measures vu32's throughput beside dd (the user-space copy limit) and the
# nearest peer tools, on the same data, in one run. Prints a markdown table.
#
# usage: bench/run.sh [SIZE_MB] [section...]
#   sections: filters kana uniq merge split pattern (default: all)
# Needs a release build in build/ (sh scripts/demo.sh makes one).
set -u
cd "$(dirname "$0")/.."
SIZE_MB=${1:-200}
shift || true
SECTIONS=${*:-filters kana uniq merge split pattern}
VU32=${VU32:-$PWD/build/vu32}
WORK=${BENCH_DIR:-$PWD/bench/data}
OUT=$WORK/out
RUNS=${RUNS:-3}
mkdir -p "$WORK" "$OUT"

command -v nkf >/dev/null || sh scripts/deps.sh nkf >/dev/null 2>&1 || true

DATA=$WORK/data-$SIZE_MB.txt
[ -f "$DATA" ] || python3 bench/gen_data.py "$DATA" "$SIZE_MB" --chapters 20
FEW=$DATA  # 20 chapter lines
MANY=$WORK/many-$SIZE_MB.txt
[ -f "$MANY" ] || python3 bench/gen_data.py "$MANY" "$SIZE_MB" --chapters 3000
BYTES=$(stat -c %s "$DATA")
cat "$DATA" "$MANY" >/dev/null  # warm the page cache

# best_of CMD...: best wall time in seconds of $RUNS runs (outputs in $OUT).
best_of() {
  local best=""
  for _ in $(seq "$RUNS"); do
    rm -rf "$OUT"/* 2>/dev/null
    local t0 t1
    t0=$(date +%s.%N)
    if ! bash -c "$1" </dev/null >/dev/null 2>&1; then
      echo "command failed: $1" >&2
      echo 999
      return
    fi
    t1=$(date +%s.%N)
    local t
    t=$(echo "$t1 - $t0" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

mbps() { echo "scale=0; $BYTES / 1048576 / $1" | bc -l; }
ratio() { echo "scale=2; $2 / $1" | bc -l; }  # how many times faster the first is

DD=$(best_of "dd if='$DATA' of='$OUT/dd' bs=64k")
echo "data: $BYTES bytes; dd bs=64k: $(mbps "$DD") MB/s; best of $RUNS runs"
echo
echo "| operation | vu32 MB/s | x dd | peer | peer MB/s | vu32 vs peer |"
echo "|---|---:|---:|---|---:|---:|"

# Throughput relative to dd: time of dd / time of vu32.
ratio_dd() { echo "scale=2; $DD / $1" | bc -l; }
# row NAME VU32_CMD PEER_NAME PEER_CMD: one line of the table.
row() {
  local tv tp
  tv=$(best_of "$2")
  if [ -n "$4" ]; then
    tp=$(best_of "$4")
    echo "| $1 | $(mbps "$tv") | $(ratio_dd "$tv") | $3 | $(mbps "$tp") | $(ratio "$tv" "$tp")x |"
  else
    echo "| $1 | $(mbps "$tv") | $(ratio_dd "$tv") | - | - | - |"
  fi
}

V="'$VU32'"
D="'$DATA'"
O="'$OUT'"
for s in $SECTIONS; do
  case $s in
    filters)
      row "plain copy" "$V $D $O/v" "cat" "cat $D > $O/p"
      if command -v unix2dos >/dev/null; then
        row "-Cd" "$V -Cd $D $O/v" "unix2dos" "unix2dos -q -n $D $O/p"
      else
        row "-Cd" "$V -Cd $D $O/v" "" ""
      fi
      if command -v dos2unix >/dev/null; then
        row "-Cu" "$V -Cu $D $O/v" "dos2unix" "dos2unix -q -n $D $O/p"
      else
        row "-Cu" "$V -Cu $D $O/v" "tr -d '\\r'" "tr -d '\\r' < $D > $O/p"
      fi
      row "-Cm" "$V -Cm $D $O/v" "tr '\\n' '\\r'" "tr -d '\\r' < $D | tr '\\n' '\\r' > $O/p"
      row "-J" "$V -J $D $O/v" "tr -d '\\r\\n'" "tr -d '\\r\\n' < $D > $O/p"
      row "-D" "$V -D $D $O/v" "tr -d (controls)" "tr -d '\\000-\\010\\013-\\037\\177' < $D > $O/p"
      row "-L" "$V -L $D $O/v" "tr A-Z a-z" "tr A-Z a-z < $D > $O/p"
      row "-P" "$V -P $D $O/v" "tr a-z A-Z" "tr a-z A-Z < $D > $O/p"
      row "-T0" "$V -T0 $D $O/v" "tr -d '\\t'" "tr -d '\\t' < $D > $O/p"
      row "-T8" "$V -T8 $D $O/v" "expand -t 8" "expand -t 8 $D > $O/p"
      ;;
    kana)
      if command -v nkf >/dev/null; then
        row "-K" "$V -K $D $O/v" "nkf -S -s -X" "nkf -S -s -X $D > $O/p"
      else
        row "-K" "$V -K $D $O/v" "" ""
      fi
      ;;
    uniq)
      row "-U" "$V -U $D $O/v" "uniq" "LC_ALL=C uniq $D $O/p"
      row "-U+" "$V -U+ $D $O/v" "uniq -i" "LC_ALL=C uniq -i $D $O/p"
      ;;
    merge)
      PARTS=$WORK/parts
      if [ ! -d "$PARTS" ]; then
        mkdir -p "$PARTS"
        for i in $(seq -w 1 20); do head -c 10485760 "$DATA" > "$PARTS/p$i.txt"; done
      fi
      SAVE=$BYTES; BYTES=$((20 * 10485760))
      row "-M 20 x 10 MB" "$V -M '$PARTS'/p*.txt -o $O/v" "cat" "cat '$PARTS'/p*.txt > $O/p"
      BYTES=$SAVE
      ;;
    split)
      # Split reads a standard input redirected from a file in place of FILE.
      row "-S1000.3 (1 MB pieces)" "$V -S1000.3 $O < $D" "split -b" "split -a 3 -b 1000000 $D $O/x"
      row "-S100000.3L (lines)" "$V -S100000.3L $O < $D" "split -l" "split -a 3 -l 100000 $D $O/x"
      ;;
    pattern)
      CH=$(printf '\x91\xe6.\x8f\xcd')  # 第.章 in Shift-JIS
      row "-S1L -#^CH (20 pieces)" "$V -S1L -#^CH $O < $D" "csplit" "cd $O && LC_ALL=C csplit -s -n 5 $D '/^CH/' '{*}'"
      # 第, then any one character (a two-byte one or a single byte), then 章.
      LEAD="$(printf '\x81')-$(printf '\x9f\xe0')-$(printf '\xfc')"
      ANY="\\([$LEAD].\\|[^$LEAD]\\)"
      row "-S1L -#第.章 (20 pieces)" "$V -S1L '-#$CH' $O < $D" "csplit" "cd $O && LC_ALL=C csplit -s -n 5 $D \"/$(printf '\x91\xe6')$ANY$(printf '\x8f\xcd')/\" '{*}'"
      SAVE_D=$D; D="'$MANY'"
      row "-S1.5L -#^CH (3000 pieces)" "$V -S1.5L -#^CH $O < $D" "csplit" "cd $O && LC_ALL=C csplit -s -n 5 $D '/^CH/' '{*}'"
      D=$SAVE_D
      ;;
  esac
done
