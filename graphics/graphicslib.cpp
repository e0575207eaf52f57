// The graphics library: its command table (colour arithmetic, pointers,
// frame pacing, snapshots and picture probing, with the attribute, clip
// region and asynchronous drawing commands in their places), the constants
// shared by the whole graphics side, the named image cache of the preloads,
// the object statistics, the settings' attribute handlers, the opener and
// the shutdown steps that free what the graphics state holds.
#include "graphics/graphicslib.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/errorcodes.h"
#include "base/nocase.h"
#include "base/numconv.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/attributes.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/clipregions.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "graphics/picturesave.h"
#include "graphics/pointers.h"
#include "graphics/sprites.h"
#include "pixel/bitmap.h"
#include "pixel/bitmapops.h"
#include "pixel/picturefile.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"
#include "runtime/context.h"
#include "runtime/doscommands.h"
#include "runtime/dosfiles.h"

namespace {

// Platform facts (vkosGetAttr) the commands read.
constexpr int32_t kAttrFrameRate = 16;
constexpr int32_t kAttrPixelDepth = 21;

// The random colours: 12-bit 0xRGB, each channel later times 17.
constexpr std::array<uint16_t, 246> kRandomColours = {
    0xccc, 0x000, 0xfff, 0x888, 0xa20, 0xd50, 0xeb0, 0x080, 0x6b0, 0x170, 0x5bc, 0x367, 0x07b, 0x048, 0xe88,
    0xb55, 0xe72, 0xc64, 0x820, 0xfb7, 0x90f, 0x60c, 0xb70, 0x950, 0xfa5, 0xd84, 0x9b9, 0x686, 0x4a7, 0x175,
    0x333, 0xeee, 0x666, 0x000, 0x777, 0x240, 0x620, 0x510, 0x750, 0x540, 0x350, 0x030, 0x256, 0x133, 0x035,
    0x024, 0x744, 0x522, 0x731, 0x632, 0x410, 0x753, 0x407, 0x306, 0x530, 0x420, 0x752, 0x642, 0x454, 0x343,
    0x253, 0x032, 0x111, 0x777, 0xff0, 0xee0, 0xdd0, 0xcc0, 0xbb0, 0xaa0, 0x990, 0x880, 0x770, 0x660, 0x550,
    0x440, 0x330, 0x220, 0x110, 0xf00, 0xe00, 0xd00, 0xc00, 0xb00, 0xa00, 0x900, 0x800, 0x700, 0x600, 0x500,
    0x400, 0x300, 0x200, 0x0f0, 0x0e0, 0x0d0, 0x0c0, 0x0b0, 0x0a0, 0x090, 0x080, 0x070, 0x060, 0x050, 0x040,
    0x030, 0x020, 0x010, 0x00f, 0x00e, 0x00d, 0x00c, 0x00b, 0x00a, 0x009, 0x008, 0x007, 0x006, 0x005, 0x004,
    0x003, 0x002, 0x0ff, 0x0ee, 0x0dd, 0x0cc, 0x0bb, 0x0aa, 0x099, 0x088, 0x077, 0x066, 0x055, 0x044, 0x033,
    0x022, 0x011, 0xf0f, 0xe0e, 0xd0d, 0xc0c, 0xb0b, 0xa0a, 0x909, 0x808, 0x707, 0x606, 0x505, 0x404, 0x303,
    0x202, 0x101, 0xfff, 0xffe, 0xffd, 0xffc, 0xffb, 0xffa, 0xff9, 0xff8, 0xff7, 0xff6, 0xff5, 0xff4, 0xff3,
    0xff2, 0xff1, 0xff0, 0xfff, 0xeee, 0xddd, 0xccc, 0xbbb, 0xaaa, 0x999, 0x888, 0x777, 0x666, 0x555, 0x444,
    0x333, 0x222, 0x111, 0xf77, 0xf87, 0xfa7, 0xfb7, 0xfc7, 0xfd7, 0xff7, 0xef7, 0xdf7, 0xbf7, 0xaf7, 0x9f7,
    0x8f7, 0x7f8, 0x7f9, 0x7fa, 0x7fc, 0x7fd, 0x7fe, 0x7ef, 0x7df, 0x7cf, 0x7bf, 0x79f, 0x78f, 0x77f, 0x97f,
    0xa7f, 0xb7f, 0xc7f, 0xe7f, 0xf7f, 0xf00, 0xf20, 0xf50, 0xf70, 0xfa0, 0xfc0, 0xfe0, 0xdf0, 0xbf0, 0x8f0,
    0x6f0, 0x3f0, 0x1f0, 0x0f1, 0x0f4, 0x0f6, 0x0f9, 0x0fb, 0x0fd, 0x0ef, 0x0bf, 0x09f, 0x07f, 0x04f, 0x02f,
    0x00f, 0x30f, 0x50f, 0x80f, 0xa0f, 0xc0f,
};

vkGraphicsState& Gs(vkState* L) { return GraphicsState(L); }

int PushUnsigned(vkState* L, uint32_t value) {
  vmPushNumber(L, double(value));
  return 1;
}

// ---- Colours ----

template <int Shift>
int CmdChannel(vkState* L) {
  CheckArgCount(L, 1, 1);
  return PushUnsigned(L, vmCheckUnsigned(L, 1) >> Shift & 0xFF);
}

int CmdRGB(vkState* L) {
  CheckArgCount(L, 3, 3);
  return PushUnsigned(L, vmCheckUnsigned(L, 1) << 16 | vmCheckUnsigned(L, 2) << 8 | vmCheckUnsigned(L, 3));
}

int CmdARGB(vkState* L) {
  CheckArgCount(L, 2, 2);
  return PushUnsigned(L, vmCheckUnsigned(L, 1) << 24 | vmCheckUnsigned(L, 2));
}

int CmdMixRGB(vkState* L) {
  CheckArgCount(L, 3, 3);
  const uint32_t c1 = vmCheckUnsigned(L, 1), c2 = vmCheckUnsigned(L, 2);
  const int32_t ratio = vkDoubleToInt32(CheckNumberOrPercent(L, 3, 255, true, nullptr));
  uint32_t mixed = 0;
  if (!MixColors(c1, c2, ratio, &mixed)) return kErrWrongUsage;
  return PushUnsigned(L, mixed);
}

int CmdGetRealColor(vkState* L) {
  CheckArgCount(L, 1, 1);
  const vkDisplay* d = Gs(L).CurrentDisplay;
  return PushUnsigned(L, RealColor(vmCheckUnsigned(L, 1), vkosGetAttr(d ? d->os : nullptr, kAttrPixelDepth)));
}

int CmdGetRandomColor(vkState* L) {
  CheckArgCount(L, 0, 0);
  return PushUnsigned(L, RandomTableColor(vkDoubleToInt32(std::trunc(drand48() * double(kRandomColours.size())))));
}

int CmdGetPen(vkState* L) {
  CheckArgCount(L, 1, 1);
  const int32_t index = std::clamp(vkDoubleToInt32(vmCheckNumber(L, 1)), 0, 255);
  const vkBGPic* out = Gs(L).CurrentBGPic;
  if (!out || out->palette.size() <= size_t(index)) return PushUnsigned(L, 0xFFFFFFFFu);
  return PushUnsigned(L, out->palette[size_t(index)]);
}

// ---- Frame pacing ----

int CmdVWait(vkState* L) {
  CheckArgCount(L, 0, 0);
  FlushDisplayFrame(Gs(L));
  return 0;
}

int CmdSetFPSLimit(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkosSetOption(L, VKOS_OPTION_FRAMERATE, std::max(vkDoubleToInt32(vmCheckNumber(L, 1)), 0));
  return 0;
}

int CmdGetFPSLimit(vkState* L) {
  CheckArgCount(L, 0, 0);
  vmPushNumber(L, vkosGetAttr(nullptr, kAttrFrameRate));
  return 1;
}

// ---- Pictures ----

// IsPicture(file): True and {width, height, alpha}, or False and zeros for
// a file that is missing or no picture the player reads.
int CmdIsPicture(vkState* L) {
  CheckArgCount(L, 1, 1);
  const std::string file = ResolveLinkedFile(L, dos::TextArg(L, 1).c_str(), 0, nullptr);
  int32_t width = 0, height = 0;
  bool alpha = false;
  const bool ok = ProbePictureFile(file.c_str(), &width, &height, &alpha) == 0;
  if (!ok) width = height = 0, alpha = false;
  vmPushNumber(L, ok ? 1 : 0);
  vmNewTable(L);
  SetFieldInt(L, "width", width);
  SetFieldInt(L, "height", height);
  SetFieldInt(L, "alpha", alpha ? 1 : 0);
  return 2;
}

int CmdDumpVideoTime(vkState* L) {
  CheckArgCount(L, 0, 0);
  vmPushNumber(L, -1);  // no recorder runs
  return 1;
}

// The commands in the order the library lists them; GetAttribute and the
// clip-region and asynchronous-drawing commands come from their own units.
struct vkNamedCommand {
  const char* name;
  vkCFunction func;  // null: taken from the unit that owns it
};
constexpr vkNamedCommand kCommandOrder[] = {
    {"Red", CmdChannel<16>},        {"Green", CmdChannel<8>},
    {"Blue", CmdChannel<0>},        {"RGB", CmdRGB},
    {"ARGB", CmdARGB},              {"MovePointer", CmdMovePointer},
    {"HidePointer", CmdHidePointer}, {"SetPointer", CmdSetPointer},
    {"ShowPointer", CmdShowPointer}, {"GetAttribute", nullptr},
    {"GetPen", CmdGetPen},          {"VWait", CmdVWait},
    {"SetFPSLimit", CmdSetFPSLimit}, {"GetFPSLimit", CmdGetFPSLimit},
    {"IsPicture", CmdIsPicture},    {"GetRealColor", CmdGetRealColor},
    {"SaveSnapshot", CmdSaveSnapshot}, {"MixRGB", CmdMixRGB},
    {"CreateClipRegion", nullptr},  {"SetClipRegion", nullptr},
    {"FreeClipRegion", nullptr},    {"CreatePointer", CmdCreatePointer},
    {"FreePointer", CmdFreePointer}, {"AsyncDrawFrame", nullptr},
    {"CancelAsyncDraw", nullptr},   {"FinishAsyncDraw", nullptr},
    {"DumpVideoTime", CmdDumpVideoTime}, {"GetRandomColor", CmdGetRandomColor},
};
constexpr size_t kCommandCount = std::size(kCommandOrder);

// The library's table, built once from the order above (a constant table:
// the library registry keeps a pointer to it).
const vkCommandDef* GraphicsCommands() {
  static const std::array<vkCommandDef, kCommandCount + 1> table = [] {
    std::array<vkCommandDef, kCommandCount + 1> t{};
    const vkCommandDef* owners[] = {AttributeCommandTable(), ClipRegionCommandTable(), AsyncDrawCommandTable()};
    for (size_t i = 0; i < kCommandCount; i++) {
      t[i] = vkCommandDef{kCommandOrder[i].name, kCommandOrder[i].func};
      for (const vkCommandDef* owner : owners)
        for (const vkCommandDef* c = owner; !t[i].func && c->name; c++)
          if (std::strcmp(c->name, t[i].name) == 0) t[i].func = c->func;
    }
    t[kCommandCount] = vkCommandDef{nullptr, nullptr};
    return t;
  }();
  return table.data();
}

const vkConstantDef kGraphicsConstants[] = {
    {"NOTRANSPARENCY", nullptr, 4294967295.0},
    {"USELAYERPOSITION", nullptr, 100000},
    {"NORMALSPEED", nullptr, -1},
    {"FASTSPEED", nullptr, -2},
    {"SLOWSPEED", nullptr, -3},
    {"DEFAULTSPEED", nullptr, -4},
    {"LINEAR", nullptr, 2},
    {"SNAPWINDOW", nullptr, SNAPWINDOW},
    {"SNAPDISPLAY", nullptr, SNAPDISPLAY},
    {"SNAPDESKTOP", nullptr, SNAPDESKTOP},
    {"IMGFMT_BMP", nullptr, IMGFMT_BMP},
    {"IMGFMT_PNG", nullptr, IMGFMT_PNG},
    {"IMGFMT_JPEG", nullptr, IMGFMT_JPEG},
    {"IMGFMT_GIF", nullptr, IMGFMT_GIF},
    {"IMGFMT_ILBM", nullptr, IMGFMT_ILBM},
    {"ANMFMT_GIF", nullptr, 0},
    {"ANMFMT_MJPEG", nullptr, 1},
    {"STDPTR_SYSTEM", nullptr, STDPTR_SYSTEM},
    {"STDPTR_BUSY", nullptr, STDPTR_BUSY},
    {"STDPTR_CUSTOM", nullptr, STDPTR_CUSTOM},
    {"NONE", nullptr, -1},
    {nullptr, nullptr, 0},
};

// ---- The image cache ----

vkImageCacheEntry* FindEntry(vkImageCache& cache, const std::string& name) {
  for (vkImageCacheEntry& e : cache)
    if (EqualsNoCase(e.name, name)) return &e;
  return nullptr;
}

size_t EntryBytes(int32_t width, int32_t height, bool alpha) {
  const size_t pixels = size_t(width) * size_t(height);
  return pixels * 4 + (alpha ? size_t(AlphaBytesPerRow(width)) * size_t(height) : 0);
}

size_t CacheBytes(const vkImageCache& cache) {
  size_t total = 0;
  for (const vkImageCacheEntry& e : cache)
    if (e.pixels) total += EntryBytes(e.width, e.height, e.alpha != nullptr);
  return total;
}

}  // namespace

