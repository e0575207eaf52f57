#!/usr/bin/env bash
# Configures and builds the player into build/ (or $VK_BUILD_DIR), with any
# extra CMake arguments given.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${VK_BUILD_DIR:-build}
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir"
