// Making and moving a layer's pixels: a layer of any type drawn anew from
// its source record through its own library's drawing routine (in place,
// or into a transformation pass), a layer moved on its picture, layers
// shown and hidden one by one or by group, and the commands of the layers
// library built on them.
#pragma once

#include <cstdint>

#include "graphics/displays.h"
#include "layers/layers.h"

struct vkState;

// A coordinate of kKeepPosition (graphics/displays.h) keeps the layer's own.

// Which coordinates of SetLayerPosition are distances from the layer's
// logical position rather than places.
inline constexpr uint32_t kPositionRelativeX = 1;
inline constexpr uint32_t kPositionRelativeY = 2;

// Moves [layer]'s logical position to ([x], [y]) (kKeepPosition keeps a
// coordinate; a relative one is added): every record of the layer shifts by
// the same distance. The bounding box of the rectangle it stood on ([old],
// x, y, width, height, when given, else its on-screen rectangle) and the one
// it stands on now is appended to [batch] when given, else refreshed at
// once; a hidden or pending layer refreshes nothing.
void SetLayerPosition(vkState* L, vkLayer* layer, const int32_t* old, int32_t x, int32_t y, uint32_t relative,
                      vkRectList* batch);

// Flags of DrawLayerByType: AddLayer's (kAddHidden 1, kAddReplace 8), and
// the passes of the transformations.
inline constexpr uint32_t kDrawHidden = kAddHidden;
inline constexpr uint32_t kDrawReplace = kAddReplace;
inline constexpr uint32_t kDrawTransformedPass = 16;  // into a record, through the layer's matrix
inline constexpr uint32_t kDrawScaledPass = 80;       // the same, for the display's layer scaling

// Draws [layer] anew in place: the object it shows is drawn again by its
// own library (brushes, parts and anim frames by DisplayBitmapObject, texts
// laid out again, shapes rendered again) from [source] (a record of the
// layer as inserted, possibly with changed values; null: the layer's own)
// at [position] (the layer's place in the list) with [flags] kDrawReplace
// (| kDrawHidden for a hidden layer), and the new layer takes the old one's
// place. The new layer gets the type, object, transform, anchors, name,
// transparency and tint that [layer] holds at the call: to change them, set
// them on [layer] first (and put them back on failure, which leaves the old
// layer in place). Nothing is refreshed unless the new layer is mixed or
// tinted: the caller queues the old and new rectangles. *[made] (when
// given) the new layer. Types without a drawing routine: 0, nothing drawn.
// 0 or an error code.
int32_t DrawLayerByType(vkState* L, vkLayer* layer, int32_t position, const vkLayerData* source, uint32_t flags,
                        vkLayer** made = nullptr);

// The core of ShowLayer and HideLayer: the layers that argument 1 names (a
// group gives several) are shown or hidden and, when [x] or [y] is not
// kKeepPosition, placed (special coordinates: a single layer against its
// size and anchor; a group by its bounding box, the members keeping their
// places within it). Every rectangle that changes is recomposed once. 0 or
// an error code.
int32_t SetLayerVisibility(vkState* L, int32_t x, int32_t y, bool hide);

// ---- Commands of the "layers" library ----

int CmdShowLayer(vkState* L);  // ShowLayer(layer, [x], [y])
int CmdHideLayer(vkState* L);  // HideLayer(layer)
int CmdCreateLayer(vkState* L);        // CreateLayer(x, y, width, height, [options])
int CmdNextFrame(vkState* L);          // NextFrame(layer, [x], [y], [frame])
int CmdModifyLayerFrames(vkState* L);  // ModifyLayerFrames(layer, frames, [position])

// ---- Layers as drawing targets ----

// Makes [layer] show pixels of its own that drawing may change without
// touching anything else: text and shape layers and text objects become
// BRUSH layers showing a new brush; a shown brush or anim that the script
// or another layer has too is cloned; parts get a copy of their pixels. The
// brush or anim made stays only as long as the layer shows it. 1404 for a
// layer an async-draw object draws, 1055 for a type without pixels. 0 or
// an error code.
int32_t ConvertLayerToBrush(vkState* L, vkLayer* layer);

// A layer made to own a copy of the pixels it shows. 0 or an error code.
int32_t OwnLayerPixels(vkGraphicsState& gs, vkLayer* layer);

// The output targets' LAYER hooks (SelectLayer): finding the layer's
// planes (converted first), giving it a mask or alpha plane, and showing it
// again when drawing ends.
int32_t FindLayerTarget(vkState* L, vkDisplay* display, vkObjectId id, int32_t index, bool forDrawing,
                        vkTargetObject* out);
void ReplaceLayerPlanes(vkGraphicsState& gs, void* record, int32_t index, vkPlane* mask, vkPlane* alpha);
int32_t EndLayerDrawing(vkState* L, vkDisplay* display, vkLayer* layer, int32_t index);

int CmdSelectLayer(vkState* L);  // SelectLayer(layer, [frame], [mode])

// InsertLayer of an anim (its first frame) or a text object at [position]
// through the drawing core; *[out] the new layer. 0 or an error code.
int32_t InsertObjectLayer(vkState* L, int32_t type, vkObjectId id, int32_t x, int32_t y, int32_t position,
                          uint32_t flags, vkLayer** out);  // SelectLayer(layer, [frame], [mode])
