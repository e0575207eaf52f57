// Layer styles: everything a script can read of a layer as one table and
// change by a table (the object shown and its drawing parameters, position,
// z position, transformation, anchor, transparency, tint, visibility, clip
// region). One key table serves GetLayerStyle and SetLayerStyle; the
// smaller style commands and the frame changes of anim layers build such a
// table and go through the same core, SetLayerAttributes.
#pragma once

#include <cstdint>

struct vkState;
struct vkLayer;

// A position key of this value keeps the layer's own coordinate.
inline constexpr int32_t kStyleKeep = 100000;

// Applies the tables of the [count] arguments from stack index [first] on,
// taken as pairs of a layer (number, name or group) and a table. The
// changed rectangles are recomposed at the end unless [noFlush]. 0 or an
// error code; the layers of the pairs before a failing one keep their new
// style and are shown in it.
int32_t SetLayerAttributes(vkState* L, int first, int count, bool noFlush);

// Moves [layer] to (x, y) (kStyleKeep keeps a coordinate) and shows its
// anim frame [frame] (1-based; 0 the one after the current, -1 the last)
// through SetLayerAttributes. 0 or an error code.
int32_t SetLayerPosFrame(vkState* L, vkLayer* layer, int32_t x, int32_t y, int32_t frame, bool noFlush);

// The style commands, for the layers library's command table.
int CmdSetLayerStyle(vkState* L);
int CmdGetLayerStyle(vkState* L);
int CmdSetLayerAnchor(vkState* L);
int CmdSetLayerTransparency(vkState* L);
int CmdSetLayerTint(vkState* L);  // also SetLayerLight
int CmdTransformLayer(vkState* L);
int CmdRotateLayer(vkState* L);
int CmdScaleLayer(vkState* L);
