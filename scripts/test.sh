#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine. The test
# programs share one prefix and one substitute server, so they run one at a time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
cd "$build"
set +e
ctest --output-on-failure --timeout 600
rc=$?
WINEPREFIX="$build/wineprefix" timeout 60 wineserver -k >/dev/null 2>&1
exit $rc
