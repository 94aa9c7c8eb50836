#!/usr/bin/env bash
# Installs what is missing, builds, and shows the module in Wine's explorer:
# the library and the substitute module-access server are registered in a
# private prefix (build/runprefix, X11 driver, separate from the tests'
# headless prefix) and serve a fresh copy of the shipped sample module;
# explorer opens with "Module" under My Computer, expanded in its tree.
# Without a display everything runs under xvfb-run and a screenshot is
# written to build/module-folder.png (or $KTX_SCREENSHOT).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}

if [ "${1:-}" != "--inside" ]; then
  bash "$root/scripts/setup.sh"
  bash "$root/scripts/build.sh"
  if [ -n "${DISPLAY:-}" ]; then
    exec bash "$0" --inside
  fi
  shot=${KTX_SCREENSHOT:-$build/module-folder.png}
  KTX_SCREENSHOT=$shot timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --inside
  echo "Screenshot: $shot"
  exit 0
fi

export WINEPREFIX=$build/runprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=en_US.UTF-8 LC_CTYPE=C.UTF-8
source "$root/scripts/wine-prefix.sh"
make_prefix

# A fresh copy of the sample module, so that whatever is done in explorer
# never changes the shipped one.
module=$build/run-module
rm -rf "$module"
cp -r "$root/tools/sample_module" "$module"

timeout 60 wine "$build/bin/ktx_module_server.exe" /RegServer >/dev/null 2>&1
timeout 60 wine reg add 'HKCU\Software\KTXSubstitute' /v Root /t REG_SZ \
  /d "$(windows_path "$module")" /f >/dev/null 2>&1
timeout 60 wine regsvr32 /s "$(windows_path "$build/bin/KTXShellExt.dll")"

if [ -z "${KTX_SCREENSHOT:-}" ]; then
  # A display: explorer stays open until the user closes it.
  timeout 3600 wine explorer.exe || true
  timeout 60 wineserver -k || true
  exit 0
fi

# Drive explorer on the virtual screen: select My Computer in the tree (the
# right pane then lists "Module"), expand it, pick "Module" by typing and
# expand it to show the module's drives, open it (the right pane shows the
# drives in the module's own view) and click drive A: there (Explorer's
# settings in a fresh prefix ask for single-click opening).
wine explorer /desktop=shot,1024x768 explorer.exe >/dev/null 2>&1 &
# A fresh prefix takes a while to bring explorer up: wait for its window.
for _ in $(seq 120); do
  xdotool search --onlyvisible --name '^Favorites$' >/dev/null 2>&1 && break
  sleep 1
done
# ...and for it to settle: the first start in a new prefix keeps it busy.
sleep 10
xdotool mousemove 92 122 click 1
sleep 2
xdotool key Right
sleep 2
xdotool type --delay 100 Module
sleep 3
xdotool key Right
sleep 8
xdotool mousemove 96 186 click 1
sleep 5
xdotool mousemove 200 107 click 1
sleep 5
import -window root "PNG24:$KTX_SCREENSHOT"
timeout 60 wineserver -k || true
