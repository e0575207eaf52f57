// The graphics subsystem's run state in one record, held by the program
// context: the display list, the current display and output, the
// background pictures, the attribute providers of GetAttribute, the clip
// regions, the asynchronous drawing objects, the clipped blit's scratch
// planes (one set per nesting depth), the fallback display for pixel-only
// blits, the scaler's tables, the image cache, and the hooks through which
// the layers above recompose what the blitter needs.
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "graphics/asyncdraw.h"
#include "graphics/attributes.h"
#include "graphics/bgpics.h"
#include "graphics/displays.h"
#include "graphics/objecttypes.h"
#include "pixel/bitmapops.h"
#include "pixel/clipregion.h"
#include "pixel/resample.h"

struct vkState;
struct vkGraphicsState;
struct vkBrushList;
struct vkSpriteList;
struct vkAnimList;
struct vkDrawLib;
struct vkShapeRecord;
struct vkTransform;
struct vkLayerOptions;
struct vkPointerList;

// The scratch plane of one nesting depth of the clipped blit: a buffer that
// only grows, wrapped as a mask or a byte plane.
struct vkBlitScratch {
  vkBufferPtr<uint8_t> data;
  size_t capacity = 0;
  vkPlane plane{};
};

// Recomposes the rectangle of [bgpic] into [dst] from its background, layers
// and sprites; flags 1 stop before the sprites, 2 draw the sprites only, 4,
// 8 and 16 choose the background (Redraw of the layers library).
using vkRedrawHook = void (*)(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic, vkBitMap* dst, int32_t x,
                              int32_t y, int32_t width, int32_t height, int32_t flags);
// 1 when a layer of any picture still draws through [region].
using vkRegionInUseHook = bool (*)(const vkGraphicsState& gs, const vkClipRegion* region);
// Appends the on-screen rectangle of [layer] to the display's dirty list.
using vkLayerDirtyHook = void (*)(vkGraphicsState& gs, vkDisplay* display, vkLayer* layer);
// 1 when a layer of any picture shows the object of [type] whose record is
// [record] (BGPIC: a vkBGPic).
using vkObjectInUseHook = bool (*)(vkGraphicsState& gs, int32_t type, const void* record);
// Frees the layers of a picture that goes.
using vkFreeLayersHook = void (*)(vkGraphicsState& gs, vkBGPic* bgpic);
// The display's layer scaling changed (a resize): its picture's layers are
// rendered anew at the display's scale. 0 or an error code.
using vkLayersRescaledHook = int32_t (*)(vkState* L, vkDisplay* display);

// An object of the layers library that drawing can be redirected into (a
// layer of the displayed picture, an anim frame): its record and the planes
// drawing writes, at its size.
struct vkTargetObject {
  void* record = nullptr;  // the vkLayer, or the anim
  vkBitMap* bitmap = nullptr;
  vkPlane* mask = nullptr;   // or none
  vkPlane* alpha = nullptr;  // or none
  int32_t width = 0, height = 0;
};

// How the output targets reach one kind of object the layers library owns.
struct vkTargetKindHooks {
  // Finds object [id] at frame [index] into *[out]. Anims: [index] is the
  // 1-based frame. Layers: [id]'s number is the 1-based position in the
  // display's picture and [index] the frame of an anim layer (0: none).
  // [forDrawing] false: as it is selected, with every check of the
  // selection (a layer is first made to own its pixels); true: before the
  // first drawing into it, for modification (locked: 1314; copy-before-
  // modify). 0 or an error code.
  int32_t (*find)(vkState* L, vkDisplay* display, vkObjectId id, int32_t index, bool forDrawing,
                  vkTargetObject* out) = nullptr;
  // Gives the object at frame [index] [mask] and [alpha] (either may be
  // NULL) in place of its own; both are taken over, its old planes freed.
  void (*replacePlanes)(vkGraphicsState& gs, void* record, int32_t index, vkPlane* mask, vkPlane* alpha) = nullptr;
};

// What the output targets and the double buffer ask of the layers library.
// Each hook may be NULL: no picture has layers then, a layer or anim target
// cannot be found (1081, 1176), and the steps that involve layers do nothing.
struct vkLayerTargetHooks {
  // Whether [bgpic] has any layer.
  bool (*hasLayers)(vkGraphicsState& gs, const vkBGPic* bgpic) = nullptr;
  // The display's picture [bgpic], selected as the target of its layers,
  // is given back: the layers added meanwhile are drawn from now on and,
  // with [flush], the display's dirty rectangles are merged and recomposed.
  void (*endPictureSelection)(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic, bool flush) = nullptr;
  // Drawing into the selected layer [layer] (anim frame [index], 0 none)
  // ended: it is shown again, refreshed or its transformation rendered
  // anew. 0 or an error code.
  int32_t (*endLayerDrawing)(vkState* L, vkDisplay* display, vkLayer* layer, int32_t index) = nullptr;
  vkTargetKindHooks layer;  // LAYER targets (SelectLayer)
  vkTargetKindHooks anim;   // ANIM targets (SelectAnim)
};

