#!/usr/bin/env bash
# Sets up a fresh machine and runs every test: the normal build, then the
# sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer) with the
# collector's stress mode.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)
VK_BUILD_DIR=build bash tools/build.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd build && ctest --output-on-failure -j "$jobs" --timeout 300)
if [ "${VK_SKIP_SANITIZE:-0}" != 1 ]; then
  VK_BUILD_DIR=build-asan bash tools/build.sh -DCMAKE_BUILD_TYPE=Debug -DVK_SANITIZE=ON -DVK_BUILD_BENCH=OFF
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 VK_GC_STRESS=1 ctest --output-on-failure -j "$jobs" --timeout 600)
fi
