// The effect table: every id's name, family and parameters, the id sets
// built from their ranges, and the constants in the order the library
// stores them.
#include "effects/fxtable.h"

#include <cstring>
#include <initializer_list>

namespace {

using F = vkFXFamily;
constexpr uint8_t X = kFXAlongX, Y = kFXAlongY;

// Per id: name, family, axis, slice size, variant. Ids without a family yet
// carry only their names.
struct vkFXEntry {
  const char* name;
  vkFXFamily family = F::None;
  uint8_t axis = X;
  int32_t size = 0;
  uint8_t variant = 0;
};

constexpr vkFXEntry kEntries[kFXRandomEffect + 1] = {
    {"HSTRIPES", F::Stripes, X, 0},      {"HSTRIPES2", F::Stripes, X, 2},    {"HSTRIPES4", F::Stripes, X, 4},
    {"HSTRIPES8", F::Stripes, X, 8},     {"HSTRIPES16", F::Stripes, X, 16},  {"HSTRIPES32", F::Stripes, X, 32},
    {"HSTRIPES64", F::Stripes, X, 64},   {"VSTRIPES", F::Stripes, Y, 0},     {"VSTRIPES2", F::Stripes, Y, 2},
    {"VSTRIPES4", F::Stripes, Y, 4},     {"VSTRIPES8", F::Stripes, Y, 8},    {"VSTRIPES16", F::Stripes, Y, 16},
    {"VSTRIPES32", F::Stripes, Y, 32},   {"VSTRIPES64", F::Stripes, Y, 64},  {"HBLINDS8", F::Blinds, Y, 8},
    {"HBLINDS16", F::Blinds, Y, 16},     {"HBLINDS32", F::Blinds, Y, 32},    {"HBLINDS64", F::Blinds, Y, 64},
    {"HBLINDS128", F::Blinds, Y, 128},   {"VBLINDS8", F::Blinds, X, 8},      {"VBLINDS16", F::Blinds, X, 16},
    {"VBLINDS32", F::Blinds, X, 32},     {"VBLINDS64", F::Blinds, X, 64},    {"VBLINDS128", F::Blinds, X, 128},
    {"VOPENCURTAIN"},                    {"VCLOSECURTAIN"},                  {"HOPENCURTAIN"},
    {"HCLOSECURTAIN"},                   {"BARS"},                           {"QUARTERS"},
    {"REVEALLEFT"},                      {"REVEALRIGHT"},                    {"REVEALTOP"},
    {"REVEALBOTTOM"},                    {"VLINES2"},                        {"HLINES2"},
    {"HLINES"},                          {"VLINES"},                         {"RECTCENTER"},
    {"RECTNORTH"},                       {"RECTNORTHEAST"},                  {"RECTEAST"},
    {"RECTSOUTHEAST"},                   {"RECTSOUTH"},                      {"RECTSOUTHWEST"},
    {"RECTWEST"},                        {"RECTNORTHWEST"},                  {"SCROLLLEFT"},
    {"SCROLLRIGHT"},                     {"SCROLLTOP"},                      {"SCROLLBOTTOM"},
    {"SCROLLNORTHEAST"},                 {"SCROLLSOUTHEAST"},                {"SCROLLSOUTHWEST"},
    {"SCROLLNORTHWEST"},                 {"STRETCHLEFT"},                    {"STRETCHRIGHT"},
    {"STRETCHTOP"},                      {"STRETCHBOTTOM"},                  {"HSTRETCHCENTER"},
    {"VSTRETCHCENTER"},                  {"ZOOMCENTER"},                     {"ZOOMNORTH"},
    {"ZOOMNORTHEAST"},                   {"ZOOMEAST"},                       {"ZOOMSOUTHEAST"},
    {"ZOOMSOUTH"},                       {"ZOOMSOUTHWEST"},                  {"ZOOMWEST"},
    {"ZOOMNORTHWEST"},                   {"HFLOWTOP"},                       {"HFLOWBOTTOM"},
    {"VFLOWLEFT"},                       {"VFLOWRIGHT"},                     {"HOPENGATE"},
    {"HCLOSEGATE"},                      {"VOPENGATE"},                      {"VCLOSEGATE"},
    {"PUSHLEFT"},                        {"PUSHRIGHT"},                      {"PUSHTOP"},
    {"PUSHBOTTOM"},                      {"PUZZLE"},                         {"DIAGONAL"},
    {"ROLLTOP"},                         {"ROLLLEFT"},                       {"WALLPAPERTOP"},
    {"WALLPAPERLEFT"},                   {"RECTBACKCENTER"},                 {"RECTBACKNORTH"},
    {"RECTBACKNORTHEAST"},               {"RECTBACKEAST"},                   {"RECTBACKSOUTHEAST"},
    {"RECTBACKSOUTH"},                   {"RECTBACKSOUTHWEST"},              {"RECTBACKWEST"},
    {"RECTBACKNORTHWEST"},               {"CLOCKWIPE"},                      {"STAR"},
    {"HSTRANGEPUSH"},                    {"VSTRANGEPUSH"},                   {"SLIDELEFT"},
    {"SLIDERIGHT"},                      {"SLIDETOP"},                       {"SLIDEBOTTOM"},
    {"SPIRAL"},                          {"SWISS"},                          {"QUADRECT"},
    {"HSPLIT"},                          {"VSPLIT"},                         {"UPNDOWN"},
    {"CARDTOP"},                         {"CARDBOTTOM"},                     {nullptr},
    {"SUN"},                             {"CROSSFADE", F::Crossfade},        {"FADE", F::Fade, X, 0, kFXFadeThroughColour},
    {"BLEND", F::Fade, X, 0, kFXBlendOver}, {"ZOOMIN"},                      {"ZOOMOUT"},
    {"CRUSHLEFT"},                       {"CRUSHRIGHT"},                     {"CRUSHTOP"},
    {"CRUSHBOTTOM"},                     {"VFLIPCOIN"},                      {"VLOWFLIPCOIN"},
    {"HFLIPCOIN"},                       {"HLOWFLIPCOIN"},                   {"TURNDOWNTOP"},
    {"TURNDOWNBOTTOM"},                  {"TURNDOWNLEFT"},                   {"TURNDOWNRIGHT"},
    {"PIXELZOOM1"},                      {"PIXELZOOM2"},                     {"WATER1"},
    {"WATER2"},                          {"WATER3"},                         {"WATER4"},
    {"STRUDEL"},                         {"DISSOLVE"},                       {"RANDOMEFFECT"},
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
    {FXCrossfadeSetup, FXCrossfadeDraw, FXCrossfadeCleanup}  // Crossfade
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

const std::array<vkFXConstant, kFXConstantCount>& FXConstants() {
  static const std::array<vkFXConstant, kFXConstantCount> constants = BuildConstants();
  return constants;
}
