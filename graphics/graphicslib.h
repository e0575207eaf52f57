// The graphics library: the attribute handlers of the settings the blitter
// reads (mask mode, alpha intensity), the library opener
// and the shutdown steps that free the graphics objects and work buffers.
#pragma once

#include <cstdint>

struct vkState;

// Attribute tags the graphics library answers.
inline constexpr uint32_t ATTR_MASKMODE = 5;
inline constexpr uint32_t ATTR_ALPHAINTENSITY = 7;

// Settings listener: stores the mask mode or the alpha intensity (no range
// check). Returns 1 for those two tags, else 0.
int SetGraphicsAttr(vkState* L, void* object, uint32_t tag, intptr_t value);

// Attribute provider: writes the mask mode or the alpha intensity into
// [*result] and returns 1; other tags return 0 and leave [*result] alone.
int GetGraphicsAttr(vkState* L, void* object, uint32_t tag, int32_t* result);

// Makes the fallback display that pixel-only blits use while no display is
// current and registers the "graphics" commands; 0 or an error code.
int OpenGraphicsLibrary(vkState* L);

// Shutdown steps: the image cache, the asynchronous drawing objects left
// (the displays free theirs first), the clip regions, the blitter's scratch
// and the fallback display; the scaler's work tables.
int FreeGraphicsObjects(vkState* L);
// Frees every entry of the named image cache (preloads that shared a file).
void FreeImageCache(vkState* L);
void FreeDrawBuffers(vkState* L);
