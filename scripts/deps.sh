#!/bin/sh
# Installs the build prerequisites that are missing (Debian/Ubuntu, apt-get),
# and the packages named as arguments, in one apt-get run. "@win32" stands
# for what scripts/test-win32.sh needs. Quiet and quick when everything is
# already there.
set -eu
# The mingw-w64 cross compiler, Wine, and locales for the ja_JP definition
# that test-win32.sh compiles.
win32="g++-mingw-w64-x86-64-posix wine wine64 wine64-preloader locales"
wanted=""
for arg in "$@"; do
  case $arg in
    @win32) wanted="$wanted $win32" ;;
    *) wanted="$wanted $arg" ;;
  esac
done
need=""
# shellcheck disable=SC2086
for pkg in $wanted cmake ninja-build g++ libgtest-dev groff man-db; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed"; then
    need="$need $pkg"
  fi
done
[ -z "$need" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing:$need"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $need >/dev/null
