#!/usr/bin/env bash
# Opens a saved search by double-clicking it in Wine's own explorer, on a
# virtual screen, scripted with xdotool: the .ssc file type's open command
# starts KTXSearchApp.exe beside the library, which opens the search window
# with the file's criteria; Start then runs that search on the module.
# Exits with 1 when no search window with the file's criteria appears.
# Screenshots go to build/screenshots/demo-ssc-*.png (or the folder given as
# $1). Uses run.sh's prefix (build/runprefix, X11 driver) and fresh folders
# build/demo-ssc-module (a copy of the sample module) and build/demo-ssc.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
source "$root/scripts/demo-screen.sh"

module=$build/demo-ssc-module
pc=$build/demo-ssc
rm -rf "$module" "$pc"
cp -r "$root/tools/sample_module" "$module"
mkdir -p "$pc"
rm -f "$out"/demo-ssc-*.png

timeout 60 wine "$build/bin/ktx_module_server.exe" /RegServer >/dev/null 2>&1
timeout 60 wine reg add 'HKCU\Software\KTXSubstitute' /v Root /t REG_SZ \
  /d "$(windows_path "$module")" /f >/dev/null 2>&1
timeout 60 wine regsvr32 /s "$(windows_path "$build/bin/KTXShellExt.dll")"
# What registration made of the file type, as explorer will read it.
command=$(timeout 60 wine reg query 'HKCR\Velkor.SearchConfig\shell\open\command' /ve 2>/dev/null |
  tr -d '\r' | sed -n 's/.*REG_SZ *//p')
echo "Open command of .ssc files: $command"

# The saved search, with blanks in its name: files named like "notes" in
# \A:\Data and below.
saved="Notes on the module.ssc"
{ printf '\xff\xfe'
  printf 'QEL_SEARCH_CONFIG_VERSION=1-0\r\nNAME=notes\r\nTEXT=\r\nPATH=\\A:\\Data\r\nINCLUDE_SUBFOLDERS=TRUE\r\n' |
    iconv -f UTF-8 -t UTF-16LE; } >"$pc/$saved"


# Explorer opens in the folder of the saved search; the window sits at the
# desktop's top left, its right pane listing from y=108.
timeout 500 wine explorer /desktop=shot,1024x768 explorer.exe "$(windows_path "$pc")" \
  >/dev/null 2>&1 &
wait_for_window '^demo-ssc$' || true
sleep 10
shot folder

# A double-click on the saved search.
x mousemove 220 108 click --repeat 2 --delay 80 1
window=""
for _ in $(seq 60); do
  window=$(x search --onlyvisible --name '^Searching for:' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 1
done
status=0
if [ -z "$window" ]; then
  echo "No search window appeared after the double-click" >&2
  shot no-window
  timeout 60 wineserver -k || true
  exit 1
fi
sleep 3
title=$(x getwindowname "$window")
echo "Search window: $title"
case $title in
  *notes*) ;;
  *) echo "The window does not show the saved criteria" >&2; status=1 ;;
esac
shot search-window

# Start (the window's default button) runs the saved search.
x windowactivate --sync "$window" >/dev/null 2>&1 || true
x key Return
sleep 10
shot results

timeout 60 wineserver -k || true
exit $status
