#!/bin/sh
# Fails when a C++ source differs from what clang-format makes of it
# (.clang-format: Google style). Run `sh scripts/check-format.sh --fix` to
# rewrite the files in place.
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cc' '*.h' 2>/dev/null ||
  find src tests fuzz -name '*.cc' -o -name '*.h')
if [ "${1:-}" = "--fix" ]; then
  # shellcheck disable=SC2086
  clang-format -i $files
  exit 0
fi
# shellcheck disable=SC2086
if ! clang-format --dry-run --Werror $files; then
  echo "clang-format: the files above are not formatted (sh scripts/check-format.sh --fix)" >&2
  exit 1
fi
