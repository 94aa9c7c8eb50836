#!/usr/bin/env bash
# Photographs the module's own view: the platform's explorer browser control
# on drive A: of a fresh copy of the sample module, in details mode, as
# build/screenshots/module-view.png. Runs under a virtual X server with a
# Wine prefix of its own (X11 driver); the tests' headless prefix is never
# touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
out=${1:-$build/screenshots}
prefix=$build/wineprefix-x11
mkdir -p "$out"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=en_US.UTF-8 LC_CTYPE=C.UTF-8
source "$root/scripts/wine-prefix.sh"
make_prefix

# The library and the substitute server over a copy of the sample module.
module=$build/shot-module
rm -rf "$module"
cp -r "$root/tools/sample_module" "$module"
timeout 120 xvfb-run -a bash -c '
  wine "$0" /RegServer
  wine reg add "HKCU\\Software\\KTXSubstitute" /v Root /t REG_SZ /d "$1" /f
  wine regsvr32 /s "$2"' \
  "$build/bin/ktx_module_server.exe" "$(windows_path "$module")" \
  "$(windows_path "$build/bin/KTXShellExt.dll")" >/dev/null 2>&1 || true

png=$out/module-view.png
timeout 180 xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  wine explorer /desktop=shot,800x600 "$0" "\\A:" 20 &
  sleep 15
  import -window root PNG24:"$1"
  wait' "$build/bin/module_browser.exe" "$png" || true
timeout 60 wineserver -k || true
echo "wrote $png"
