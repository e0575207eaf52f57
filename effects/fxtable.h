// The transition effects as data: one row per effect id 0..140 with its
// script name, the family whose routines draw it and that family's
// parameters for the id (axis, slice size, variant), the id sets the engine
// consults (whole-picture, scroll, real-time layer, layer-safe, seekable,
// alpha-fade), when an old picture is made, and the mirror an effect runs as
// when hiding. A family is one set-up/draw/cleanup triple serving many ids;
// a new family adds its routines to the family table and its ids' rows here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct vkFXState;

// Effect ids the engine itself names.
inline constexpr int32_t kFXHStripes = 0;
inline constexpr int32_t kFXUnusedId = 113;  // has no effect: taken as a random choice
inline constexpr int32_t kFXCrossfade = 115;
inline constexpr int32_t kFXFade = 116;
inline constexpr int32_t kFXBlend = 117;
inline constexpr int32_t kFXLastId = 139;
inline constexpr int32_t kFXRandomEffect = 140;
inline constexpr int32_t kFXRandomParameter = -1;

// Speeds (effects map them to a step width of their own).
inline constexpr int32_t kNormalSpeed = -1;
inline constexpr int32_t kFastSpeed = -2;
inline constexpr int32_t kSlowSpeed = -3;

// The shapes of effect routines. Each family draws frame k (1-based) from k
// and the values its set-up fixed, nothing else.
enum class vkFXFamily : uint8_t {
  None,       // no routine yet: the id gives 1055
  Stripes,    // slices growing from alternate ends
  Blinds,     // every blind opening from its leading edge
  Fade,       // through a colour (FADE) or over the new picture (BLEND)
  Crossfade,  // the old picture mixed into the new one
  Curtain,    // two bands from the middle outward, or from the edges inward
  Bars,       // a grid of 16-pixel cells filled by bars
  Quarters,   // two halves wiping in opposite directions
  Reveal,     // one band wiping from an edge
  Lines,      // single lines interlaced
  Rect,       // a rectangle growing from an anchor
  RectBack,   // a hole shrinking towards an anchor
  Stretch,    // the object scaled from nothing along one axis or both
  Flow,       // bands poured in from an edge, the next line stretched ahead
  Push,       // the new picture pushing the old one out
  Scroll,     // the object moved in from outside the display
  Gate,       // halves sliding apart, or sliding in to meet
  Slide,      // the old picture out over a colour, then the new one in
  Card,       // the old picture turned away while the new one is dealt in
  Split,      // gaps opening at the quarter lines of each half
  ZoomInOut,  // the old picture into the centre, the new one out of it
  Puzzle,       // tiles of the new picture laid in a random order
  Diagonal,     // the new picture along a diagonal front
  Spiral,       // cells laid along a spiral towards the centre
  Swiss,        // the swiss cross pattern
  QuadRect,     // four rectangles from the corners
  UpDown,       // columns alternately from the top and the bottom
  StrangePush,  // two halves combed in from opposite edges
  TurnDown,     // the old picture turned down like a page
  Water,        // ripples or a swirl fading the new picture in
  Dissolve,     // random pixels through a growing mask
  MaskShape,    // a clock hand, star or sun shape revealing through a mask
  Crush,        // the old picture crushed towards an edge
  FlipCoin,     // the picture flipped about its middle
  Roll,         // the picture rolled out like a scroll or wallpaper
  PixelZoom,    // blocks growing and shrinking
};

// Axis of the geometric families: the direction the slices grow along
// (HSTRIPES and VBLINDS grow along x, VSTRIPES and HBLINDS along y).
inline constexpr uint8_t kFXAlongX = 0;
inline constexpr uint8_t kFXAlongY = 1;
inline constexpr uint8_t kFXAlongBoth = 2;  // zooms: both sides in the picture's proportions