// ---- Colours ----

uint32_t RealColor(uint32_t colour, int32_t depth) {
  if (depth == 15) return colour & 0xF8F8F8;
  if (depth == 16) return colour & 0xF8FCF8;
  return colour;
}

bool MixColors(uint32_t c1, uint32_t c2, int32_t ratio, uint32_t* out) {
  if (ratio < 0 || ratio > 255) return false;
  uint32_t mixed = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int32_t a = int32_t(c1 >> shift & 0xFF), b = int32_t(c2 >> shift & 0xFF);
    mixed |= uint32_t(a + ((ratio * (b - a)) >> 8)) << shift;
  }
  *out = mixed;
  return true;
}

uint32_t RandomTableColor(int32_t index) {
  const uint32_t c = kRandomColours[size_t(std::clamp<int32_t>(index, 0, int32_t(kRandomColours.size()) - 1))];
  return (c >> 8 & 0xF) * 17 << 16 | (c >> 4 & 0xF) * 17 << 8 | (c & 0xF) * 17;
}

// ---- The image cache ----

int32_t FindCachedImage(vkGraphicsState& gs, const std::string& name, bool wantAlpha, int32_t* width,
                        int32_t* height, vkBufferPtr<uint32_t>* pixels, vkPlanePtr* alpha) {
  const vkImageCacheEntry* e = FindEntry(gs.imageCache, name);
  if (!e || !e->pixels || (wantAlpha && !e->alpha)) return kErrGfxCache;
  const size_t n = size_t(e->width) * size_t(e->height);
  vkBufferPtr<uint32_t> copy(static_cast<uint32_t*>(AllocateArray(n, 4, false)));
  if (!copy) return kErrOutOfMemory;
  std::memcpy(copy.get(), e->pixels.get(), n * 4);
  vkPlanePtr plane;
  if (e->alpha) {
    plane.reset(CopyAlphaPlane(e->alpha.get(), e->width, e->height));
    if (!plane) return kErrOutOfMemory;
  }
  *width = e->width, *height = e->height;
  *pixels = std::move(copy);
  *alpha = std::move(plane);
  return 0;
}

