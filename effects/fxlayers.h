// The engine's dealings with layers: showing, hiding and removing a layer
// through an effect, the real-time layer mode in which an effect draws into
// the layer's own buffers (FXBlit) and the compositor shows them
// (FXRefreshRect), and following a layer that changes under an asynchronous
// effect. On the display alone (layers off) none of this runs.
#pragma once

#include <cstdint>
#include <functional>

#include "effects/fxengine.h"

struct vkGraphicsState;

// Flags of FXBlit.
inline constexpr uint32_t kFXBlitCombine = 1;        // planes combined into the layer's, not copied
inline constexpr uint32_t kFXBlitThroughPlanes = 2;  // pixels drawn through the source's planes
inline constexpr uint32_t kFXBlitErase = 4;          // the rectangle is made transparent instead
inline constexpr uint32_t kFXBlitNoShow = 8;         // the change is not shown on screen
inline constexpr uint32_t kFXBlitKeepCopies = 16;    // the mask and alpha copies stay as they are

// Whether [layer] was made from the object [id] of [type] (UndoFX).
bool FXLayerMadeFrom(const vkLayer* layer, int32_t type, vkObjectId id);

// Whether the layers library serves effects.
bool FXLayersAvailable(vkGraphicsState& gs);

// With layers on, a brush, text object or BGPic part becomes a new hidden
// top layer and the run goes on as a show-layer run.
int32_t FXAddObjectLayer(vkFXState& s);
// Finds the layer of a layer operation, decides real-time layer mode and
// fills the source, size and position.
int32_t FXPrepareLayer(vkFXState& s);
// Runs [work] while the effect's layer is left out of the composition
// (unless [keepLayer]).
void FXHideLayerWhile(vkFXState& s, bool keepLayer, const std::function<void()>& work);

// Every step: the layer counts as visible from the first frame on.
void FXShowLayerForStep(vkFXState& s);
// Async frames: the layer's current on-screen position in real-time mode.
void FXFollowLayer(vkFXState& s);
// End of real-time layer mode: the layer renders from its object again.
void FXDropLayerBuffers(vkFXState& s);
// A completed run: hides the layer (HIDELAYER) or removes it (REMOVELAYER).
void FXFinishLayer(vkFXState& s);
// The run is freed: a show-layer run that did not finish leaves its layer
// hidden; the layer's rectangle is refreshed.
void FXLeaveLayer(vkFXState& s, int32_t final);
// After a display size change during a synchronous layer run.
void FXRepairLayerAfterResize(vkFXState& s);
// Messages 0 and 1 of an asynchronous run.
intptr_t FXLayerMessage(vkFXState& s, int32_t message, void* data);
void FXRefreshLayer(vkFXState& s);

// Draws a rectangle of [src] into the layer's on-screen buffers at the same
// coordinates and shows the change.
void FXBlit(vkFXState& s, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, int32_t sx, int32_t sy,
            int32_t w, int32_t h, uint32_t flags);
// The general form: [src] of srcWidth x srcHeight drawn from (sx, sy) to
// (dx, dy) of the layer's buffers.
void FXBlitTo(vkFXState& s, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, int32_t srcWidth,
              int32_t srcHeight, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w, int32_t h,
              uint32_t flags);
// Shows the rectangle (x, y, w, h) of the layer on screen ([flags] 32:
// present even while scaling).
void FXRefreshRect(vkFXState& s, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t flags);
// The layer's on-screen bitmap and alpha plane in real-time layer mode.
vkBitMap* FXLayerBitMap(vkFXState& s);
vkPlane* FXLayerAlpha(vkFXState& s);
// The layer's buffers as they stood at the current frame, or as before the
// first frame.
void FXRestoreLayerBuffers(vkFXState& s);
void FXClearLayerBuffers(vkFXState& s);
