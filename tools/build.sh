#!/usr/bin/env bash
# Configures and builds the player into build/ (or $VK_BUILD_DIR), with any
# extra CMake arguments given; $VK_TARGETS, when set, names the only targets
# to build.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${VK_BUILD_DIR:-build}
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
if [ -n "${VK_TARGETS:-}" ]; then
  # shellcheck disable=SC2086
  cmake --build "$dir" --target $VK_TARGETS
else
  cmake --build "$dir"
fi
