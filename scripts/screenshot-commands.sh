#!/usr/bin/env bash
# Photographs the module's menus in German and English under a virtual X
# server, into build/screenshots/commands-<lang>-*.png:
#   explorer     Wine's explorer on "Module" (the folder's icon in the tree, the drives)
#   drive-menu   the context menu of drive A: in the module's view
#   file-menu    the context menu of a file on drive A:
#   view-menu    the View menu of our own browser (tools/command_browser) with
#                the view's items merged in and a help text in the status bar
#   edit-menu    its Edit menu, made of the view's items, with a file selected
#   file-menu-merged  its File menu with the selection's commands at the top
# Wine's explorer merges no menus and has no toolbar for a view, hence the
# browser of our own for the last three. Uses the run prefix (build/runprefix).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
out=$build/screenshots
mkdir -p "$out"

if [ "${1:-}" != "--inside" ]; then
  timeout 900 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --inside
  ls "$out"/commands-*.png
  exit 0
fi

export WINEPREFIX=$build/runprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$root/scripts/wine-prefix.sh"
make_prefix
module=$build/shot-module
rm -rf "$module"
cp -r "$root/tools/sample_module" "$module"
timeout 60 wine "$build/bin/ktx_module_server.exe" /RegServer >/dev/null 2>&1
timeout 60 wine reg add 'HKCU\Software\KTXSubstitute' /v Root /t REG_SZ \
  /d "$(windows_path "$module")" /f >/dev/null 2>&1
timeout 60 wine regsvr32 /s "$(windows_path "$build/bin/KTXShellExt.dll")"
timeout 60 wineserver -k || true

shot() { import -window root "PNG24:$out/commands-$lang-$1.png"; }

for lang in en de; do
  # The library's own language setting: Wine may lack a German locale.
  if [ $lang = de ]; then code=1031; else code=1033; fi
  timeout 60 wine reg add 'HKCU\Software\Velkor\Brantlow' /v Language /t REG_DWORD /d $code /f >/dev/null 2>&1
  wine explorer /desktop=shot,1024x768 explorer.exe >/dev/null 2>&1 &
  for _ in $(seq 120); do
    xdotool search --onlyvisible --class explorer >/dev/null 2>&1 && break
    sleep 1
  done
  sleep 10
  # My Computer in the tree, "Module" typed and expanded, then opened.
  xdotool mousemove 92 122 click 1; sleep 2
  xdotool key Right; sleep 2
  xdotool type --delay 100 Module; sleep 3
  xdotool key Right; sleep 6
  xdotool key Return; sleep 5
  shot explorer
  xdotool mousemove 215 109 click 3; sleep 3
  shot drive-menu
  xdotool key Escape; sleep 1
  # Explorer's settings in a new prefix open on a single click.
  xdotool mousemove 215 109 click 1; sleep 5
  xdotool mousemove 220 194 click 3; sleep 3
  shot file-menu
  xdotool key Escape; sleep 1
  timeout 60 wineserver -k || true
  sleep 2

  wine explorer /desktop=shot,1024x768 "$build/bin/command_browser.exe" "(A:)" 90 >/dev/null 2>&1 &
  sleep 15
  xdotool mousemove 60 124 click 1; sleep 1
  xdotool mousemove 102 43 click 1; sleep 2
  xdotool mousemove 130 106; sleep 2
  shot view-menu
  xdotool key Escape Escape; sleep 1
  # A file selected from the keyboard (a click would open it in single-click mode).
  xdotool mousemove 400 300 click 1; sleep 1
  xdotool key End; sleep 1
  xdotool mousemove 64 43 click 1; sleep 2
  shot edit-menu
  xdotool key Escape Escape; sleep 1
  xdotool mousemove 400 300; xdotool key End; sleep 1
  xdotool mousemove 30 43 click 1; sleep 2
  shot file-menu-merged
  xdotool key Escape Escape; sleep 1
  timeout 60 wineserver -k || true
  sleep 2
done
timeout 60 wine reg delete 'HKCU\Software\Velkor\Brantlow' /v Language /f >/dev/null 2>&1 || true
timeout 60 wineserver -k || true
