// The display options every displaying command accepts (size, scale,
// rotation, an explicit 2x2 matrix, smoothing, anchor, and for layers the
// name, visibility, insert position, transparency and tint), the matrix they
// make, and the one drawing core through which brushes, brush parts, BGPic
// parts and anim frames reach the current output: DisplayBitmapObject.
#pragma once

#include <cstdint>

#include "engine/argcheck.h"
#include "graphics/graphicsstate.h"
#include "graphics/objecttypes.h"

// Object type codes of what DisplayBitmapObject draws.
inline constexpr int32_t kObjectBGPic = vkObjectType::BGPIC;
inline constexpr int32_t kObjectBrush = vkObjectType::BRUSH;
inline constexpr int32_t kObjectAnim = vkObjectType::ANIM;
inline constexpr int32_t kObjectTextObject = vkObjectType::TEXTOBJECT;
inline constexpr int32_t kObjectBrushPart = vkObjectType::BRUSHPART;
inline constexpr int32_t kObjectBGPicPart = vkObjectType::BGPICPART;
inline constexpr int32_t kObjectLayer = vkObjectType::LAYER;
inline constexpr int32_t kObjectSprite = vkObjectType::SPRITE;

// The display options' geometry. [matrix] maps a source point (x, y) to
// X = a x + c y, Y = b x + d y (a, b, c, d in order).
struct vkTransform {
  double matrix[4] = {1, 0, 0, 1};
  double scaleX = 1.0, scaleY = 1.0;
  int32_t width = 0, height = 0;  // wanted size; 0 = the object's
  int32_t rotate = 0;             // degrees, within -359..359
  double explicitMatrix[4] = {0, 0, 0, 0};
  int32_t explicitFlag = 0;  // 1 when the script gave the matrix itself
  int32_t smooth = 0;
  double anchorX = 0, anchorY = 0;  // fractions 0..1 of the object's size
};

// What a layer made by a displaying command gets besides its geometry.
struct vkLayerOptions {
  char name[256] = {};
  int32_t hidden = 0;
  int32_t insertPos = 0;
  int32_t transparency = 0;  // 0..255
  int32_t tint = 0;          // 0..255
  uint32_t tintColor = 0;    // 0xRRGGBB
  int32_t given = 0;         // 1 when the options ask for layer treatment
};

// Flags of ParseDisplayTags.
inline constexpr uint32_t kTagsInit = 1;           // start from the defaults and the presets
inline constexpr uint32_t kTagsNeedTable = 2;      // a value that is not a table is 1140
inline constexpr uint32_t kTagsNoSize = 4;         // width and height are not read
inline constexpr uint32_t kTagsNoRotate = 8;       // rotate is not read
inline constexpr uint32_t kTagsSmoothPreset = 16;  // smoothing follows its preset only when rotated

void InitTransform(vkTransform* t);
bool IsIdentity(const vkTransform& t);

// Sets t->matrix from a wanted size (0 = the object's), scales and an angle
// in degrees (any value; reduced modulo 360).
void BuildTransformMatrix(vkTransform* t, int32_t width, int32_t height, int32_t objectWidth, int32_t objectHeight,
                          double scaleX, double scaleY, int32_t angle);
// The explicit matrix when one was given, else the matrix built from the
// stored size, scales and rotation.
void ApplyLayerTransform(vkTransform* t, int32_t objectWidth, int32_t objectHeight);

// Reads the options table at stack index [index] (only when it is the last
// argument) into [t] and, when given, [layer]. Returns 0 or an error code;
// argument type errors are raised.
int32_t ParseDisplayTags(vkState* L, int index, int32_t objectWidth, int32_t objectHeight, int32_t presetWidth,
                         int32_t presetHeight, int32_t presetSmooth, vkTransform* t, vkLayerOptions* layer,
                         uint32_t flags);

// The size an object of width x height shows at under [t].
void GetDisplayedSize(const vkTransform& t, int32_t width, int32_t height, int32_t* outWidth, int32_t* outHeight);

