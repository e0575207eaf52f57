// Clip regions: scripts create them as boxes or shaped by a brush's mask,
// make one the active region of the output target, and free them. A region
// that a layer still draws through is only marked deleted when freed and is
// purged once no layer uses it; every record that holds a region forgets it
// before it goes.
#pragma once

#include <cstdint>

#include "engine/argcheck.h"
#include "graphics/graphicsstate.h"

// Capacity the clipped blit's scratch is given when a shaped region is made.
inline constexpr size_t kClipScratchStart = 240000;

// Makes a region at (x, y) of width x height (shaped by a copy of [shape],
// a mask of that size, when given), replacing a numbered region of the same
// number. Parts left of or above the target are cut off. Returns 0, 1055 for
// a size below 1 or a region wholly left of or above the target, or 1000;
// *[out] receives the new region.
int32_t CreateClipRegion(vkGraphicsState& gs, vkIdRequest id, int32_t x, int32_t y, int32_t width, int32_t height,
                         const vkPlane* shape, vkClipRegion** out);

// The region with [id] that is not deleted, or null.
vkClipRegion* FindClipRegion(vkGraphicsState& gs, vkObjectId id);

// Makes the region the active region of the current output target, or
// clears it for the number 0 or -1 without a handle, and moves the current
// display's text cursor and margins. 0, 1055 while drawing into a mask or an
// alpha channel, 1041 / 1215 when not found, 1225 when it does not fit.
int32_t SetClipRegion(vkGraphicsState& gs, vkObjectId id);

// Frees the region (marks it deleted while a layer uses it). Not found: 1041
// or 1215 with [report], else 0.
int32_t DeleteClipRegion(vkGraphicsState& gs, vkObjectId id, bool report);

// Frees the deleted regions that no layer uses any more.
void PurgeClipRegions(vkGraphicsState& gs);

// Frees every region (shutdown), after every holder forgot it.
void FreeAllClipRegions(vkGraphicsState& gs);

// Registers CreateClipRegion, SetClipRegion and FreeClipRegion.
void RegisterClipRegionCommands(vkState* L);
// Their rows, for the graphics library's own table.
const struct vkCommandDef* ClipRegionCommandTable();
