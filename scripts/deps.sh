#!/bin/sh
# Installs the build prerequisites that are missing (Debian/Ubuntu, apt-get).
# Quiet and quick when everything is already there.
set -eu
need=""
for pkg in "$@" cmake ninja-build g++ libgtest-dev groff man-db; do
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