int32_t AddCachedImage(vkGraphicsState& gs, const std::string& name, int32_t width, int32_t height,
                       const uint32_t* pixels, const vkPlane* alpha) {
  if (FindEntry(gs.imageCache, name)) return 0;
  vkImageCacheEntry entry;
  entry.name = name;
  entry.width = width, entry.height = height;
  // Over the budget only the name is kept: loaders then read the file.
  if (width > 0 && height > 0 && CacheBytes(gs.imageCache) + EntryBytes(width, height, alpha != nullptr) <=
                                      gs.imageCacheBudget) {
    const size_t n = size_t(width) * size_t(height);
    entry.pixels.reset(static_cast<uint32_t*>(AllocateArray(n, 4, false)));
    if (!entry.pixels) return kErrOutOfMemory;
    std::memcpy(entry.pixels.get(), pixels, n * 4);
    if (alpha) {
      entry.alpha.reset(CopyAlphaPlane(alpha, width, height));
      if (!entry.alpha) return kErrOutOfMemory;
    }
  }
  gs.imageCache.push_back(std::move(entry));
  return 0;
}

bool IsImageDeclined(vkGraphicsState& gs, const std::string& name) {
  const vkImageCacheEntry* e = FindEntry(gs.imageCache, name);
  return e && !e->pixels;
}

