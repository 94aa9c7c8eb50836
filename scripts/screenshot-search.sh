#!/usr/bin/env bash
# Photographs the search window in German and in English: before a search,
# during one (a content search over a slow simulated link) and with its
# results, as build/screenshots/search-<lang>-{before,during,results}.png.
# The window is opened by KTXSearchApp.exe on a saved search, as a
# double-clicked .ssc file opens it, and Start is pressed with the Enter key.
# Runs under a virtual X server with a Wine prefix of its own (X11 driver);
# the tests' headless prefix is never touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
out=${1:-$build/screenshots}
prefix=$build/wineprefix-x11
mkdir -p "$out"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
source "$root/scripts/wine-prefix.sh"
make_prefix

# The library and the substitute server over a copy of the sample module,
# its streams slowed down so that a content search can be caught running.
module=$build/shot-module
rm -rf "$module"
cp -r "$root/tools/sample_module" "$module"
timeout 120 xvfb-run -a bash -c '
  wine "$0" /RegServer
  wine reg add "HKCU\\Software\\KTXSubstitute" /v Root /t REG_SZ /d "$1" /f
  wine reg add "HKCU\\Software\\KTXSubstitute" /v LinkSpeed /t REG_DWORD /d 120 /f
  wine regsvr32 /s "$2"' \
  "$build/bin/ktx_module_server.exe" "$(windows_path "$module")" \
  "$(windows_path "$build/bin/KTXShellExt.dll")" >/dev/null 2>&1 || true

# The saved search: text files containing "e".
ssc=$build/shot-search.ssc
{ printf '\xff\xfe'; printf 'QEL_SEARCH_CONFIG_VERSION=1-0\r\nNAME=*.txt\r\nTEXT=e\r\nPATH=\\\r\n' |
  iconv -f UTF-8 -t UTF-16LE; } > "$ssc"

for lang in de en; do
  case $lang in de) id=1031 ;; en) id=1033 ;; esac
  timeout 60 xvfb-run -a wine reg add 'HKCU\Software\Velkor\Brantlow' /v Language /t REG_DWORD /d $id /f \
    >/dev/null 2>&1 || true
  timeout 240 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    wine explorer /desktop=shot,1024x768 "$0" "$1" &
    sleep 12
    import -window root PNG24:"$2-before.png"
    xdotool key Return
    sleep 4
    import -window root PNG24:"$2-during.png"
    sleep 25
    import -window root PNG24:"$2-results.png"
    wine "$3" >/dev/null 2>&1 || true
    wineserver -k || true
    wait' "$build/bin/KTXSearchApp.exe" "$(windows_path "$ssc")" "$out/search-$lang" \
    "$build/bin/ktx_module_server.exe" || true
  timeout 60 wineserver -k || true
  echo "wrote $out/search-$lang-{before,during,results}.png"
done
timeout 60 xvfb-run -a wine reg delete 'HKCU\Software\Velkor\Brantlow' /v Language /f >/dev/null 2>&1 || true
timeout 60 wineserver -k || true
