#!/bin/sh
# Loads the bash completion the way bash-completion does (by the command's
# name, from a completions folder) and checks what it offers for a table of
# command lines. Usage: check_completion.sh SOURCE_DIR. Exit 77 (skip)
# without bash or bash-completion.
set -u
src=${1:?usage: check_completion.sh SOURCE_DIR}
loader=/usr/share/bash-completion/bash_completion

if ! command -v bash >/dev/null 2>&1 || [ ! -f "$loader" ]; then
  echo "bash or bash-completion not found: skipping the completion check"
  exit 77
fi

tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT INT TERM
mkdir "$tmp/completions"
cp "$src/packaging/bash-completion/vu32" "$tmp/completions/vu32" || exit 1

# Each row: the words before the cursor, the word being completed (after
# the last |), then the offers in order; "files" where file names are left
# to readline (nothing offered).
cat >"$tmp/cases" <<'EOF'
vu32|--|--help --version --quiet --in-place --keep-time --force --check --info --json --max-errors
vu32|--k|--keep-time
vu32|-C|-Cd -Cu -Cm
vu32|-T|-T0 -T1 -T2 -T3 -T4 -T5 -T6 -T7 -T8
vu32|-U|-U -U+
vu32 --quiet|--|--help --version --in-place --keep-time --force --check --info --json --max-errors
vu32 --in-place|-C|-Cd -Cu -Cm
vu32 -Cu --in-place a.txt|--|--help --version --quiet --keep-time --force --check --info --json --max-errors
vu32 -Cu|-|--help --version --quiet --in-place --keep-time --force --check --info --json --max-errors
vu32 --check|-|--help --version --quiet --in-place --keep-time --force --info --json --max-errors
vu32 --check --max-errors|-|files
vu32 -M a b|-o|-o -o+
vu32 -S10L|--#|files
vu32 -Cu --|-|files
vu32 -Cu --|--|files
vu32 --help|-|files
vu32 -Cu|a|files
vu32|x|files
EOF

LOADER=$loader BASH_COMPLETION_USER_DIR=$tmp XDG_DATA_DIRS=/nonexistent \
  bash --norc --noprofile -c '
  . "$LOADER" || exit 2
  __load_completion vu32 || { echo "FAIL: bash-completion did not load vu32"; exit 1; }
  complete -p vu32 | grep -q -- "-o default" ||
    { echo "FAIL: vu32 is not completed with -o default: $(complete -p vu32)"; exit 1; }
  fail=0
  while IFS="|" read -r before cur want; do
    read -r -a COMP_WORDS <<<"$before"
    COMP_CWORD=${#COMP_WORDS[@]}
    COMP_WORDS+=("$cur")
    _vu32
    got="${COMPREPLY[*]}"
    [ -n "$got" ] || got=files
    if [ "$got" != "$want" ]; then
      echo "FAIL: \"$before $cur<TAB>\" offers \"$got\", expected \"$want\""
      fail=1
    fi
  done <"$0"
  exit $fail
' "$tmp/cases" || exit 1
echo "the bash completion loads and offers the switches and long options"