// New planes of the width x height rectangle at (x, y) under [t]: a copy for
// the identity, a scaled copy for a pure non-negative scale, else the matrix
// applied. 0, 1000, 1152 or 1055 (a matrix that cannot be applied).
int32_t TransformBitmapPlanes(vkGraphicsState& gs, const vkBitMap* bitmap, const vkPlane* mask, const vkPlane* alpha,
                              int32_t x, int32_t y, int32_t width, int32_t height, const vkTransform& t,
                              vkBitMapPtr* outBitMap, vkPlanePtr* outMask, vkPlanePtr* outAlpha, int32_t* outWidth,
                              int32_t* outHeight);

// The planes of something DisplayBitmapObject draws, borrowed from its owner.
struct vkBitmapSource {
  const vkBitMap* bitmap = nullptr;
  const vkPlane* mask = nullptr;
  const vkPlane* alpha = nullptr;
  int32_t width = 0, height = 0;
};

// A bitmap with its mask and alpha plane (either may be absent), owned.
struct vkPlanes {
  vkBitMapPtr bitmap;
  vkPlanePtr mask;
  vkPlanePtr alpha;
};

// New copies of the width x height rectangle at (x, y) of each plane of
// [src]; 0, 1000 or 1055.
int32_t CopyPlanesRect(const vkBitmapSource& src, int32_t x, int32_t y, int32_t width, int32_t height, vkPlanes* out);
// The whole of [src] scaled to width x height; 0, 1000, 1152 or 1055.
int32_t ScalePlanes(vkGraphicsState& gs, const vkBitmapSource& src, int32_t width, int32_t height, bool smooth,
                    vkPlanes* out);

// Flags of DisplayBitmapObject.
inline constexpr uint32_t kDisplayForLayer = 8;      // the object may be orphaned: a layer still shows it
inline constexpr uint32_t kDisplayNoDraw = 0x100;    // make layers, draw nothing directly
inline constexpr uint32_t kDisplayReplaceLayer = 0x200;  // the new layer replaces the one at its insert position

// One call of the drawing core.
struct vkDisplayRequest {
  int32_t type = kObjectBrush;
  vkObjectId id{};
  int32_t frame = 0;               // anim frame, 0-based
  int32_t sx = 0, sy = 0;          // source position of a part
  int32_t x = 0, y = 0;            // position, special coordinates allowed
  int32_t width = 0, height = 0;   // size of a part
  int optionsIndex = 0;            // stack index of the options table, 0 = none
  const vkTransform* transform = nullptr;  // given instead of the table
  const vkLayerOptions* layerOptions = nullptr;
  uint32_t flags = 0;
  const vkBitmapSource* source = nullptr;  // planes the caller found itself (text objects), instead of a lookup
};

// Finds the planes of an object of a type other than brushes (BGPics and
// anims register theirs); 0 or the lookup's error code.
using vkBitmapSourceHook = int32_t (*)(vkState* L, int32_t type, vkObjectId id, int32_t frame, vkBitmapSource* out);
// Inserts what is drawn as a layer of the current output while layers are
// on; 0 or an error code.
using vkAddLayerHook = int32_t (*)(vkState* L, const vkDisplayRequest& rq, const vkBitmapSource& source,
                                   const vkTransform& t, const vkLayerOptions& options, int32_t x, int32_t y);
// Number of layers of the current output (insert positions are clamped to it + 1).
using vkLayerCountHook = int32_t (*)(vkState* L);

// Draws a brush, brush part, BGPic part or anim frame into the current
// output with its display options, or inserts it as a layer while the
// display's layers are on. 0 or an error code.
int32_t DisplayBitmapObject(vkState* L, const vkDisplayRequest& rq);

// The current display and the current output record drawing goes into.
vkDisplay* OutputDisplay(vkGraphicsState& gs);
vkBGPic* OutputPicture(vkGraphicsState& gs);

// Resolves a position against the current output: its active clip region,
// else its size; an object of [size] with [anchor].
int32_t ResolveOutputX(vkGraphicsState& gs, int32_t x, int32_t size, double anchor);
int32_t ResolveOutputY(vkGraphicsState& gs, int32_t y, int32_t size, double anchor);