// Variants of the band families.
inline constexpr uint8_t kFXCurtainOpen = 0;
inline constexpr uint8_t kFXCurtainClose = 1;
inline constexpr uint8_t kFXRevealFromFar = 1;   // bit: wipes from the right or bottom
inline constexpr uint8_t kFXRevealHalfStep = 2;  // bit: a step above half the size becomes half
inline constexpr uint8_t kFXFlowFromNear = 0;  // from the top or left edge
inline constexpr uint8_t kFXFlowFromFar = 1;   // from the bottom or right edge
inline constexpr uint8_t kFXPushFromNear = 0;  // the new picture enters at the left or top
inline constexpr uint8_t kFXPushFromFar = 1;   // at the right or bottom
inline constexpr uint8_t kFXGateOpen = 0;
inline constexpr uint8_t kFXGateClose = 1;
inline constexpr uint8_t kFXSlideTowardsFar = 0;   // the old picture leaves at the right or bottom
inline constexpr uint8_t kFXSlideTowardsNear = 1;  // at the left or top
inline constexpr uint8_t kFXCardFromTop = 0;
inline constexpr uint8_t kFXCardFromBottom = 1;
inline constexpr uint8_t kFXZoomIn = 0;   // the whole picture scaled down to the rectangle
inline constexpr uint8_t kFXZoomOut = 1;  // the rectangle scaled up to the whole
inline constexpr uint8_t kFXLinesSingle = 0;
inline constexpr uint8_t kFXLinesPaired = 1;
// The rectangles' anchor: 3 x vertical + horizontal, each 0 (left, top),
// 1 (centre) or 2 (right, bottom).
inline constexpr uint8_t FXAnchor(int horizontal, int vertical) { return uint8_t(3 * vertical + horizontal); }

// Variants of the fade family.
inline constexpr uint8_t kFXFadeThroughColour = 0;  // FADE
inline constexpr uint8_t kFXBlendOver = 1;          // BLEND

// Id sets, as bits of a row.
inline constexpr uint16_t kFXWholePicture = 1 << 0;  // needs the whole picture: BGPic only
inline constexpr uint16_t kFXScroll = 1 << 1;
inline constexpr uint16_t kFXRealtimeLayer = 1 << 2;  // hides a layer in real-time layer mode
inline constexpr uint16_t kFXLayerSafe = 1 << 3;      // takes a source with planes as it is
inline constexpr uint16_t kFXSeekable = 1 << 4;       // draws any frame from scratch (phase 2)
inline constexpr uint16_t kFXAlphaFade = 1 << 5;      // fades the layer's alpha plane
inline constexpr uint16_t kFXHasCleanup = 1 << 6;
// When an old picture of the screen under the effect is made.
inline constexpr uint16_t kFXOldAlways = 1 << 7;
inline constexpr uint16_t kFXOldWithoutRealtime = 1 << 8;
inline constexpr uint16_t kFXOldOnlyRealtime = 1 << 9;
// Hiding or removing a layer: the old picture still shows the layer.
inline constexpr uint16_t kFXOldKeepsLayer = 1 << 10;
inline constexpr uint16_t kFXOldKeepsLayerWithoutRealtime = 1 << 11;  // the same, only outside it

struct vkFXRow {
  const char* name;  // the constant's name; null for 113 and 140's own row
  vkFXFamily family;
  uint8_t axis;      // kFXAlongX / kFXAlongY
  int32_t size;      // slice size in pixels; 0 takes it from the parameter
  uint8_t variant;   // family-specific
  int32_t mirror;    // the id run when hiding (itself when none)
  uint16_t sets;     // kFX* bits
};

// Rows by id, 0..140.
const vkFXRow& FXRow(int32_t id);
inline bool FXInSet(int32_t id, uint16_t set) { return id >= 0 && id <= kFXLastId && (FXRow(id).sets & set) != 0; }

// What a family does: set-up in phase 0 (allocates its private data, fixes
// the step width and the step count, draws nothing), drawing frame k, and
// the release of what the private data holds. draw sets *[last] when frame
// k is the final one; [fromScratch] asks for the whole picture of frame k
// (phase 2), otherwise only what changed since frame k - 1 is drawn.
struct vkFXFamilyRoutines {
  int32_t (*setup)(vkFXState& s);
  int32_t (*draw)(vkFXState& s, int32_t k, bool fromScratch, bool* last);
  void (*cleanup)(vkFXState& s, int32_t final);
};

const vkFXFamilyRoutines& FXFamilyRoutines(vkFXFamily family);
// Whether the id has routines to draw it (ids without give 1055 and are
// never a random draw).
bool FXIdBuilt(int32_t id);

// The routines of the families, each in its own file.
int32_t FXStripesSetup(vkFXState& s);
int32_t FXStripesDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXBlindsSetup(vkFXState& s);
int32_t FXBlindsDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXFadeSetup(vkFXState& s);
int32_t FXFadeDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXFadeCleanup(vkFXState& s, int32_t final);

