#!/usr/bin/env bash
# Configures and builds everything into build/ (or $KTX_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KTX_BUILD_DIR:-$root/build}
if true; then
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=${KTX_BUILD_TYPE:-Release}
fi
cmake --build "$build" -j"$(nproc)"
