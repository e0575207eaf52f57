// The bgpic library: the script's background pictures, each at three sizes
// (as loaded or created, at its current size after ScaleBGPic, and as shown
// by a scaled display), with their layers, buttons and the sprites shown on
// them; the same record serves every output target (a selected brush, mask,
// alpha channel or double buffer). Also the display's back buffers, the
// copy-before-modify and orphaning of pictures that layers still show, and
// the opener and the shutdown step that frees them all.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "engine/argcheck.h"     // vkObjectId
#include "runtime/eventstate.h"  // vkEventPicture

struct vkState;
struct vkBitMap;
struct vkPlane;
struct vkClipRegion;
struct vkSprite;
struct vkLayer;
struct vkDisplay;
struct vkGraphicsState;

// One appearance of a sprite on a picture.
struct vkSpriteInstance {
  int32_t x = 0, y = 0, width = 0, height = 0;
  vkClipRegion* clipRegion = nullptr;  // the region it was drawn through
  vkSprite* sprite = nullptr;          // what it shows
  int32_t frame = 1;                   // 1-based
};

// Where the shown sprites of a picture lie, index for index with its list,
// one array per edge so that a refresh tests several at once: x1, y1
// inclusive, x2, y2 exclusive (capped at the largest int32_t).
struct vkSpriteBoxes {
  std::vector<int32_t> x1, y1, x2, y2;
};

// Fill types of a generated picture.
inline constexpr int32_t kFillColor = 1;
inline constexpr int32_t kFillGradient = 2;
inline constexpr int32_t kFillTexture = 3;

// Image types: a raster picture is scaled as pixels, a generated one drawn
// again from its fill at every new size.
inline constexpr int32_t IMAGETYPE_RASTER = 0;
inline constexpr int32_t kImageTypeGenerated = 1;

// How a generated picture was made.
struct vkBGPicFill {
  int32_t type = 0;  // 0 none, kFill*
  uint32_t color = 0;     // the colour, or the gradient's start colour
  uint32_t endColor = 0;  // the gradient's end colour
  int32_t angle = 0;      // the gradient's angle in degrees
  int32_t brush = 0;      // the texture brush's number
  vkBitMap* texture = nullptr;  // a copy of the brush, owned by the picture
  int32_t textureX = 0, textureY = 0;
  int32_t textureWidth = 0, textureHeight = 0;
};

// A picture and its planes (any may be NULL).
struct vkPictureSet {
  vkBitMap* bitmap = nullptr;
  vkPlane* mask = nullptr;
  vkPlane* alpha = nullptr;
};

struct vkBGPic {
  vkObjectId id;
  // The picture as ARGB words while the applet's preloads run (no display
  // exists yet); empty afterwards.
  std::vector<uint32_t> rawPixels;
  vkPlane* rawAlpha = nullptr;
  // Shown, current and base pictures: a derived set either is its own or
  // holds the same records as the one below it.
  vkBitMap* scaledBitMap = nullptr;  // as shown: the display's scaled size under layer scaling
  vkPlane* scaledMask = nullptr;
  vkPlane* scaledAlpha = nullptr;
  vkBitMap* bitmap = nullptr;  // at its current size (after ScaleBGPic)
  vkPlane* mask = nullptr;
  vkPlane* alpha = nullptr;
  vkBitMap* baseBitMap = nullptr;  // as loaded or created
  vkPlane* baseMask = nullptr;
  vkPlane* baseAlpha = nullptr;
  int32_t scaledWidth = 0, scaledHeight = 0;  // shown; positions resolve against these
  int32_t width = 0, height = 0;              // current; what GetAttribute reports
  int32_t baseWidth = 0, baseHeight = 0;
  int32_t rowWidth = 0;            // the width in pixels at creation
  int32_t transparentColor = -1;   // 0xRRGGBB, or -1 for none
  std::vector<uint32_t> palette;   // 256 ARGB entries of a palette picture, or empty
  std::vector<vkLayer*> layers;    // bottom first; the layers library owns them
  std::vector<vkSpriteInstance> sprites;  // shown on the picture, bottom first
  vkSpriteBoxes spriteBoxes;              // their rectangles (kept by graphics/sprites.cpp)
  uint32_t locked = 0;    // may not be modified
  uint32_t orphaned = 0;  // freed by the script, still shown by a layer or display
  vkEventPicture event;   // id, size and buttons as the dispatcher reads them
  // As an output target: the selected object's kind, frame or layer index, layer.
  int32_t targetKind = 0, targetIndex = 0;
  vkLayer* targetLayer = nullptr;
  void* targetObject = nullptr;  // the selected brush, picture, anim or layer record
  int32_t targetMode = 0;        // the selection's mode
  uint32_t targetPrepared = 0;   // made ready for drawing since it was selected
  uint32_t modified = 0;        // a command drew into the picture
  uint32_t refreshPending = 0;  // changed behind its layers
  vkClipRegion* activeClip = nullptr;  // the active clip region, or none
  vkBGPicFill fill;
  int32_t imageType = IMAGETYPE_RASTER;
  void* vectorData = nullptr;  // of the vector brush it was made from
};

