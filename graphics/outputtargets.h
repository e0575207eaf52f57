// Output targets: redirecting every drawing command of a display into a
// brush, a brush's mask or alpha channel, a background picture, an anim
// frame or a layer until the selection ends. The display keeps one target
// record shaped like a background picture (size, planes, empty layer list)
// that becomes the current output record, so that drawing code reads a
// selected object exactly as it reads a picture; the display's drawing
// planes name what the blitter writes. Drawing with no explicit
// destination goes through the clipped blit into the current output, and a
// mask or alpha target gets its plane before the first drawing.
#pragma once

#include <cstdint>

#include "engine/argcheck.h"
#include "graphics/graphicsstate.h"

struct vkState;

// Modes of SelectBrush.
inline constexpr int32_t SELMODE_NORMAL = 0;
inline constexpr int32_t SELMODE_COMBO = 1;  // the brush's mask and alpha are drawn into too
inline constexpr int32_t SELMODE_LAYERS = 2;

// Redirects the current display's drawing into object [id] of [kind]
// (vkObjectType BRUSH, BGPIC, ANIM or LAYER) with [renderTarget] (BRUSH,
// MASK or ALPHACHANNEL), [index] the anim frame (1-based) or layer frame.
// An earlier selection ends first unless double buffering; double
// buffering is suspended until the selection ends. 0 or an error code; an
// error leaves the render target as it was.
int32_t SelectOutputTarget(vkState* L, int32_t kind, vkObjectId id, int32_t renderTarget, int32_t index,
                           int32_t mode);

// Fills a target record: kind, object, index, id (when given), the planes in
// all three sets and the size in all three size pairs. With [zero] the
// record is cleared first.
void InitTargetRecord(vkBGPic* record, int32_t kind, void* object, int32_t index, const vkObjectId* id,
                      vkBitMap* bitmap, vkPlane* mask, vkPlane* alpha, int32_t width, int32_t height, bool zero);

// Ends the selection of [display]: back to its double buffer when a
// selection suspended it, else to the display itself; a picture selected
// for its layers shows what was added (recomposing the dirty rectangles
// unless [noFlush]); a drawn picture's shown copy and a drawn layer are
// made anew. 0 or an error code.
int32_t EndSelectOutput(vkState* L, vkDisplay* display, bool noFlush);

// Before the first drawing into a brush, mask or alpha target: the object
// is found again for modification (locks, copy-before-modify for the layers
// that show it) and a mask target without a mask gets one all visible (its
// alpha plane goes), an alpha target without alpha an opaque one (its mask
// goes). 0 or an error code.
int32_t PrepareMaskOrAlphaTarget(vkState* L);

// What every drawing command calls before it writes: prepares the current
// output when it is a brush, mask or alpha target not yet prepared. 0 or an
// error code.
int32_t PrepareDrawing(vkState* L);

// What a drawing command writes into, after PrepareDrawing.
struct vkDrawOutput {
  vkDisplay* display = nullptr;  // the current display, or none
  vkBGPic* record = nullptr;     // the current output record: size, clip region, sprites
  int32_t renderTarget = kTargetDisplay;  // the display's render target (DISPLAY: its buffers and window)
  vkBitMap* bitmap = nullptr;    // the drawing planes of any other target; each may be none
  vkPlane* mask = nullptr;
  vkPlane* alpha = nullptr;
  int32_t width = 0, height = 0;  // the output's size
  const vkClipRegion* clip = nullptr;
  bool ToDisplay() const { return renderTarget == kTargetDisplay; }
};
vkDrawOutput CurrentDrawOutput(vkGraphicsState& gs);

// The error a command that needs the display itself as output gives for
// the current render target: 1229 double buffering, 1339 an anim, 1082 a
// brush, 1147 a mask, 1167 an alpha channel, 1056 a picture; 0 for the
// display.
int32_t OutputTargetError(vkGraphicsState& gs);

// Whether the current output is the selected brush, mask or alpha target of
// object [record] (ending that selection is needed before it is shown).
bool IsSelectedObject(vkGraphicsState& gs, int32_t kind, const void* record);

// Ends the selection when the current output is object [id] of [type]
// (vkObjectType BRUSH or BRUSHPART: that brush; ANIM: that anim at the
// 0-based [frame]), before the object itself is drawn. 0 or an error code.
int32_t EndSelectionOf(vkState* L, int32_t type, vkObjectId id, int32_t frame);

// Frees the display's target records (they borrow every plane they name).
void FreeOutputTargets(vkDisplay* display);

// The commands: SelectBrush, SelectMask, SelectAlphaChannel (brush
// library), EndSelect (bgpic library); SelectBGPic's modes other than the
// layers mode.
int CmdSelectBrush(vkState* L);
int CmdSelectMask(vkState* L);
int CmdSelectAlphaChannel(vkState* L);
int CmdEndSelect(vkState* L);
int32_t SelectBGPicTarget(vkState* L, vkObjectId id, int32_t mode);