// ---- Statistics ----

std::string DumpObjectCounts(vkState* L) {
  vkGraphicsState& gs = Gs(L);
  vkProgramContext& context = ProgramContext(L);
  const vkBGPic* out = gs.CurrentBGPic;
  int32_t regions = 0;
  for (const vkClipRegion& r : gs.clipRegions) regions += r.deleted ? 0 : 1;
  // Anims, fonts, layers, musics, samples and text objects are counted by
  // the libraries above this one, which report none here.
  const int32_t counts[] = {
      0,
      int32_t(gs.asyncDraws.objects.size()),
      CountBGPics(gs),
      CountBrushes(gs),
      regions,
      int32_t(context.dos.directories.size()),
      CountDisplays(gs),
      int32_t(context.dos.files.size()),
      0,
      0,
      0,
      int32_t(context.memBlocks.size()),
      0,
      CountPointers(gs),
      0,
      out ? int32_t(out->sprites.size()) : 0,
      CountSprites(gs),
      0,
      int32_t(context.stopwatches.size()),
  };
  static constexpr const char* kNames[] = {
      "Anims",          "Async draws",         "BGPics",          "Brushes",        "Clip regions",
      "Directories",    "Displays",            "Files",           "Fonts",          "Layers (on screen)",
      "Layers (total)", "Memory blocks",       "Musics",          "Pointer images", "Samples",
      "Sprites (on screen)", "Sprites (total)", "Text objects",   "Timers",
  };
  std::string text;
  char line[64];
  for (size_t i = 0; i < std::size(kNames); i++) {
    std::snprintf(line, sizeof line, "%-19s %d\n", kNames[i], counts[i]);
    text += line;
  }
  return text;
}

