#!/usr/bin/env bash
# Sets up a fresh machine, builds the player and plays the demo applet.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
VK_BUILD_DIR=build VK_TARGETS="vellumark example_demo" bash tools/build.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo
SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-dummy}" ./build/vellumark build/examples/demo.vka -DEBUGDEVICE stdout "$@"
