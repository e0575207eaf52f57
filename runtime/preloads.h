// Preloads: the objects an applet declares are made before its main chunk
// runs by calling the script's own commands by name (LoadBrush, OpenFont,
// CreateDisplay, ...) with the arguments and option tables a script would
// pass, so every object kind has one loading path.
#pragma once

#include <cstdint>

#include "runtime/context.h"

struct vkState;

// The file mode a preloaded file is opened with.
inline constexpr int32_t kPreloadFileMode = 1005;

// Marks preloaded brushes, sprites and anims that share a file: the first is
// cached, the later ones are cached loads.
void MarkDuplicatePreloads(vkApplet& applet);

// Runs every preload of [applet] in list order, displays last, each under a
// protected call. Returns 0 or the first error code; the list is emptied on
// success (the shutdown frees it otherwise).
uint32_t RunPreloads(vkState* L, vkProgramContext& context, vkApplet& applet);
