// The graphics library: the "graphics" commands that concern no single
// picture kind (colour arithmetic, pointers, frame pacing, snapshots,
// picture probing, with the clip-region, asynchronous-drawing and attribute
// commands beside them), the constants the whole graphics side shares, the
// named image cache of the preloads, the object statistics, the attribute
// handlers of the settings the blitter reads (mask mode, alpha intensity),
// the library opener and the shutdown steps.
#pragma once

#include <cstdint>
#include <string>

#include "pixel/allocate.h"
#include "pixel/bitmap.h"

struct vkState;
struct vkPlane;
struct vkGraphicsState;

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
// current and registers the "graphics" commands and constants; 0 or an
// error code.
int OpenGraphicsLibrary(vkState* L);

// Shutdown steps: the image cache, the asynchronous drawing objects left
// (the displays free theirs first), the clip regions, the pointer images,
// the blitter's scratch and the fallback display; the scaler's work tables.
int FreeGraphicsObjects(vkState* L);
// Empties the named image cache (the preloads ended or failed; shutdown).
void FreeImageCache(vkState* L);
void FreeDrawBuffers(vkState* L);

// ---- Colours -----------------------------------------------------------------

// [colour] as a display of [depth] bits shows it: at 15 each channel keeps
// its top 5 bits, at 16 green keeps 6; other depths change nothing.
uint32_t RealColor(uint32_t colour, int32_t depth);
// Mixes the channels of [c1] towards [c2] by [ratio] 0..255; false for a
// ratio outside that range.
bool MixColors(uint32_t c1, uint32_t c2, int32_t ratio, uint32_t* out);
// The entry [index] (0..245) of the random colour table as 0xRRGGBB.
uint32_t RandomTableColor(int32_t index);

// ---- The named image cache ---------------------------------------------------

// Copies of the picture cached under [name] (any case): 0, or 1246 when the
// name is absent or [wantAlpha] asks for an alpha plane none was cached
// with, 1000. [alpha] receives the plane or null.
int32_t FindCachedImage(vkGraphicsState& gs, const std::string& name, bool wantAlpha, int32_t* width,
                        int32_t* height, vkBufferPtr<uint32_t>* pixels, vkPlanePtr* alpha);
// Stores copies of width x height [pixels] and of [alpha] (may be null)
// under [name], unless the name is there already. A picture over the budget
// (the graphics state's imageCacheBudget: pixels and alpha planes together)
// is declined: its name is remembered, so that IsImageDeclined tells a
// loader to read the file itself. 0 or 1000.
int32_t AddCachedImage(vkGraphicsState& gs, const std::string& name, int32_t width, int32_t height,
                       const uint32_t* pixels, const vkPlane* alpha);
// Whether [name] was offered to the cache and declined for its size.
bool IsImageDeclined(vkGraphicsState& gs, const std::string& name);

// ---- Statistics --------------------------------------------------------------

// The object statistics text: one line per kind of script object.
std::string DumpObjectCounts(vkState* L);