// Dissolve, the mask shapes (clock wipe, star, sun), water and strudel, and
// roll and wallpaper.
int32_t FXDissolveSetup(vkFXState& s);
int32_t FXDissolveDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXDissolveCleanup(vkFXState& s, int32_t final);
// The mask shapes, by variant.
inline constexpr uint8_t kFXShapeClock = 0;
inline constexpr uint8_t kFXShapeStar = 1;
inline constexpr uint8_t kFXShapeSun = 2;
int32_t FXMaskShapeSetup(vkFXState& s);
int32_t FXMaskShapeDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXMaskShapeCleanup(vkFXState& s, int32_t final);
// Water ids keep their ring length as their size; strudel is the swirl.
inline constexpr uint8_t kFXRipple = 0;
inline constexpr uint8_t kFXSwirl = 1;
int32_t FXWaterSetup(vkFXState& s);
int32_t FXWaterDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXWaterCleanup(vkFXState& s, int32_t final);
// Rolls by variant; the axis is the direction they unroll along.
inline constexpr uint8_t kFXRollSmall = 0;
inline constexpr uint8_t kFXRollWallpaper = 1;
int32_t FXRollSetup(vkFXState& s);
int32_t FXRollDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXRollCleanup(vkFXState& s, int32_t final);

int32_t FXCrossfadeSetup(vkFXState& s);
int32_t FXCrossfadeDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXCrossfadeCleanup(vkFXState& s, int32_t final);
int32_t FXCurtainSetup(vkFXState& s);
int32_t FXCurtainDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXBarsSetup(vkFXState& s);
int32_t FXBarsDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXQuartersSetup(vkFXState& s);
int32_t FXQuartersDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXRevealSetup(vkFXState& s);
int32_t FXRevealDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXLinesSetup(vkFXState& s);
int32_t FXLinesDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXRectSetup(vkFXState& s);
int32_t FXRectDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXRectBackDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXStretchSetup(vkFXState& s);
int32_t FXStretchDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);

// Strange push, turn-down, crush, flip-coin and pixel zoom: the families
// that comb or scale whole pictures, or break them into blocks.
inline constexpr uint8_t kFXFromFar = 1;       // turn-down, crush: starts at the bottom or right edge
inline constexpr uint8_t kFXFlipCentred = 0;   // flip-coin: the picture turns about its middle
inline constexpr uint8_t kFXFlipLow = 1;       // flip-coin: it keeps its bottom or right edge
inline constexpr uint8_t kFXPixelZoomIn = 0;   // PIXELZOOM1: the new picture sharpens from blocks
inline constexpr uint8_t kFXPixelZoomOut = 1;  // PIXELZOOM2: the old picture breaks up first
int32_t FXStrangePushSetup(vkFXState& s);
int32_t FXStrangePushDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXStrangePushCleanup(vkFXState& s, int32_t final);
int32_t FXTurnDownSetup(vkFXState& s);
int32_t FXTurnDownDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXCrushSetup(vkFXState& s);
int32_t FXCrushDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXFlipCoinSetup(vkFXState& s);
int32_t FXFlipCoinDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXPixelZoomSetup(vkFXState& s);
int32_t FXPixelZoomDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXPixelZoomCleanup(vkFXState& s, int32_t final);

int32_t FXFlowSetup(vkFXState& s);
int32_t FXFlowDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXFlowCleanup(vkFXState& s, int32_t final);
int32_t FXScrollSetup(vkFXState& s);
int32_t FXScrollDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXScrollCleanup(vkFXState& s, int32_t final);
int32_t FXGateSetup(vkFXState& s);
int32_t FXGateDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXSlideSetup(vkFXState& s);
int32_t FXSlideDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXCardSetup(vkFXState& s);
int32_t FXCardDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);

// Puzzle, diagonal, spiral, swiss, quad-rectangle and up-and-down.
int32_t FXPuzzleSetup(vkFXState& s);
int32_t FXPuzzleDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
void FXPuzzleCleanup(vkFXState& s, int32_t final);
int32_t FXDiagonalSetup(vkFXState& s);
int32_t FXDiagonalDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXSpiralSetup(vkFXState& s);
int32_t FXSpiralDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXSwissSetup(vkFXState& s);
int32_t FXSwissDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXQuadRectSetup(vkFXState& s);
int32_t FXQuadRectDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXUpDownSetup(vkFXState& s);
int32_t FXUpDownDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);

int32_t FXSplitSetup(vkFXState& s);
int32_t FXSplitDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXZoomInOutSetup(vkFXState& s);
int32_t FXZoomInOutDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);
int32_t FXPushSetup(vkFXState& s);
int32_t FXPushDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last);

// The library's constants in their stored order: names with their values.
struct vkFXConstant {
  const char* name;
  int32_t value;
};
inline constexpr size_t kFXConstantCount = 145;
const std::array<vkFXConstant, kFXConstantCount>& FXConstants();
