#!/bin/bash
# Converting many small files in place against writing them to new files:
# 1,000 files of 100 KB (CR LF lines of Shift-JIS-like text), -Cu.
#
#   bench/in_place.sh [FILES] [KB]
#
# Rows, each the median and the range of RUNS runs (alternating):
#   new files   one vu32 per file: vu32 -Cu F F.new
#   in place    one vu32 for all:  vu32 --quiet --in-place -Cu F...
#   no fsync    the same with fsync made a no-op (eatmydata), when installed,
#               to show what flushing every file to disk costs
# Needs a release build in build/.
set -u
cd "$(dirname "$0")/.."
FILES=${1:-1000}
KB=${2:-100}
RUNS=${RUNS:-5}
VU32=${VU32:-$PWD/build/vu32}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vu32-inplace.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
command -v eatmydata >/dev/null || sh scripts/deps.sh eatmydata >/dev/null 2>&1 || true

python3 bench/gen_data.py "$WORK/one.txt" 1 --chapters 1 >/dev/null
head -c $((KB * 1000)) "$WORK/one.txt" > "$WORK/sample.txt"
mkdir "$WORK/pristine"
for i in $(seq -w "$FILES"); do cp "$WORK/sample.txt" "$WORK/pristine/f$i.txt"; done

# Fresh copies before every run: a converted file would be left unchanged.
reset() { rm -rf "$WORK/t"; cp -r "$WORK/pristine" "$WORK/t"; sync; }
time_of() {
  local t0 t1
  t0=$(date +%s.%N)
  bash -c "$1" >/dev/null 2>&1 || echo "failed: $1" >&2
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}
declare -A times
names=("new files" "in place")
command -v eatmydata >/dev/null && names+=("no fsync")
for _ in $(seq "$RUNS"); do
  reset
  times["new files"]+="$(time_of "cd '$WORK/t' && for f in f*.txt; do '$VU32' --quiet -Cu \$f \$f.new; done") "
  reset
  times["in place"]+="$(time_of "cd '$WORK/t' && '$VU32' --quiet --in-place -Cu f*.txt") "
  if command -v eatmydata >/dev/null; then
    reset
    times["no fsync"]+="$(time_of "cd '$WORK/t' && eatmydata '$VU32' --quiet --in-place -Cu f*.txt") "
  fi
done
median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
range() { tr ' ' '\n' | grep . | sort -g | awk 'NR==1{lo=$1} {hi=$1} END {printf "%.3f-%.3f", lo, hi}'; }
base=$(echo "${times["new files"]}" | median)
echo "$FILES files of $KB KB, -Cu, median of $RUNS runs (range in brackets)"
echo
echo "| way | seconds | x new files |"
echo "|---|---:|---:|"
for n in "${names[@]}"; do
  m=$(echo "${times[$n]}" | median)
  printf '| %s | %.3f (%s) | %.2f |\n' "$n" "$m" "$(echo "${times[$n]}" | range)" "$(echo "$m / $base" | bc -l)"
done
