#!/usr/bin/env bash
# Copies a file both ways between a PC folder and the module in Wine's own
# explorer, on a virtual screen, scripted with xdotool: Copy on a PC file and
# Paste in drive A: of the module, then Copy on a module file and Wine's own
# Paste in the PC folder. Checks both copies byte for byte (exit status 1
# when either differs) and writes a screenshot of every step to
# build/screenshots/demo-copy-*.png (or the folder given as $1).
# Uses run.sh's prefix (build/runprefix, X11 driver) and fresh folders
# build/demo-module (a copy of the sample module) and build/demo-pc.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
source "$root/scripts/demo-screen.sh"

module=$build/demo-module
pc=$build/demo-pc
rm -rf "$module" "$pc"
cp -r "$root/tools/sample_module" "$module"
mkdir -p "$pc"
inward="From the PC.bin"        # made here, pasted into drive A:
outward="Read Me First.txt"     # in drive A: of the sample module
head -c 30000 /dev/urandom >"$pc/$inward"
rm -f "$out"/demo-copy-*.png

timeout 60 wine "$build/bin/ktx_module_server.exe" /RegServer >/dev/null 2>&1
timeout 60 wine reg add 'HKCU\Software\KTXSubstitute' /v Root /t REG_SZ \
  /d "$(windows_path "$module")" /f >/dev/null 2>&1
timeout 60 wine regsvr32 /s "$(windows_path "$build/bin/KTXShellExt.dll")"

# Waits up to 60 s for $2 to be a byte-for-byte copy of $1.
same_within() {
  for _ in $(seq 60); do
    cmp -s "$1" "$2" && return 0
    sleep 1
  done
  return 1
}
status=0

# Explorer opens in the PC folder; the window sits at the desktop's top left,
# its right pane listing from y=108 (rows 17 pixels apart).
timeout 500 wine explorer /desktop=shot,1024x768 explorer.exe "$(windows_path "$pc")" \
  >/dev/null 2>&1 &
wait_for_window '^demo-pc$' || true
sleep 10

# 1. PC to module: Wine's own item menu on the PC file, Copy.
x mousemove 220 108 click 1
sleep 1
x click 3
sleep 2
shot pc-file-menu
x mousemove 254 179 click 1      # "Copy"
sleep 1
# Drive A: of the module (explorer asks for single-click opening).
go_to '::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}'
x mousemove 220 108 click 1
sleep 5
# The module view's own background menu, Paste.
x mousemove 400 350 click 3
sleep 2
shot module-background-menu
x key p                           # "&Paste"
if same_within "$pc/$inward" "$module/A/$inward"; then
  echo "PC to module: $inward arrived in drive A: byte for byte"
else
  echo "PC to module: $inward did not arrive whole in drive A:" >&2
  status=1
fi
sleep 2
shot module-after-paste

# 2. Module to PC: the module's item menu on a module file (fourth row
# after the four folders, the pasted file and hidden.dat), Copy.
x mousemove 220 211 click 3
sleep 2
shot module-file-menu
x key c                           # "&Copy"
sleep 2
# The PC folder's own background menu (Wine's), Paste.
go_to "$(windows_path "$pc")"
x mousemove 400 350 click 3
sleep 2
shot pc-background-menu
x mousemove 435 412 click 1       # "Paste"
if same_within "$module/A/$outward" "$pc/$outward"; then
  echo "Module to PC: $outward arrived in the PC folder byte for byte"
else
  echo "Module to PC: $outward did not arrive whole in the PC folder" >&2
  status=1
fi
# Wine's list adds the new file before its copy is done; Refresh shows it
# as it is.
x mousemove 400 350 click 3
sleep 1
x mousemove 435 386 click 1       # "Refresh"
sleep 3
shot pc-after-paste

timeout 60 wineserver -k || true
exit $status
