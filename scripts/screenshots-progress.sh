#!/usr/bin/env bash
# Photographs the file operations' dialogs (the delete progress half-way and
# the format dialog; on request the read-only question) in German and
# English, as PNGs in build/screenshots.
# Runs under a virtual X server with a Wine prefix of its own that uses the
# X11 driver; the tests' headless prefix is never touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
out=${1:-$build/screenshots}
prefix=$build/wineprefix-x11
mkdir -p "$out"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$root/scripts/wine-prefix.sh"
make_prefix

# shoot <png> <language id> <what> [arguments]: runs the preview on a virtual
# desktop, waits until it has drawn, photographs the screen.
shoot() {
  local png=$1 lang=$2; shift 2
  local locale=en_US.UTF-8
  [ "$lang" = 1031 ] && locale=de_DE.UTF-8
  LANG=$locale timeout 120 xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    wine explorer /desktop=shot,800x600 "$0" "$@" &
    sleep 10
    import -window root PNG24:"'"$png"'"
    wait' "$build/bin/transfer_preview.exe" "$lang" "$@" 16 || true
  timeout 60 wineserver -k || true
  echo "wrote $png"
}

# KTX_SHOTS picks some of them, e.g. "format-de progress-en confirm-de".
for shot in ${KTX_SHOTS:-progress-de progress-en format-de format-en}; do
  what=${shot%-*}; lang=1033
  [ "${shot#*-}" = de ] && lang=1031
  name=$what; [ "$what" = progress ] && name=progress-delete
  shoot "$out/$name-${shot#*-}.png" "$lang" "$what"
done
