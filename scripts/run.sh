#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
"$build/wine-run.sh" "$build/bin/ktx_demo.exe"
