// The effect table: every id's name, family and parameters, the id sets
// built from their ranges, and the constants in the order the library
// stores them.
#include "effects/fxtable.h"

#include <cstring>
#include <initializer_list>

namespace {

using F = vkFXFamily;
constexpr uint8_t X = kFXAlongX, Y = kFXAlongY;

// Per id: name, family, axis, slice size, variant.
struct vkFXEntry {
  const char* name;
  vkFXFamily family = F::None;
  uint8_t axis = X;
  int32_t size = 0;
  uint8_t variant = 0;
};

constexpr vkFXEntry kEntries[kFXRandomEffect + 1] = {
    {"HSTRIPES", F::Stripes, X, 0},  // 0
    {"HSTRIPES2", F::Stripes, X, 2},  // 1
    {"HSTRIPES4", F::Stripes, X, 4},  // 2
    {"HSTRIPES8", F::Stripes, X, 8},  // 3
    {"HSTRIPES16", F::Stripes, X, 16},  // 4
    {"HSTRIPES32", F::Stripes, X, 32},  // 5
    {"HSTRIPES64", F::Stripes, X, 64},  // 6
    {"VSTRIPES", F::Stripes, Y, 0},  // 7
    {"VSTRIPES2", F::Stripes, Y, 2},  // 8
    {"VSTRIPES4", F::Stripes, Y, 4},  // 9
    {"VSTRIPES8", F::Stripes, Y, 8},  // 10
    {"VSTRIPES16", F::Stripes, Y, 16},  // 11
    {"VSTRIPES32", F::Stripes, Y, 32},  // 12
    {"VSTRIPES64", F::Stripes, Y, 64},  // 13
    {"HBLINDS8", F::Blinds, Y, 8},  // 14
    {"HBLINDS16", F::Blinds, Y, 16},  // 15
    {"HBLINDS32", F::Blinds, Y, 32},  // 16
    {"HBLINDS64", F::Blinds, Y, 64},  // 17
    {"HBLINDS128", F::Blinds, Y, 128},  // 18
    {"VBLINDS8", F::Blinds, X, 8},  // 19
    {"VBLINDS16", F::Blinds, X, 16},  // 20
    {"VBLINDS32", F::Blinds, X, 32},  // 21
    {"VBLINDS64", F::Blinds, X, 64},  // 22
    {"VBLINDS128", F::Blinds, X, 128},  // 23
    {"VOPENCURTAIN", F::Curtain, X, 0, kFXCurtainOpen},  // 24
    {"VCLOSECURTAIN", F::Curtain, X, 0, kFXCurtainClose},  // 25
    {"HOPENCURTAIN", F::Curtain, Y, 0, kFXCurtainOpen},  // 26
    {"HCLOSECURTAIN", F::Curtain, Y, 0, kFXCurtainClose},  // 27
    {"BARS", F::Bars},  // 28
    {"QUARTERS", F::Quarters},  // 29
    {"REVEALLEFT", F::Reveal, X, 0, 0},  // 30
    {"REVEALRIGHT", F::Reveal, X, 0, kFXRevealFromFar},  // 31
    {"REVEALTOP", F::Reveal, Y, 0, kFXRevealHalfStep},  // 32
    {"REVEALBOTTOM", F::Reveal, Y, 0, kFXRevealFromFar | kFXRevealHalfStep},  // 33
    {"VLINES2", F::Lines, X, 0, kFXLinesPaired},  // 34
    {"HLINES2", F::Lines, Y, 0, kFXLinesPaired},  // 35
    {"HLINES", F::Lines, Y, 0, kFXLinesSingle},  // 36
    {"VLINES", F::Lines, X, 0, kFXLinesSingle},  // 37
    {"RECTCENTER", F::Rect, X, 0, FXAnchor(1, 1)},  // 38
    {"RECTNORTH", F::Rect, X, 0, FXAnchor(1, 0)},  // 39
    {"RECTNORTHEAST", F::Rect, X, 0, FXAnchor(2, 0)},  // 40
    {"RECTEAST", F::Rect, X, 0, FXAnchor(2, 1)},  // 41
    {"RECTSOUTHEAST", F::Rect, X, 0, FXAnchor(2, 2)},  // 42
    {"RECTSOUTH", F::Rect, X, 0, FXAnchor(1, 2)},  // 43
    {"RECTSOUTHWEST", F::Rect, X, 0, FXAnchor(0, 2)},  // 44
    {"RECTWEST", F::Rect, X, 0, FXAnchor(0, 1)},  // 45
    {"RECTNORTHWEST", F::Rect, X, 0, FXAnchor(0, 0)},  // 46
    {"SCROLLLEFT", F::Scroll, X, 0, FXAnchor(0, 1)},  // 47
    {"SCROLLRIGHT", F::Scroll, X, 0, FXAnchor(2, 1)},  // 48
    {"SCROLLTOP", F::Scroll, X, 0, FXAnchor(1, 0)},  // 49
    {"SCROLLBOTTOM", F::Scroll, X, 0, FXAnchor(1, 2)},  // 50
    {"SCROLLNORTHEAST", F::Scroll, X, 0, FXAnchor(2, 0)},  // 51
    {"SCROLLSOUTHEAST", F::Scroll, X, 0, FXAnchor(2, 2)},  // 52
    {"SCROLLSOUTHWEST", F::Scroll, X, 0, FXAnchor(0, 2)},  // 53
    {"SCROLLNORTHWEST", F::Scroll, X, 0, FXAnchor(0, 0)},  // 54
    {"STRETCHLEFT", F::Stretch, X, 0, FXAnchor(0, 0)},  // 55
    {"STRETCHRIGHT", F::Stretch, X, 0, FXAnchor(2, 0)},  // 56
    {"STRETCHTOP", F::Stretch, Y, 0, FXAnchor(0, 0)},  // 57
    {"STRETCHBOTTOM", F::Stretch, Y, 0, FXAnchor(0, 2)},  // 58
    {"HSTRETCHCENTER", F::Stretch, Y, 0, FXAnchor(0, 1)},  // 59
    {"VSTRETCHCENTER", F::Stretch, X, 0, FXAnchor(1, 0)},  // 60
    {"ZOOMCENTER", F::Stretch, kFXAlongBoth, 0, FXAnchor(1, 1)},  // 61
    {"ZOOMNORTH", F::Stretch, kFXAlongBoth, 0, FXAnchor(1, 0)},  // 62
    {"ZOOMNORTHEAST", F::Stretch, kFXAlongBoth, 0, FXAnchor(2, 0)},  // 63
    {"ZOOMEAST", F::Stretch, kFXAlongBoth, 0, FXAnchor(2, 1)},  // 64
    {"ZOOMSOUTHEAST", F::Stretch, kFXAlongBoth, 0, FXAnchor(2, 2)},  // 65
    {"ZOOMSOUTH", F::Stretch, kFXAlongBoth, 0, FXAnchor(1, 2)},  // 66
    {"ZOOMSOUTHWEST", F::Stretch, kFXAlongBoth, 0, FXAnchor(0, 2)},  // 67
    {"ZOOMWEST", F::Stretch, kFXAlongBoth, 0, FXAnchor(0, 1)},  // 68
    {"ZOOMNORTHWEST", F::Stretch, kFXAlongBoth, 0, FXAnchor(0, 0)},  // 69
    {"HFLOWTOP", F::Flow, Y, 0, kFXFlowFromNear},  // 70
    {"HFLOWBOTTOM", F::Flow, Y, 0, kFXFlowFromFar},  // 71
    {"VFLOWLEFT", F::Flow, X, 0, kFXFlowFromNear},  // 72
    {"VFLOWRIGHT", F::Flow, X, 0, kFXFlowFromFar},  // 73
    {"HOPENGATE", F::Gate, Y, 0, kFXGateOpen},  // 74
    {"HCLOSEGATE", F::Gate, Y, 0, kFXGateClose},  // 75
    {"VOPENGATE", F::Gate, X, 0, kFXGateOpen},  // 76
    {"VCLOSEGATE", F::Gate, X, 0, kFXGateClose},  // 77
    {"PUSHLEFT", F::Push, X, 0, kFXPushFromNear},  // 78
    {"PUSHRIGHT", F::Push, X, 0, kFXPushFromFar},  // 79
    {"PUSHTOP", F::Push, Y, 0, kFXPushFromNear},  // 80
    {"PUSHBOTTOM", F::Push, Y, 0, kFXPushFromFar},  // 81
    {"PUZZLE", F::Puzzle},  // 82
    {"DIAGONAL", F::Diagonal},  // 83
    {"ROLLTOP", F::Roll, Y, 0, kFXRollSmall},  // 84
    {"ROLLLEFT", F::Roll, X, 0, kFXRollSmall},  // 85
    {"WALLPAPERTOP", F::Roll, Y, 0, kFXRollWallpaper},  // 86
    {"WALLPAPERLEFT", F::Roll, X, 0, kFXRollWallpaper},  // 87
    {"RECTBACKCENTER", F::RectBack, X, 0, FXAnchor(1, 1)},  // 88
    {"RECTBACKNORTH", F::RectBack, X, 0, FXAnchor(1, 2)},  // 89
    {"RECTBACKNORTHEAST", F::RectBack, X, 0, FXAnchor(0, 2)},  // 90
    {"RECTBACKEAST", F::RectBack, X, 0, FXAnchor(0, 1)},  // 91
    {"RECTBACKSOUTHEAST", F::RectBack, X, 0, FXAnchor(0, 0)},  // 92
    {"RECTBACKSOUTH", F::RectBack, X, 0, FXAnchor(1, 0)},  // 93
    {"RECTBACKSOUTHWEST", F::RectBack, X, 0, FXAnchor(2, 0)},  // 94
    {"RECTBACKWEST", F::RectBack, X, 0, FXAnchor(2, 1)},  // 95
    {"RECTBACKNORTHWEST", F::RectBack, X, 0, FXAnchor(2, 2)},  // 96
    {"CLOCKWIPE", F::MaskShape, X, 0, kFXShapeClock},  // 97
    {"STAR", F::MaskShape, X, 0, kFXShapeStar},  // 98
    {"HSTRANGEPUSH", F::StrangePush, X},  // 99
    {"VSTRANGEPUSH", F::StrangePush, Y},  // 100
    {"SLIDELEFT", F::Slide, X, 0, kFXSlideTowardsFar},  // 101
    {"SLIDERIGHT", F::Slide, X, 0, kFXSlideTowardsNear},  // 102
    {"SLIDETOP", F::Slide, Y, 0, kFXSlideTowardsFar},  // 103
    {"SLIDEBOTTOM", F::Slide, Y, 0, kFXSlideTowardsNear},  // 104
    {"SPIRAL", F::Spiral},  // 105
    {"SWISS", F::Swiss},  // 106
    {"QUADRECT", F::QuadRect},  // 107
    {"HSPLIT", F::Split, X},  // 108
    {"VSPLIT", F::Split, Y},  // 109
    {"UPNDOWN", F::UpDown},  // 110
    {"CARDTOP", F::Card, Y, 0, kFXCardFromTop},  // 111
    {"CARDBOTTOM", F::Card, Y, 0, kFXCardFromBottom},  // 112
    {nullptr},  // 113
    {"SUN", F::MaskShape, X, 0, kFXShapeSun},  // 114
    {"CROSSFADE", F::Crossfade},  // 115
    {"FADE", F::Fade, X, 0, kFXFadeThroughColour},  // 116
    {"BLEND", F::Fade, X, 0, kFXBlendOver},  // 117
    {"ZOOMIN", F::ZoomInOut, X, 0, kFXZoomIn},  // 118
    {"ZOOMOUT", F::ZoomInOut, X, 0, kFXZoomOut},  // 119
    {"CRUSHLEFT", F::Crush, X, 0, 0},  // 120
    {"CRUSHRIGHT", F::Crush, X, 0, kFXFromFar},  // 121
    {"CRUSHTOP", F::Crush, Y, 0, 0},  // 122
    {"CRUSHBOTTOM", F::Crush, Y, 0, kFXFromFar},  // 123
    {"VFLIPCOIN", F::FlipCoin, Y, 0, kFXFlipCentred},  // 124
    {"VLOWFLIPCOIN", F::FlipCoin, Y, 0, kFXFlipLow},  // 125
    {"HFLIPCOIN", F::FlipCoin, X, 0, kFXFlipCentred},  // 126
    {"HLOWFLIPCOIN", F::FlipCoin, X, 0, kFXFlipLow},  // 127
    {"TURNDOWNTOP", F::TurnDown, Y, 0, 0},  // 128
    {"TURNDOWNBOTTOM", F::TurnDown, Y, 0, kFXFromFar},  // 129
    {"TURNDOWNLEFT", F::TurnDown, X, 0, 0},  // 130
    {"TURNDOWNRIGHT", F::TurnDown, X, 0, kFXFromFar},  // 131
    {"PIXELZOOM1", F::PixelZoom, X, 0, kFXPixelZoomIn},  // 132
    {"PIXELZOOM2", F::PixelZoom, X, 0, kFXPixelZoomOut},  // 133
    {"WATER1", F::Water, X, 32, kFXRipple},  // 134
    {"WATER2", F::Water, X, 64, kFXRipple},  // 135
    {"WATER3", F::Water, X, 16, kFXRipple},  // 136
    {"WATER4", F::Water, X, 8, kFXRipple},  // 137
    {"STRUDEL", F::Water, X, 0, kFXSwirl},  // 138
    {"DISSOLVE", F::Dissolve},  // 139
    {"RANDOMEFFECT"},  // 140
};

// The id sets as inclusive ranges.
struct vkIdRange {
  int32_t first, last;
};
struct vkIdSet {
  uint16_t bit;
  std::initializer_list<vkIdRange> ranges;
};

constexpr vkIdRange kWhole[] = {{74, 81}, {101, 104}, {111, 112}, {118, 131}, {133, 133}};
constexpr vkIdRange kScroll[] = {{47, 54}};
constexpr vkIdRange kRealtime[] = {{55, 73}, {84, 87}, {99, 100}, {116, 117}, {132, 133}};
constexpr vkIdRange kLayerSafe[] = {{47, 54}, {55, 73}, {84, 87}, {99, 100}, {116, 117}, {132, 133}};
constexpr vkIdRange kSeekable[] = {{55, 81}, {84, 87}, {97, 104}, {111, 112}, {114, 139}};
constexpr vkIdRange kAlphaFade[] = {{115, 117}, {134, 138}};
constexpr vkIdRange kCleanup[] = {{47, 73}, {82, 82}, {84, 87}, {97, 100}, {114, 117}, {132, 139}};
constexpr vkIdRange kOldAlways[] = {{74, 74},   {76, 76},   {78, 81},   {101, 104},
                                    {111, 112}, {115, 115}, {118, 131}, {133, 133}};
constexpr vkIdRange kOldWithoutRealtime[] = {{55, 73}, {84, 87}, {97, 100}, {114, 114},
                                             {116, 117}, {132, 132}, {134, 139}};
constexpr vkIdRange kOldOnlyRealtime[] = {{75, 75}, {77, 77}};
constexpr vkIdRange kOldKeepsLayer[] = {{97, 98}, {114, 114}, {116, 117}, {134, 139}};
constexpr vkIdRange kOldKeepsLayerWithoutRealtime[] = {{115, 115}};

// Pairs that swap when an effect runs towards hiding.
constexpr vkIdRange kMirrors[] = {{24, 25}, {26, 27}, {30, 31}, {32, 33}, {38, 88}, {39, 89}, {40, 90},
                                  {41, 91}, {42, 92}, {43, 93}, {44, 94}, {45, 95}, {46, 96}};

template <size_t N>
constexpr bool Contains(const vkIdRange (&ranges)[N], int32_t id) {
  for (const vkIdRange& r : ranges)
    if (id >= r.first && id <= r.last) return true;
  return false;
}

constexpr std::array<vkFXRow, kFXRandomEffect + 1> BuildRows() {
  std::array<vkFXRow, kFXRandomEffect + 1> rows{};
  for (int32_t id = 0; id <= kFXRandomEffect; id++) {
    const vkFXEntry& e = kEntries[id];
    uint16_t sets = 0;
    if (id <= kFXLastId) {
      if (Contains(kWhole, id)) sets |= kFXWholePicture;
      if (Contains(kScroll, id)) sets |= kFXScroll;
      if (Contains(kRealtime, id)) sets |= kFXRealtimeLayer;
      if (Contains(kLayerSafe, id)) sets |= kFXLayerSafe;
      if (Contains(kSeekable, id)) sets |= kFXSeekable;
      if (Contains(kAlphaFade, id)) sets |= kFXAlphaFade;
      if (Contains(kCleanup, id)) sets |= kFXHasCleanup;
      if (Contains(kOldAlways, id)) sets |= kFXOldAlways;
      if (Contains(kOldWithoutRealtime, id)) sets |= kFXOldWithoutRealtime;
      if (Contains(kOldOnlyRealtime, id)) sets |= kFXOldOnlyRealtime;
      if (Contains(kOldKeepsLayer, id)) sets |= kFXOldKeepsLayer;
      if (Contains(kOldKeepsLayerWithoutRealtime, id)) sets |= kFXOldKeepsLayerWithoutRealtime;
    }
    int32_t mirror = id;
    for (const vkIdRange& m : kMirrors) {
      if (m.first == id) mirror = m.last;
      if (m.last == id) mirror = m.first;
    }
    rows[size_t(id)] = vkFXRow{e.name, e.family, e.axis, e.size, e.variant, mirror, sets};
  }
  return rows;
}

constexpr std::array<vkFXRow, kFXRandomEffect + 1> kRows = BuildRows();

constexpr vkFXFamilyRoutines kFamilies[] = {
    {nullptr, nullptr, nullptr},                             // None
    {FXStripesSetup, FXStripesDraw, nullptr},                // Stripes
    {FXBlindsSetup, FXBlindsDraw, nullptr},                  // Blinds
    {FXFadeSetup, FXFadeDraw, FXFadeCleanup},                // Fade
    {FXCrossfadeSetup, FXCrossfadeDraw, FXCrossfadeCleanup}, // Crossfade
    {FXCurtainSetup, FXCurtainDraw, nullptr},                // Curtain
    {FXBarsSetup, FXBarsDraw, nullptr},                      // Bars
    {FXQuartersSetup, FXQuartersDraw, nullptr},              // Quarters
    {FXRevealSetup, FXRevealDraw, nullptr},                  // Reveal
    {FXLinesSetup, FXLinesDraw, nullptr},                    // Lines
    {FXRectSetup, FXRectDraw, nullptr},                      // Rect
    {FXRectSetup, FXRectBackDraw, nullptr},                  // RectBack
    {FXStretchSetup, FXStretchDraw, nullptr},                // Stretch
    {FXFlowSetup, FXFlowDraw, FXFlowCleanup},                // Flow
    {FXPushSetup, FXPushDraw, nullptr},                      // Push
    {FXScrollSetup, FXScrollDraw, FXScrollCleanup},          // Scroll
    {FXGateSetup, FXGateDraw, nullptr},                      // Gate
    {FXSlideSetup, FXSlideDraw, nullptr},                    // Slide
    {FXCardSetup, FXCardDraw, nullptr},                      // Card
    {FXSplitSetup, FXSplitDraw, nullptr},                    // Split
    {FXZoomInOutSetup, FXZoomInOutDraw, nullptr},            // ZoomInOut
    // Puzzle
    {FXPuzzleSetup, FXPuzzleDraw, FXPuzzleCleanup},
    // Diagonal
    {FXDiagonalSetup, FXDiagonalDraw, nullptr},
    // Spiral
    {FXSpiralSetup, FXSpiralDraw, nullptr},
    // Swiss
    {FXSwissSetup, FXSwissDraw, nullptr},
    // QuadRect
    {FXQuadRectSetup, FXQuadRectDraw, nullptr},
    // UpDown
    {FXUpDownSetup, FXUpDownDraw, nullptr},
    // StrangePush
    {FXStrangePushSetup, FXStrangePushDraw, FXStrangePushCleanup},
    // TurnDown
    {FXTurnDownSetup, FXTurnDownDraw, nullptr},
    // Water
    {FXWaterSetup, FXWaterDraw, FXWaterCleanup},
    // Dissolve
    {FXDissolveSetup, FXDissolveDraw, FXDissolveCleanup},
    // MaskShape
    {FXMaskShapeSetup, FXMaskShapeDraw, FXMaskShapeCleanup},
    // Crush
    {FXCrushSetup, FXCrushDraw, nullptr},
    // FlipCoin
    {FXFlipCoinSetup, FXFlipCoinDraw, nullptr},
    // Roll
    {FXRollSetup, FXRollDraw, FXRollCleanup},
    // PixelZoom
    {FXPixelZoomSetup, FXPixelZoomDraw, FXPixelZoomCleanup},
};

// The constants in stored order: runs of ids by value under their row
// names, and the names that are not a row's own.
struct vkConstantRun {
  const char* alias;  // null: the rows first..last under their own names
  int32_t first, last;
};
constexpr vkConstantRun kStoredOrder[] = {
    {nullptr, 1, 6},     {nullptr, 8, 13},    {nullptr, 14, 18},   {nullptr, 19, 23},   {nullptr, 26, 26},
    {nullptr, 24, 24},   {nullptr, 27, 27},   {nullptr, 25, 25},   {nullptr, 30, 33},   {nullptr, 28, 29},
    {nullptr, 35, 35},   {nullptr, 34, 34},   {nullptr, 36, 37},   {nullptr, 115, 115}, {nullptr, 140, 140},
    {nullptr, 116, 117}, {nullptr, 38, 46},   {nullptr, 47, 50},   {"SCROLLWEST", 47, 47},  {"SCROLLEAST", 48, 48},
    {"SCROLLNORTH", 49, 49}, {"SCROLLSOUTH", 50, 50}, {nullptr, 53, 53},   {nullptr, 52, 52},   {nullptr, 54, 54},
    {nullptr, 51, 51},   {nullptr, 55, 69},   {nullptr, 70, 73},   {nullptr, 74, 77},   {nullptr, 78, 81},
    {nullptr, 82, 83},   {"RANDOMPARAMETER", kFXRandomParameter, kFXRandomParameter}, {nullptr, 84, 84},    {nullptr, 86, 86},
    {nullptr, 88, 96},   {nullptr, 0, 0},     {nullptr, 7, 7},     {nullptr, 87, 87},   {nullptr, 85, 85},
    {nullptr, 134, 139}, {nullptr, 97, 100},  {nullptr, 132, 133}, {nullptr, 118, 123}, {nullptr, 124, 127},
    {nullptr, 101, 112}, {nullptr, 128, 131}, {nullptr, 114, 114},
};

std::array<vkFXConstant, kFXConstantCount> BuildConstants() {
  std::array<vkFXConstant, kFXConstantCount> out{};
  size_t n = 0;
  for (const vkConstantRun& run : kStoredOrder) {
    if (run.alias) {
      out[n++] = {run.alias, run.first};
      continue;
    }
    for (int32_t id = run.first; id <= run.last; id++)
      if (kRows[size_t(id)].name) out[n++] = {kRows[size_t(id)].name, id};
  }
  return out;
}

}  // namespace

const vkFXRow& FXRow(int32_t id) {
  static const vkFXRow kNone{nullptr, vkFXFamily::None, X, 0, 0, 0, 0};
  if (id < 0 || id > kFXRandomEffect) return kNone;
  return kRows[size_t(id)];
}

const vkFXFamilyRoutines& FXFamilyRoutines(vkFXFamily family) { return kFamilies[size_t(family)]; }

bool FXIdBuilt(int32_t id) { return FXFamilyRoutines(FXRow(id).family).setup != nullptr; }

const std::array<vkFXConstant, kFXConstantCount>& FXConstants() {
  static const std::array<vkFXConstant, kFXConstantCount> constants = BuildConstants();
  return constants;
}
