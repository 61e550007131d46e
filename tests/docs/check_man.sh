#!/bin/sh
# Renders both manual pages the way man(1) does and fails on any groff
# warning, on a failed `man -l`, or on a switch that a page forgets.
# Usage: check_man.sh SOURCE_DIR. Exit 77 (skip) when groff or man is
# missing, except under CI, which must have them.
set -u
src=${1:?usage: check_man.sh SOURCE_DIR}
pages="$src/man/vu32.1 $src/man/ja/vu32.1"

for tool in groff preconv man; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool not found (Debian: groff, man-db)"
    [ -n "${CI:-}" ] && exit 1
    exit 77
  fi
done

tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT INT TERM
fail=0

for page in $pages; do
  # -k: the pages are UTF-8 (preconv, as man-db runs it); -t: tables.
  if ! groff -k -t -man -Tutf8 -ww "$page" >"$tmp/out" 2>"$tmp/err"; then
    echo "FAIL: groff exited with an error on $page"
    fail=1
  fi
  if [ -s "$tmp/err" ]; then
    echo "FAIL: groff warnings on $page:"
    cat "$tmp/err"
    fail=1
  fi
  # Every switch of the usage text has its place on each page.
  sed 's/.\x08//g' "$tmp/out" >"$tmp/plain"
  for sw in -Cd -Cu -Cm -J -K -T0 -Tn -U -U+ -L -P -D -M -Sn1 '-#PATTERN' \
            '--#PATTERN' '-?' -H -o; do
    if ! grep -q -F -e "$sw" "$tmp/plain"; then
      echo "FAIL: $page does not mention $sw"
      fail=1
    fi
  done

  # man -l finds the preprocessors and the encoding by itself.
  if ! LC_ALL=C.UTF-8 MANPAGER=cat MANWIDTH=80 man --warnings -l "$page" \
      >"$tmp/man" 2>"$tmp/manerr"; then
    echo "FAIL: man -l $page exited with an error:"
    cat "$tmp/manerr"
    fail=1
  elif [ -s "$tmp/manerr" ]; then
    echo "FAIL: man -l $page wrote warnings:"
    cat "$tmp/manerr"
    fail=1
  elif ! grep -q "VU32(1)" "$tmp/man"; then
    echo "FAIL: man -l $page rendered no page header"
    fail=1
  fi
done

for heading in 'EXIT STATUS' 'DIFFERENCES FROM THE CLASSIC WIN32 VERSION' \
               'SHIFT-JIS RULES' PATTERNS MESSAGES; do
  groff -k -t -man -Tutf8 "$src/man/vu32.1" 2>/dev/null | sed 's/.\x08//g' |
    grep -q "^$heading" || { echo "FAIL: no section $heading"; fail=1; }
done
for heading in 終了ステータス 旧Win32版との違い シフトJISの規則 パターン メッセージ; do
  groff -k -t -man -Tutf8 "$src/man/ja/vu32.1" 2>/dev/null |
    sed 's/.\x08//g' | grep -q "^$heading" ||
    { echo "FAIL: ja: no section $heading"; fail=1; }
done

[ "$fail" -eq 0 ] && echo "both manual pages render cleanly"
exit "$fail"
