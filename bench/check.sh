#!/bin/bash
# Measures vu32 --check and --info on the real-text corpus (bench/corpus.sh)
# beside iconv -f CP932 -t UTF-8 > /dev/null, the nearest peer that reads
# every byte as CP932: on the corpus as it is, and on a copy with a fault
# every few kilobytes (iconv -c there, as plain iconv stops at the first).
# Prints one markdown table.
#
# usage: bench/check.sh [SIZE_MB]
#   RUNS=5 rounds per row; VU32 the binary (build/vu32); CHECK and INFO
#   override the commands measured (default "$VU32 --check", "$VU32 --info").
#
# Each row runs vu32 and iconv one after the other, RUNS times, and
# reports the median MB/s of each and the range over the rounds, by wall
# time and by CPU time (user + system, which waiting for a shared processor
# does not inflate); "vs peer" is the median of the rounds' iconv time /
# vu32 time.
set -u
cd "$(dirname "$0")/.."
SIZE_MB=${1:-200}
VU32=${VU32:-$PWD/build/vu32}
CHECK=${CHECK:-$VU32 --check}
INFO=${INFO:-$VU32 --info}
WORK=${BENCH_DIR:-$PWD/bench/data}
RUNS=${RUNS:-5}
mkdir -p "$WORK"

dir=$(sh bench/corpus.sh "$SIZE_MB") || exit 1
CLEAN=$dir/lf.txt
FAULTY=$WORK/faulty-$SIZE_MB.txt
# The corpus with one fault every 2 to 6 KiB, between characters: a lead
# byte without its second byte, an unassigned code, an invalid byte or a
# control byte, in turn.
[ -f "$FAULTY" ] || python3 - "$CLEAN" "$FAULTY" <<'EOF'
import random, sys
data = open(sys.argv[1], "rb").read()
rng = random.Random(19)
faults = [b"\x81 ", b"\x85\x40", b"\xff", b"\x07"]
out, at, k = [], 0, 0
while at < len(data):
    end = min(len(data), at + rng.randint(2048, 6144))
    while end < len(data) and data[end] != 0x0A:  # a line end: between characters
        end += 1
    out.append(data[at:end])
    out.append(faults[k % len(faults)])
    at, k = end, k + 1
open(sys.argv[2], "wb").write(b"".join(out))
EOF

# timed CMD: "wall cpu" in seconds of CMD (user + system time of its
# processes); "fail" when it fails (exit statuses 0 and 1, faults found,
# count as success).
timed() {
  local t
  t=$( { TIMEFORMAT='%R %U %S'; time bash -c "$1 >/dev/null 2>&1; [ \$? -le 1 ]" </dev/null; } 2>&1) ||
    { echo fail; return; }
  echo "$t" | awk '{ print $1, $2 + $3 }'
}

# row NAME FILE VU32_CMD PEER_NAME PEER_CMD
row() {
  local name=$1 bytes rounds="" r v p
  bytes=$(stat -c %s "$2")
  for r in $(seq "$RUNS"); do
    v=$(timed "$3")
    p=$(timed "$5")
    if [ "$v" = fail ] || [ "$p" = fail ]; then
      echo "| $name | command failed | | | | | |"
      return
    fi
    rounds="$rounds$v $p
"
  done
  printf '%s' "$rounds" | python3 -c '
import sys
from statistics import median
name, bytes_, peer = sys.argv[1], int(sys.argv[2]), sys.argv[3]
# Each round: vu32 wall, vu32 cpu, peer wall, peer cpu.
rounds = [[float(x) for x in l.split()] for l in sys.stdin if l.strip()]
mbs = lambda t: bytes_ / 1048576 / t
v = [mbs(r[0]) for r in rounds]
x = [r[2] / r[0] for r in rounds]
rng = lambda xs, f: "%s (%s-%s)" % (f % median(xs), f % min(xs), f % max(xs))
print("| %s | %s | %.0f | %s | %.0f | %sx | %.1fx |" % (name, rng(v, "%.0f"),
      median(mbs(r[1]) for r in rounds), peer, median(mbs(r[2]) for r in rounds),
      rng(x, "%.1f"), median(r[3] / r[1] for r in rounds)))
' "$name" "$bytes" "$4"
}

cat "$CLEAN" "$FAULTY" >/dev/null  # warm the page cache
C="'$CLEAN'" F="'$FAULTY'"
echo
echo "### --check on the real text ($(stat -c %s "$CLEAN") bytes, $RUNS rounds)"
echo
echo "| input | vu32 MB/s, median (range) | vu32 MB/s, CPU time | peer | peer MB/s | vu32 vs peer (range) | vs peer, CPU time |"
echo "|---|---:|---:|---|---:|---:|---:|"
row "--check, corpus" "$CLEAN" "$CHECK $C" "iconv" "iconv -f CP932 -t UTF-8 $C"
row "--check, a fault every 4 KB" "$FAULTY" "$CHECK $F" "iconv -c" \
  "iconv -c -f CP932 -t UTF-8 $F"
row "--info, corpus" "$CLEAN" "$INFO $C" "iconv" "iconv -f CP932 -t UTF-8 $C"