// Frees a picture record with every distinct bitmap and plane it holds.
struct vkBGPicDeleter {
  void operator()(vkBGPic* bgpic) const;
};
using vkBGPicPtr = std::unique_ptr<vkBGPic, vkBGPicDeleter>;

// Flags of FindBGPic.
inline constexpr uint32_t kFindModify = 1;        // locked: 1314; copy-before-modify first
inline constexpr uint32_t kFindOrphaned = 2;      // orphaned pictures count too
inline constexpr uint32_t kFindNoCopy = 4;        // with kFindModify: no copy-before-modify

// The picture with [id] into *[out]: 0, 1177 for a number (error number
// set), 1041 for a handle, 1314 for a locked one asked for modification.
int32_t FindBGPic(vkGraphicsState& gs, vkObjectId id, vkBGPic** out, uint32_t flags);
int32_t CountBGPics(vkGraphicsState& gs);

// Appends a picture whose three sets are [set] at width x height; a
// generated picture's [fill] is taken over (with its texture). With a raw
// buffer the picture waits for the first display. *[out] the new record.
// 0 or 1000.
int32_t AddBGPicRecord(vkGraphicsState& gs, vkObjectId id, int32_t imageType, int32_t width, int32_t height,
                       std::vector<uint32_t> rawPixels, const vkPictureSet& set, int32_t transparentColor,
                       const vkBGPicFill& fill, vkBGPic** out);

// A new picture [id] with copies of [source]'s sets, fill, palette and
// sizes; *[out]. 0 or 1000.
int32_t CloneBGPic(vkGraphicsState& gs, const vkBGPic* source, vkObjectId id, vkBGPic** out);

// Draws a fill into a new width x height bitmap: colour, gradient or texture
// (the fill's texture, or the brush through the brush library's hook the
// first time, copied into the fill). *[out]; 0, 1000 or the brush's error.
int32_t BuildFillBitMap(vkState* L, vkBGPicFill& fill, int32_t width, int32_t height, vkBitMap** out);
// A black fill, which BuildFillBitMap leaves as the cleared bitmap itself.
bool FillIsCleared(const vkBGPicFill& fill);

// Frees [bgpic] as FreeBGPic does: 1378 when it is the current output; an
// orphan when a layer or a display shows it; else unlinked and destroyed.
int32_t FreeBGPicRecord(vkGraphicsState& gs, vkBGPic* bgpic);
// Frees every orphan that no display, layer or output still uses.
void FreeOrphanedBGPics(vkGraphicsState& gs);
// When the first display opens: pictures still held as raw pixels get their
// bitmaps. 0 or 1000.
int32_t RebuildBGPicBitmaps(vkGraphicsState& gs);
// Makes the picture's current set again at width x height (generated
// pictures drawn again from their fill, others scaled from the base set).
// 0 or an error code.
int32_t RegenerateOrScaleBGPic(vkState* L, vkBGPic* bgpic, int32_t width, int32_t height, bool smooth);

// Makes the picture's shown set at width x height (the current set itself
// at its own size), as a display with layer scaling shows it. 0 or an error.
int32_t RescaleShownBGPic(vkState* L, vkBGPic* bgpic, int32_t width, int32_t height, bool smooth);

// Registers the "bgpic" commands; returns 0.
int OpenBGPicLibrary(vkState* L);

// Frees every picture with everything it holds; returns 0.
int FreeAllBGPics(vkState* L);
