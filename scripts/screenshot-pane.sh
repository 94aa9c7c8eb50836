#!/usr/bin/env bash
# Photographs the view's information pane (Explorer's "WebView" setting on)
# in English and German, into build/screenshots/pane-<lang>-<shot>.png:
#   file      drive A:'s Data folder with one file selected
#   several   the same folder with two files and a folder selected
#   drive     the Module folder with drive A: selected: figures and pie
# Runs tools/module_browser (the platform's explorer browser control on the
# module) under a virtual X server with the X11 prefix of the screenshots;
# the tests' headless prefix is never touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
out=$build/screenshots
mkdir -p "$out"

if [ "${1:-}" != "--inside" ]; then
  timeout 900 xvfb-run -a -s "-screen 0 800x600x24" bash "$0" --inside
  ls "$out"/pane-*.png
  exit 0
fi

export WINEPREFIX=$build/wineprefix-x11 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=en_US.UTF-8 LC_CTYPE=C.UTF-8
source "$root/scripts/wine-prefix.sh"
make_prefix

# The library and the substitute servers over a copy of the sample module;
# the module says it is a ZR71.
module=$build/shot-module
rm -rf "$module"
cp -r "$root/tools/sample_module" "$module"
substitute='HKCU\Software\KTXSubstitute'
timeout 60 wine "$build/bin/ktx_module_server.exe" /RegServer >/dev/null 2>&1
timeout 60 wine "$build/bin/ktx_device_info_server.exe" /RegServer >/dev/null 2>&1
timeout 60 wine reg add "$substitute" /v Root /t REG_SZ /d "$(windows_path "$module")" /f >/dev/null 2>&1
timeout 60 wine reg add "$substitute" /v Model /t REG_SZ /d ZR71 /f >/dev/null 2>&1
timeout 60 wine regsvr32 /s "$(windows_path "$build/bin/KTXShellExt.dll")"
timeout 60 wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced' \
  /v WebView /t REG_DWORD /d 1 /f >/dev/null 2>&1

browser=$build/bin/module_browser.exe
shot() {   # name, folder, items to select...
  local name=$1; shift
  wine explorer /desktop=shot,800x600 "$browser" "$1" 20 "${@:2}" >/dev/null 2>&1 &
  sleep 15
  import -window root "PNG24:$out/pane-$lang-$name.png"
  wait || true
}

for lang in en de; do
  # The library's own language setting: Wine may lack a German locale.
  if [ $lang = de ]; then code=1031; else code=1033; fi
  timeout 60 wine reg add 'HKCU\Software\Velkor\Brantlow' /v Language /t REG_DWORD /d $code /f >/dev/null 2>&1
  shot file '\A:\Data' '\A:\Data\Photo.jpg'
  shot several '\A:\Data' '\A:\Data\Archive' '\A:\Data\Notes.txt' '\A:\Data\Photo.jpg'
  shot drive '' '\A:'
done
timeout 60 wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced' \
  /v WebView /f >/dev/null 2>&1 || true
timeout 60 wineserver -k || true
