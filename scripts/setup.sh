#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian 12 machine.
set -euo pipefail
need=()
for pkg in cmake ninja-build g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev wine wine64 \
           googletest xvfb imagemagick xdotool; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${need[@]}"
fi
