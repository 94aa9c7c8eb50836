#!/usr/bin/env bash
# Photographs the property sheets in German and English: the drive page with
# its pie at 0 %, 50 % and 97 % used, the general page of several items, the
# module page and the port page, as build/screenshots/properties-<lang>-*.png.
# Runs under a virtual X server with a Wine prefix of its own (X11 driver);
# the tests' headless prefix is never touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
out=${1:-$build/screenshots}
prefix=$build/wineprefix-properties
mkdir -p "$out"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$root/scripts/wine-prefix.sh"
make_prefix

# The substitute servers over a copy of the sample module.
module=$build/properties-module
rm -rf "$module"
cp -r "$root/tools/sample_module" "$module"
timeout 120 xvfb-run -a bash -c '
  wine "$0" /RegServer
  wine "$1" /RegServer
  wine reg add "HKCU\\Software\\KTXSubstitute" /v Root /t REG_SZ /d "$2" /f
  wine reg add "HKCU\\Software\\Velkor\\Brantlow" /v Port /t REG_SZ /d COM2 /f
  wineserver -w' \
  "$build/bin/ktx_module_server.exe" "$build/bin/ktx_device_info_server.exe" \
  "$(windows_path "$module")" >/dev/null 2>&1 || true

preview=$build/bin/property_preview.exe
capacity=4194304
shots=(
  "drive-0-used|drive $capacity $capacity"
  "drive-50-used|drive $capacity $((capacity / 2))"
  "drive-97-used|drive $capacity $((capacity * 3 / 100))"
  "several-items|items \\A:\\Data\\Notes.txt \\A:\\Read?Me?First.txt \\A:\\Data\\Archive"
  "module|module"
  "port|port"
)

for lang in de en; do
  if [ "$lang" = de ]; then id=1031; locale=de_DE.UTF-8; else id=1033; locale=en_US.UTF-8; fi
  for shot in "${shots[@]}"; do
    name=${shot%%|*}
    args=${shot#*|}
    png=$out/properties-$lang-$name.png
    # "?" stands for a blank inside one argument.
    LANG=$locale LC_ALL=$locale timeout 120 xvfb-run -a -s "-screen 0 520x520x24" bash -c '
      wine reg add "HKCU\\Software\\Velkor\\Brantlow" /v Language /t REG_DWORD /d "$0" /f >/dev/null
      set -f
      args=()
      for a in $2; do args+=("${a//\?/ }"); done
      wine explorer /desktop=shot,520x520 "$1" "${args[@]}" &
      sleep 12
      import -window root PNG24:"$3"
      wineserver -k
      wait' "$id" "$preview" "$args" "$png" >/dev/null 2>&1 || true
    timeout 60 wineserver -w || true
    echo "wrote $png"
  done
done
