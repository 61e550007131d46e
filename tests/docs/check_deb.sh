#!/bin/sh
# Builds the Debian package from a build folder into a scratch folder,
# checks its control fields and contents, unpacks it into a scratch root and
# runs the packaged vu32 from there; then lintian must report no error.
# Usage: check_deb.sh BUILD_DIR. Exit 77 (skip) without cpack or dpkg, and
# after the other checks without lintian or dpkg-parsechangelog (dpkg-dev),
# except under CI, which must have them.
set -u
build=${1:?usage: check_deb.sh BUILD_DIR}

for tool in cpack dpkg dpkg-deb; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool not found: skipping the package check"
    exit 77
  fi
done
if [ ! -f "$build/CPackConfig.cmake" ]; then
  echo "FAIL: $build/CPackConfig.cmake missing (configure first)"
  exit 1
fi

tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT INT TERM
fail() { echo "FAIL: $*"; exit 1; }

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" \
    >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"
  fail "cpack -G DEB"
fi
set -- "$tmp"/pkg/vu32_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one vu32_*.deb, found: $*"
deb=$1

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = vu32 ] || fail "Package is '$(field Package)'"
case $(field Maintainer) in
  "VU32 developers <"*@*">") ;;
  *) fail "Maintainer is '$(field Maintainer)'" ;;
esac
[ "$(field Section)" = text ] || fail "Section is '$(field Section)'"
[ "$(field Priority)" = optional ] || fail "Priority is '$(field Priority)'"
[ -n "$(field Description)" ] || fail "no Description"
case $(field Depends) in
  *libc6*) ;;
  *) fail "Depends lacks libc6: '$(field Depends)'" ;;
esac
case $(field Depends) in
  *libstdc++6*) ;;
  *) fail "Depends lacks libstdc++6: '$(field Depends)'" ;;
esac

dpkg-deb --contents "$deb" >"$tmp/contents" || fail "dpkg-deb --contents"
for path in ./usr/bin/vu32 ./usr/share/man/man1/vu32.1.gz \
            ./usr/share/man/ja/man1/vu32.1.gz ./usr/share/doc/vu32/copyright \
            ./usr/share/doc/vu32/changelog.gz \
            ./usr/share/bash-completion/completions/vu32; do
  grep -q " $path\$" "$tmp/contents" || fail "package lacks $path"
done

dpkg -x "$deb" "$tmp/root" || fail "dpkg -x"
status=0
"$tmp/root/usr/bin/vu32" -? </dev/null >"$tmp/out" 2>"$tmp/err" || status=$?
[ "$status" -eq 1 ] || fail "vu32 -? exited with $status, expected 1"
[ ! -s "$tmp/out" ] || fail "vu32 -? wrote to standard output"
grep -q -F '[Usage] VU32 -[Cx|J|K|Tn|U[+]|L|P|D] [FILE] [NEW_FILE]' "$tmp/err" ||
  fail "vu32 -? wrote no usage text: $(cat "$tmp/err")"

missing=""
# The changelog's latest entry is the packaged version, signed by the
# package's maintainer.
if command -v dpkg-parsechangelog >/dev/null 2>&1; then
  gzip -dc "$tmp/root/usr/share/doc/vu32/changelog.gz" >"$tmp/changelog" ||
    fail "changelog.gz does not decompress"
  for name in Version Maintainer; do
    got=$(dpkg-parsechangelog -l "$tmp/changelog" -S "$name") ||
      fail "dpkg-parsechangelog cannot read the changelog"
    [ "$got" = "$(field "$name")" ] ||
      fail "changelog $name '$got', package $name '$(field "$name")'"
  done
else
  missing="$missing dpkg-parsechangelog"
fi

# Errors fail; warnings and notes are shown for the log.
if command -v lintian >/dev/null 2>&1; then
  status=0
  lintian --fail-on error --tag-display-limit 0 --display-info --pedantic "$deb" \
    >"$tmp/lintian" 2>&1 || status=$?
  grep -v -e '^running with root privileges' "$tmp/lintian"
  [ "$status" -eq 0 ] || fail "lintian exited with $status"
else
  missing="$missing lintian"
fi

echo "package $(basename "$deb") installs and its vu32 runs"
if [ -n "$missing" ]; then
  echo "not checked, not found:$missing (Debian: lintian, dpkg-dev)"
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
