#!/usr/bin/env bash
# Sets up a fresh machine and runs every test: the normal build, then the
# sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer) with the
# collector's stress mode, then the threaded tests (the audio mixer, its
# decoder and the sound library) under ThreadSanitizer.
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
if [ "${VK_SKIP_TSAN:-0}" != 1 ]; then
  VK_BUILD_DIR=build-tsan VK_TARGETS="sound_tests platform_tests vellumark sound_test_playsounds" \
    bash tools/build.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVK_TSAN=ON -DVK_BUILD_BENCH=OFF
  (cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j "$jobs" --timeout 600 \
    -R '^(Sound|Mixer|Replayer|PlaySounds)')
fi
