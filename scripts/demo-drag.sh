#!/usr/bin/env bash
# Drags PC files into the module and renames a module file in place, in
# Wine's own explorer on a virtual screen, scripted with xdotool: two explorer
# windows, a PC folder above and drive A: of the module below; a small file
# and then a large one (over a slowed link, so the progress dialog is up for
# a while) are dragged from the one into the other; then a module file is
# renamed in place (Rename in the module's menu of the file opens the list's
# edit box; the new name is typed, Enter). Checks the
# copies byte for byte and the rename on the module (exit status 1 when any
# fails) and writes a screenshot of every step to build/screenshots/
# demo-drag-*.png (or the folder given as $1).
# Uses run.sh's prefix (build/runprefix, X11 driver) and fresh folders
# build/demo-drag-module (a copy of the sample module) and build/demo-drag-pc.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
source "$root/scripts/demo-screen.sh"

module=$build/demo-drag-module
pc=$build/demo-drag-pc
rm -rf "$module" "$pc"
cp -r "$root/tools/sample_module" "$module"
mkdir -p "$pc"
small="A small one.txt"
large="A large one.bin"
renamed="Read Me Later.txt"
head -c 20000 /dev/urandom | base64 >"$pc/$small"
head -c 1500000 /dev/urandom >"$pc/$large"
rm -f "$out"/demo-drag-*.png

substitute='HKCU\Software\KTXSubstitute'
timeout 60 wine "$build/bin/ktx_module_server.exe" /RegServer >/dev/null 2>&1
timeout 60 wine reg add "$substitute" /v Root /t REG_SZ \
  /d "$(windows_path "$module")" /f >/dev/null 2>&1
timeout 60 wine reg add "$substitute" /v LinkSpeed /t REG_DWORD /d 0 /f >/dev/null 2>&1
timeout 60 wine regsvr32 /s "$(windows_path "$build/bin/KTXShellExt.dll")"

# A user's drag with the left button, in small steps.
drag() {
  local fx=$1 fy=$2 tx=$3 ty=$4 i
  x mousemove "$fx" "$fy"
  sleep 0.5
  x mousedown 1
  sleep 0.3
  for i in 1 2 3 4 5 6 7 8 9 10; do
    x mousemove $((fx + (tx - fx) * i / 10)) $((fy + (ty - fy) * i / 10))
    sleep 0.2
  done
  sleep 0.5
  x mouseup 1
}
# Waits up to $3 s for $2 to be a byte-for-byte copy of $1.
same_within() {
  for _ in $(seq "$3"); do
    cmp -s "$1" "$2" && return 0
    sleep 1
  done
  return 1
}
status=0

# The PC folder's window, moved by its caption to the right half.
# (Each window is started by cmd's start inside the virtual desktop: a second
# "explorer /desktop=" for a desktop that exists opens nothing.)
timeout 500 wine explorer /desktop=shot,1024x768 cmd.exe /c start explorer.exe \
  "$(windows_path "$pc")" >/dev/null 2>&1 &
wait_for_window '^demo-drag-pc$'
sleep 10
# To the right half of the screen, by its caption.
x mousemove 300 12 mousedown 1
sleep 0.3
x mousemove 500 12
sleep 0.3
x mousemove 684 12
sleep 0.3
x mouseup 1
sleep 2

# The module's window: a second explorer at the top left, sent to drive A:
# of the module (Location box; explorer asks for single-click opening) and
# moved down by its caption, so that the module's list lies below the PC
# folder's.
timeout 500 wine explorer /desktop=shot,1024x768 cmd.exe /c start explorer.exe \
  "$(windows_path "$module")" >/dev/null 2>&1 &
wait_for_window '^demo-drag-module$'
sleep 8
go_to '::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}'
x mousemove 220 108 click 1
sleep 5
x mousemove 300 12 mousedown 1
sleep 0.3
x mousemove 300 150
sleep 0.3
x mousemove 300 302
sleep 0.3
x mouseup 1
sleep 2
shot windows

# 1. A small PC file dragged from the PC folder's list (its second row)
# into the module's list.
drag 600 125 300 650
if same_within "$pc/$small" "$module/A/$small" 60; then
  echo "Drag to the module: $small arrived in drive A: byte for byte"
else
  echo "Drag to the module: $small did not arrive whole in drive A:" >&2
  status=1
fi
sleep 3
shot small-arrived

# 2. A large one over a slow link: the progress dialog is up while it goes.
timeout 60 wine reg add "$substitute" /v LinkSpeed /t REG_DWORD /d 100000 /f >/dev/null 2>&1
drag 600 108 300 650
sleep 5
shot large-progress
if same_within "$pc/$large" "$module/A/$large" 90; then
  echo "Drag to the module: $large arrived in drive A: byte for byte"
else
  echo "Drag to the module: $large did not arrive whole in drive A:" >&2
  status=1
fi
timeout 60 wine reg add "$substitute" /v LinkSpeed /t REG_DWORD /d 0 /f >/dev/null 2>&1
sleep 3
shot large-arrived

# 3. Rename in place: Read Me First.txt is the eighth row (four folders, the
# two dropped files, hidden.dat). A right click selects it without opening it
# (in Wine's single-click mode a left click opens); the menu shows Rename,
# and F2 in the list, once the menu is gone, opens the list's edit box on the row.
row_y=$((290 + 108 + 7 * 17))
x mousemove 220 $row_y click 3
sleep 2
shot rename-menu
x key Escape
sleep 1
x key F2
sleep 2
x key ctrl+a
x type --delay 30 "$renamed"
sleep 0.5
shot rename-typing
x key Return
sleep 3
shot renamed
if [ -f "$module/A/$renamed" ] && [ ! -e "$module/A/Read Me First.txt" ]; then
  echo "Rename in place: Read Me First.txt is now $renamed on the module"
else
  echo "Rename in place: Read Me First.txt was not renamed on the module" >&2
  status=1
fi

timeout 60 wineserver -k || true
exit $status