// A brush as the pictures see it (the records stay the brush library's).
struct vkBrushView {
  const vkBitMap* bitmap = nullptr;
  const vkPlane* mask = nullptr;
  const vkPlane* alpha = nullptr;
  int32_t width = 0, height = 0;
  int32_t transparentColor = -1;
  bool transformedVector = false;  // a vector brush drawn with a transformation
};
// What the brush library registers for the pictures: finding a brush (for
// texture fills and BrushToBGPic; 0 or its not-found error) and making one
// from a picture's copies (BGPicToBrush; the planes pass to the brush, also
// on failure; 0 or an error code, *[made] its identifier).
struct vkBrushHooks {
  int32_t (*find)(vkState* L, vkObjectId id, vkBrushView* out) = nullptr;
  int32_t (*make)(vkState* L, vkIdRequest id, vkBitMap* bitmap, vkPlane* mask, vkPlane* alpha, int32_t width,
                  int32_t height, int32_t transparentColor, vkObjectId* made) = nullptr;
};

// What the draw library asks of the layers library for vector layers. Each
// hook may be NULL: shapes are then drawn straight into the output.
struct vkShapeLayerHooks {
  // Inserts a layer of the shape [type] into the current output's picture,
  // showing [bitmap] with [mask] or [alpha] (width x height at x, y) and
  // keeping [record] (freed with delete) to render it again with
  // RenderShapeLayer of graphics/shapes.h; [transform] and [options] are the
  // layer's. At [insertPos] (-1: on top). The planes and the record pass to
  // the layer, also on failure. 0 or an error code.
  int32_t (*add)(vkState* L, int32_t type, int32_t x, int32_t y, int32_t width, int32_t height, vkBitMap* bitmap,
                 vkPlane* mask, vkPlane* alpha, vkShapeRecord* record, const vkTransform* transform,
                 const vkLayerOptions* options, int32_t insertPos, uint32_t flags) = nullptr;
};

// The objects that make up the backfill behind full-screen displays.
struct vkBackfillObjects {
  vkObjectId brush, bgpic, display;
  bool brushExists = false, bgpicExists = false, displayExists = false;
};

// The settings the blitter reads, kept through the runtime attributes.
struct vkGraphicsSettings {
  int32_t maskMode = 0;
  int32_t alphaIntensity = 128;  // 0..255, -1 none
};

struct vkGraphicsState {
  vkGraphicsSettings settings;
  std::list<vkDisplayPtr> DisplayList;  // the backfill display first, then in creation order
  vkDisplay* CurrentDisplay = nullptr;  // NULL while there is none
  vkBGPic* CurrentBGPic = nullptr;      // the current output record
  std::list<vkBGPicPtr> BGPicList;      // in creation order
  std::recursive_mutex displayListLock;  // held while a display is linked in or out
  uint32_t screenModeSwitched = 0;       // a full-screen mode is in force
  // A windowed start leaves the displays' windows until something needs them
  // (ShowPendingDisplays); the display to activate then, if any.
  bool displaysPending = false;
  vkDisplay* pendingActive = nullptr;
  uint32_t videoRecording = 0;           // a frame-capturing recording runs
  vkBackfillObjects backfill;
  const vkDisplaySettings* displaySettings = nullptr;  // the applet's, from the first display on
  vkBrushHooks brushHooks;  // registered by the brush library
  std::list<vkClipRegion> clipRegions;  // in creation order; addresses stay put
  std::vector<std::unique_ptr<vkBlitScratch>> scratch;  // by nesting depth of SafeBlt
  int32_t blitDepth = 0;                // SafeBlt calls under way
  std::unique_ptr<vkDisplay> fallbackDisplay;  // stands in while no display is current
  vkScaleTables scaleTables;
  vkImageCache imageCache;
  size_t imageCacheBudget = size_t(256) << 20;  // the most bytes the image cache holds
  // Registered by the layers library; until then the display's background
  // buffer stands for the composed picture.
  vkRedrawHook redraw = nullptr;
  vkRegionInUseHook regionInUse = nullptr;
  // The brush and sprite libraries' objects (graphics/brushes.h, sprites.h).
  std::shared_ptr<vkBrushList> brushes;
  std::shared_ptr<vkSpriteList> sprites;
  std::shared_ptr<vkPointerList> pointers;  // the graphics library's pointer images (graphics/pointers.h)
  vkLayerDirtyHook layerDirty = nullptr;
  vkObjectInUseHook pictureInUse = nullptr;
  vkFreeLayersHook freeLayers = nullptr;
  vkLayersRescaledHook layersRescaled = nullptr;  // registered by the layers library
  vkLayerTargetHooks layerTargets;  // registered by the layers library
  std::shared_ptr<vkAnimList> anims;  // the anim library's anims and streams (layers/animlib.h)
  std::shared_ptr<vkDrawLib> draw;  // the draw library's style and tables
  vkShapeLayerHooks shapeLayers;     // registered by the layers library
  vkAsyncDrawList asyncDraws;  // last, so its objects go first
};

// The graphics state of [L]'s program context, made when first asked for.
vkGraphicsState& GraphicsState(vkState* L);

// Brush [id] as the pictures see it, through the brush library's hook: 0 or
// the brush's not-found error (1041 for a handle, 1174 for a number).
int32_t FindBrushView(vkState* L, vkObjectId id, vkBrushView* out);
