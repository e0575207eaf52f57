// The layers library: the layers of each background picture, their lookup
// by name, the caches of objects kept alive only for layers, and the
// library's opener and shutdown step.
#pragma once

#include <cstdint>

struct vkState;

// Registers the "layers" commands and makes the batch rectangle list; 0 or
// an error code.
int OpenLayersLibrary(vkState* L);

// The 1-based position of the first layer of the current output target whose
// name equals [name] without regard to case; 0 when there is none.
int32_t FindLayerIndexByName(const char* name);

// Kinds of objects that FlushLayerCaches frees once no layer shows them.
inline constexpr uint32_t kFlushBrushes = 1;
inline constexpr uint32_t kFlushAnims = 2;
inline constexpr uint32_t kFlushTextObjects = 4;
inline constexpr uint32_t kFlushBGPics = 8;

// Frees the orphaned objects of the kinds in [kinds] that no layer shows any
// more, then the deleted clip regions no layer uses.
void FlushLayerCaches(uint32_t kinds);

// Frees the queued moves, the style work buffers and the batch rectangle
// list; returns 0.
int CloseLayersLibrary();
