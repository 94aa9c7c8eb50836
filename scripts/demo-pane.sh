#!/usr/bin/env bash
# Shows the view's information pane in Wine's own explorer with Explorer's
# "WebView" setting on, on a virtual screen, scripted with xdotool: the
# module's root with drive A: selected and its capacity pie, then one file of
# drive A: selected, then three items. Writes build/screenshots/demo-pane-*.png
# (or the folder given as $1). Uses run.sh's prefix and a fresh copy of the
# sample module in build/demo-pane-module.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
source "$root/scripts/demo-screen.sh"

module=$build/demo-pane-module
rm -rf "$module"
cp -r "$root/tools/sample_module" "$module"
rm -f "$out"/demo-pane-*.png

substitute='HKCU\Software\KTXSubstitute'
advanced='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced'
timeout 60 wine "$build/bin/ktx_module_server.exe" /RegServer >/dev/null 2>&1
timeout 60 wine reg add "$substitute" /v Root /t REG_SZ \
  /d "$(windows_path "$module")" /f >/dev/null 2>&1
timeout 60 wine reg add "$substitute" /v LinkSpeed /t REG_DWORD /d 0 /f >/dev/null 2>&1
timeout 60 wine reg add "$advanced" /v WebView /t REG_DWORD /d 1 /f >/dev/null 2>&1
timeout 60 wine regsvr32 /s "$(windows_path "$build/bin/KTXShellExt.dll")"

# Explorer opens items on a single click: rows are selected by resting the
# pointer on them, and more rows with Ctrl and a click.
rest_on() { x mousemove "$1" "$2"; sleep 3; }

timeout 500 wine explorer /desktop=shot,1024x768 explorer.exe "$(windows_path "$module")" \
  >/dev/null 2>&1 &
wait_for_window '^demo-pane-module$' || true
sleep 8
modules='::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}'
go_to "$modules"
sleep 3
# The module's root: drive A: is the first row (rows are 17 pixels from
# y=108; the list stands right of the pane). Then drive A: itself: four
# folders, hidden.dat, Read Me First.txt.
list_x=500
rest_on $list_x 108
shot drive
x mousemove $list_x 108 click 1
sleep 5
x mousemove $list_x 400
sleep 1
rest_on $list_x $((108 + 5 * 17))
shot one-file
# Three rows by a rubber band drawn up from the empty space below them (a
# click, even with Ctrl, would open a row).
x mousemove 450 $((108 + 9 * 17)) mousedown 1
for y in 230 200 175 $((108 + 3 * 17 + 8)); do
  sleep 0.1
  x mousemove 445 $y
done
# Away at once: a pointer resting on a row would select that row alone.
x mouseup 1 mousemove 450 400
sleep 2
shot several
timeout 60 wine reg delete "$advanced" /v WebView /f >/dev/null 2>&1 || true
timeout 60 wineserver -k || true