// ---- Settings, opener, shutdown ----

int SetGraphicsAttr(vkState* L, void*, uint32_t tag, intptr_t value) {
  vkGraphicsSettings& settings = GraphicsState(L).settings;
  switch (tag) {
    case ATTR_MASKMODE:
      settings.maskMode = static_cast<int32_t>(value);
      return 1;
    case ATTR_ALPHAINTENSITY:
      settings.alphaIntensity = static_cast<int32_t>(value);
      return 1;
    default:
      return 0;
  }
}

int GetGraphicsAttr(vkState* L, void*, uint32_t tag, int32_t* result) {
  const vkGraphicsSettings& settings = GraphicsState(L).settings;
  switch (tag) {
    case ATTR_MASKMODE:
      *result = settings.maskMode;
      return 1;
    case ATTR_ALPHAINTENSITY:
      *result = settings.alphaIntensity;
      return 1;
    default:
      return 0;
  }
}

int OpenGraphicsLibrary(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  gs.fallbackDisplay = std::make_unique<vkDisplay>();
  gs.fallbackDisplay->renderTarget = kTargetBrush;
  FreeImageCache(gs.imageCache);
  const vkCommandDef* commands = GraphicsCommands();
  vmRegisterFunctions(L, nullptr, commands, 0);
  RegisterClipRegionCommands(L);
  RegisterAsyncDrawCommands(L);
  RegisterAttributeCommands(L);
  vmRegisterConstants(L, kGraphicsConstants);
  RegisterPointerAttributes(L);
  ProgramContext(L).preloadsEnded = FreeImageCache;
  return RegisterLibrary(L, commands, "graphics");
}

int FreeGraphicsObjects(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  FreeImageCache(gs.imageCache);
  FreeAllAsyncDraws(gs);
  FreeAllClipRegions(gs);
  FreeAllPointers(gs);
  gs.scratch.clear();
  gs.fallbackDisplay.reset();
  return 0;
}

void FreeImageCache(vkState* L) { FreeImageCache(GraphicsState(L).imageCache); }

void FreeDrawBuffers(vkState* L) { GraphicsState(L).scaleTables.Free(); }
