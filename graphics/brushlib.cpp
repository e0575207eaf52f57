// The "brush" script library: loading, creating, copying, showing and
// changing brushes. Every command that changes a brush goes through
// FindBrushForChange (the active target, locks, vector brushes and
// copy-before-modify) and builds the new planes before the old ones go, so a
// failure leaves the brush as it was.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/catalog.h"
#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/attributes.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/doublebuffer.h"
#include "graphics/outputtargets.h"
#include "graphics/graphicslib.h"
#include "graphics/picturesave.h"
#include "graphics/positions.h"
#include "graphics/sprites.h"
#include "pixel/alphakernels.h"
#include "pixel/bitmapops.h"
#include "pixel/colourkernels.h"
#include "pixel/copykernels.h"
#include "pixel/picturefile.h"
#include "platform/vkos_display.h"
#include "runtime/console.h"
#include "runtime/context.h"
#include "runtime/doscommands.h"

namespace {

constexpr uint32_t kCatalogLoadingBrush = 101;
constexpr int32_t kKeepAspect = 100000;
constexpr uint32_t kRgbMask = 0x00FFFFFF;

vkGraphicsState& Gs(vkState* L) { return GraphicsState(L); }
int32_t IntArg(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }
int32_t OptIntArg(vkState* L, int i, int32_t def) { return vkDoubleToInt32(vmOptNumber(L, i, def)); }

// The new brush's handle for a script that let the system choose.
int PushId(vkState* L, vkIdRequest request, const vkBrush& b) {
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, b.id.handle);
  return 1;
}

// Frees the brush that holds the number a new one is to take.
int32_t FreeNumber(vkGraphicsState& gs, vkIdRequest request) {
  if (request.automatic) return 0;
  return FreeBrushById(gs, vkObjectId{request.number, nullptr}, false);
}

// A level given as a number or "N%" of 255; 1055 outside 0..255.
int32_t LevelArg(vkState* L, int i, int32_t* out) {
  const double v = CheckNumberOrPercent(L, i, 255, false, nullptr);
  if (!(v >= 0 && v <= 255)) return kErrWrongUsage;
  *out = vkDoubleToInt32(v);
  return 0;
}

// A width or height given as pixels or as "N%" of [reference].
int32_t SizeArg(vkState* L, int i, int32_t reference) {
  return vkDoubleToInt32(CheckNumberOrPercent(L, i, reference, true, nullptr));
}

// KEEPASPRAT in one of the sizes takes the other's with the source's ratio.
int32_t KeepAspect(int32_t srcWidth, int32_t srcHeight, int32_t* width, int32_t* height) {
  if (*width == kKeepAspect && *height == kKeepAspect) return kErrWrongUsage;
  const double ratio = double(srcWidth) / srcHeight;
  if (*width == kKeepAspect && *height > 0) *width = vkDoubleToInt32(std::floor(*height * ratio + 0.5));
  if (*height == kKeepAspect && *width > 0) *height = vkDoubleToInt32(std::floor(*width / ratio + 0.5));
  if (*width < 1 || *height < 1) return kErrSizeNotPositive;
  return 0;
}

// The optional options table: the first argument from [from] on that is a
// table and the last argument; 0 when there is none.
int TableArg(vkState* L, int from) {
  const int top = vmGetTop(L);
  return top >= from && vmType(L, top) == VK_TTABLE ? top : 0;
}

// Applies [m] to the brush's planes: 1055 for a matrix that cannot be.
int32_t TransformBrushBitmaps(vkBrush& b, const double m[4], bool smooth) {
  vkBitMap* bitmap = nullptr;
  vkPlane *mask = nullptr, *alpha = nullptr;
  int32_t w, h;
  if (int32_t rc = TransformBitMap(b.bitmap.get(), b.mask.get(), b.alpha.get(), 0, 0, b.width, b.height, m, smooth,
                                   &bitmap, &mask, &alpha, &w, &h))
    return rc;
  ReplaceBrushPlanes(b, vkPlanes{vkBitMapPtr(bitmap), vkPlanePtr(mask), vkPlanePtr(alpha)});
  return 0;
}

// The brush of argument 1 ready to be changed.
int32_t BrushForChange(vkState* L, vkBrush** out) { return FindBrushForChange(Gs(L), CheckObjectId(L, 1), out); }

int32_t PixelsPerRow(const vkBrush& b) { return b.bitmap->bytesPerRow / 4; }

// ---- Creating and loading ----

int cmdCreateBrush(vkState* L) {
  CheckArgCount(L, 3, 5);
  const vkIdRequest request = OptObjectId(L, 1);
  const int32_t width = IntArg(L, 2), height = IntArg(L, 3);
  const int table = TableArg(L, 4);
  const uint32_t rgb = table == 4 ? 0 : vmOptUnsigned(L, 4, 0);
  int32_t withMask = 0, withAlpha = 0, clear = 0;
  if (table) {
    OptFieldInt(L, table, "mask", &withMask, nullptr);
    OptFieldInt(L, table, "alphachannel", &withAlpha, nullptr);
    OptFieldInt(L, table, "clear", &clear, nullptr);
  }
  if (withMask && withAlpha) return kErrWrongUsage;
  if (width < 1 || height < 1) return kErrSizeNotPositive;
  vkGraphicsState& gs = Gs(L);
  if (int32_t rc = FreeNumber(gs, request)) return rc;
  vkBrush* b = nullptr;
  if (int32_t rc = CreateBrushRecord(gs, request, width, height, rgb & kRgbMask, withMask, withAlpha, clear, &b))
    return rc;
  return PushId(L, request, *b);
}

// What LoadBrush reads from its options.
struct vkLoadOptions {
  int32_t key = -1;
  int32_t loadAlpha = 0;
  int32_t globalAlpha = -1;
  int32_t x = 0, y = 0, width = 0, height = 0;
  std::string cache, cachedLoad;
  int32_t cacheAlpha = 0;
};

int32_t ReadLoadOptions(vkState* L, vkLoadOptions* o) {
  const int top = vmGetTop(L);
  if (top < 3) return 0;
  if (vmType(L, 3) != VK_TTABLE) {
    o->key = int32_t(vmCheckUnsigned(L, 3));
    return 0;
  }
  uint32_t key = 0;
  if (OptFieldUnsigned(L, 3, "transparency", &key, nullptr)) o->key = int32_t(key);
  OptFieldInt(L, 3, "loadalpha", &o->loadAlpha, nullptr);
  OptFieldInt(L, 3, "globalalpha", &o->globalAlpha, nullptr);
  OptFieldInt(L, 3, "x", &o->x, nullptr);
  OptFieldInt(L, 3, "y", &o->y, nullptr);
  OptFieldInt(L, 3, "width", &o->width, nullptr);
  OptFieldInt(L, 3, "height", &o->height, nullptr);
  OptFieldString(L, 3, "cache", &o->cache, nullptr);
  OptFieldString(L, 3, "cachedload", &o->cachedLoad, nullptr);
  OptFieldInt(L, 3, "cachealpha", &o->cacheAlpha, nullptr);
  if (o->key != -1 && (o->loadAlpha || o->globalAlpha != -1)) return kErrMaskAndAlpha;
  if (o->globalAlpha != -1 && (o->globalAlpha < 0 || o->globalAlpha > 255)) return kErrWrongUsage;
  return 0;
}

// A picture as ARGB words with its alpha plane, from the file or the cache.
struct vkPicture {
  vkBufferPtr<uint32_t> pixels;
  vkPlanePtr alpha;
  int32_t width = 0, height = 0;
};

int32_t ReadPicture(vkState* L, const std::string& file, const vkLoadOptions& o, vkPicture* pic) {
  vkGraphicsState& gs = Gs(L);
  int32_t preloading = 0;
  GetAttrs(L, nullptr, {{ATTR_SCRIPTPHASE, &preloading}});
  // A picture the cache declined for its size is read from its own file.
  if (preloading && !o.cachedLoad.empty() && !IsImageDeclined(gs, o.cachedLoad)) {
    if (int32_t rc = FindCachedImage(gs, o.cachedLoad, o.loadAlpha != 0, &pic->width, &pic->height, &pic->pixels,
                                     &pic->alpha))
      return rc;
    if (!o.loadAlpha && o.globalAlpha == -1) pic->alpha.reset();
    return 0;
  }
  const bool wantAlpha = o.loadAlpha || o.globalAlpha != -1 || (preloading && o.cacheAlpha);
  const int32_t mode = o.loadAlpha ? PICTURE_ALPHA_REQUIRE : wantAlpha ? PICTURE_ALPHA_KEEP : PICTURE_ALPHA_DROP;
  uint32_t* pixels = nullptr;
  vkPlane* alpha = nullptr;
  int32_t w = 0, h = 0;
  if (uint32_t rc = LoadPictureFile(file.c_str(), mode, &pixels, wantAlpha ? &alpha : nullptr, nullptr, nullptr, &w,
                                    &h))
    return int32_t(rc);
  pic->pixels.reset(pixels);
  pic->alpha.reset(alpha);
  pic->width = w, pic->height = h;
  if (preloading && !o.cache.empty())
    if (int32_t rc = AddCachedImage(gs, o.cache, w, h, pixels, o.cacheAlpha ? alpha : nullptr)) return rc;
  if (!o.loadAlpha && o.globalAlpha == -1) pic->alpha.reset();
  return 0;
}

int cmdLoadBrush(vkState* L) {
  CheckArgCount(L, 2, 5);
  const vkIdRequest request = OptObjectId(L, 1);
  const std::string file = ResolveLinkedFile(L, dos::TextArg(L, 2).c_str(), 0, nullptr);
  vkLoadOptions o;
  if (int32_t rc = ReadLoadOptions(L, &o)) return rc;
  PrintStatus(L, GetCatalogText(kCatalogLoadingBrush), file.c_str(), true);
  vkPicture pic;
  if (int32_t rc = ReadPicture(L, file, o, &pic)) return rc;
  // A part of the picture: its origin inside it, its size cut to it.
  if (o.x < 0 || o.y < 0) return kErrNegativeCoords;
  if (o.x >= pic.width || o.y >= pic.height) return kErrCoordsOutOfRange;
  const int32_t w = o.width > 0 ? std::min(o.width, pic.width - o.x) : pic.width - o.x;
  const int32_t h = o.height > 0 ? std::min(o.height, pic.height - o.y) : pic.height - o.y;
  vkBitMap* bitmap = nullptr;
  vkPlane* mask = nullptr;
  const uint32_t* first = pic.pixels.get() + size_t(o.y) * size_t(pic.width) + size_t(o.x);
  if (uint32_t rc = CreateBitMapFromARGB(first, o.key, w, h, pic.width, &bitmap, &mask)) return int32_t(rc);
  vkBitMapPtr ownedBitMap(bitmap);
  vkPlanePtr ownedMask(mask);
  vkPlanePtr alpha;
  if (pic.alpha) {
    vkPlane* part = nullptr;
    if (int32_t rc = CopyBitMapRect(nullptr, nullptr, pic.alpha.get(), o.x, o.y, w, h, nullptr, nullptr, &part))
      return rc;
    alpha.reset(part);
  }
  if (o.globalAlpha != -1) {
    if (alpha) {
      MultiplyAlphaPlane(alpha->data, alpha->data, o.globalAlpha, alpha->bytesPerRow, alpha->height);
    } else {
      alpha.reset(AllocAlphaPlane(w, h, false));
      if (!alpha) return kErrOutOfMemory;
      FillAlphaRect(alpha.get(), 0, 0, w, h, uint8_t(o.globalAlpha));
    }
  }
  vkGraphicsState& gs = Gs(L);
  if (int32_t rc = FreeNumber(gs, request)) return rc;
  vkBrush& b = AddBrushRecord(gs, request, vkPlanes{std::move(ownedBitMap), std::move(ownedMask), std::move(alpha)}, o.key);
  PrintDone(L);
  return PushId(L, request, b);
}

int cmdFreeBrush(vkState* L) {
  CheckArgCount(L, 1, 1);
  return FreeBrushById(Gs(L), CheckObjectId(L, 1), true);
}

int cmdCopyBrush(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = Gs(L);
  const vkObjectId sourceId = CheckObjectId(L, 1);
  const vkIdRequest request = OptObjectId(L, 2);
  vkBrush* source = nullptr;
  if (int32_t rc = FindBrush(gs, sourceId, &source, 0)) return rc;
  vkBrush* copy = nullptr;
  if (int32_t rc = CloneBrush(gs, *source, vkIdRequest{0, true}, &copy)) return rc;
  if (int32_t rc = FreeNumber(gs, request)) {
    Brushes(gs).brushes.remove_if([copy](const vkBrush& b) { return &b == copy; });
    return rc;
  }
  if (!request.automatic) copy->id = vkObjectId{request.number, nullptr};
  return PushId(L, request, *copy);
}

// ---- Displaying ----

int cmdDisplayBrush(vkState* L) {
  CheckArgCount(L, 3, 4);
  vkDisplayRequest rq;
  rq.type = kObjectBrush;
  rq.id = CheckObjectId(L, 1);
  rq.x = IntArg(L, 2), rq.y = IntArg(L, 3);
  rq.optionsIndex = vmGetTop(L) >= 4 ? 4 : 0;
  return DisplayBitmapObject(L, rq);
}

int cmdDisplayBrushPart(vkState* L) {
  CheckArgCount(L, 7, 8);
  vkDisplayRequest rq;
  rq.type = kObjectBrushPart;
  rq.id = CheckObjectId(L, 1);
  rq.sx = IntArg(L, 2), rq.sy = IntArg(L, 3);
  rq.x = IntArg(L, 4), rq.y = IntArg(L, 5);
  rq.width = IntArg(L, 6), rq.height = IntArg(L, 7);
  rq.optionsIndex = vmGetTop(L) >= 8 ? 8 : 0;
  return DisplayBitmapObject(L, rq);
}

// ---- Changing size and shape ----

int cmdScaleBrush(vkState* L) {
  CheckArgCount(L, 3, 4);
  vkBrush* b = nullptr;
  vkGraphicsState& gs = Gs(L);
  if (int32_t rc = FindBrush(gs, CheckObjectId(L, 1), &b, kBrushFindPixels)) return rc;
  int32_t width = SizeArg(L, 2, b->width), height = SizeArg(L, 3, b->height);
  const bool smooth = OptIntArg(L, 4, 0) != 0;
  if (int32_t rc = KeepAspect(b->width, b->height, &width, &height)) return rc;
  if (width == b->width && height == b->height) return 0;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  vkPlanes scaled;
  if (int32_t rc = ScalePlanes(gs, BrushSource(*b), width, height, smooth, &scaled)) return rc;
  ReplaceBrushPlanes(*b, std::move(scaled));
  return 0;
}

// TransformBrush and RotateBrush: the matrix applied to the brush.
int TransformWith(vkState* L, const double m[4], bool smooth) {
  vkBrush* b = nullptr;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  return TransformBrushBitmaps(*b, m, smooth);
}

int cmdTransformBrush(vkState* L) {
  CheckArgCount(L, 5, 6);
  CheckObjectId(L, 1);
  const double m[4] = {vmCheckNumber(L, 2), vmCheckNumber(L, 3), vmCheckNumber(L, 4), vmCheckNumber(L, 5)};
  return TransformWith(L, m, OptIntArg(L, 6, 0) != 0);
}

int cmdRotateBrush(vkState* L) {
  CheckArgCount(L, 2, 5);
  vkBrush* b = nullptr;
  if (int32_t rc = FindBrush(Gs(L), CheckObjectId(L, 1), &b, kBrushFindPixels)) return rc;
  const int32_t angle = IntArg(L, 2) % 360;
  const double sx = vmOptNumber(L, 3, 1.0), sy = vmOptNumber(L, 4, 1.0);
  const bool smooth = OptIntArg(L, 5, 0) != 0;
  if (sx == 0.0 || sy == 0.0) return kErrWrongUsage;
  vkTransform t;
  BuildTransformMatrix(&t, 0, 0, b->width, b->height, sx, sy, angle);
  return TransformWith(L, t.matrix, smooth);
}

int cmdFlipBrush(vkState* L) {
  CheckArgCount(L, 2, 2);
  const int32_t direction = IntArg(L, 2);
  vkBrush* b = nullptr;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  std::vector<uint8_t> scratch(size_t(MaskBytesPerRow(b->width)));
  vkFlipBlock f{};
  f.pixels = b->bitmap->pixels;
  f.width = b->width, f.height = b->height, f.pixelsPerRow = PixelsPerRow(*b);
  if (b->mask) f.mask = b->mask->data, f.maskBytesPerRow = b->mask->bytesPerRow;
  if (b->alpha) f.alpha = b->alpha->data, f.alphaBytesPerRow = b->alpha->bytesPerRow;
  f.direction = direction == 0 ? 1 : 0;  // the kernel's 0 swaps rows
  f.bytesPerPixel = b->bitmap->bytesPerPixel;
  f.scratch = scratch.data();
  FlipPixels(&f);
  return 0;
}

// Cuts the brush to the rectangle, which lies inside it.
int32_t CropTo(vkBrush& b, int32_t x, int32_t y, int32_t width, int32_t height) {
  vkPlanes part;
  if (int32_t rc = CopyPlanesRect(BrushSource(b), x, y, width, height, &part)) return rc;
  ReplaceBrushPlanes(b, std::move(part));
  return 0;
}

// A special coordinate inside the brush: 1154 when negative, 1217 outside.
int32_t PointArg(vkState* L, const vkBrush& b, int32_t* x, int32_t* y) {
  *x = ResolveSpecialX(IntArg(L, 2), 1, b.width, 0, 0);
  *y = ResolveSpecialY(IntArg(L, 3), 1, b.height, 0, 0);
  if (*x < 0 || *y < 0) return kErrNegativeCoords;
  if (*x >= b.width || *y >= b.height) return kErrCoordsOutOfRange;
  return 0;
}

int cmdCropBrush(vkState* L) {
  CheckArgCount(L, 5, 5);
  vkBrush* b = nullptr;
  vkGraphicsState& gs = Gs(L);
  if (int32_t rc = FindBrush(gs, CheckObjectId(L, 1), &b, kBrushFindPixels)) return rc;
  const int32_t width = IntArg(L, 4), height = IntArg(L, 5);
  if (width < 1 || height < 1) return kErrSizeNotPositive;
  const int32_t x = ResolveSpecialX(IntArg(L, 2), width, b->width, 0, 0);
  const int32_t y = ResolveSpecialY(IntArg(L, 3), height, b->height, 0, 0);
  if (x < 0 || y < 0) return kErrNegativeCoords;
  if (x >= b->width || y >= b->height) return kErrCoordsOutOfRange;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  return CropTo(*b, x, y, std::min(width, b->width - x), std::min(height, b->height - y));
}

// Whether the brush's pixel at (x, y) shows: its mask bit, or alpha above 0.
bool Shows(const vkBrush& b, int32_t x, int32_t y) {
  if (b.alpha) return b.alpha->data[size_t(y) * size_t(b.alpha->bytesPerRow) + size_t(x)] != 0;
  if (b.mask) return ReadBitMapPixel(b.mask.get(), x, y) != 0;
  return true;
}

int cmdTrimBrush(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkBrush* b = nullptr;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  int32_t x1 = b->width, y1 = b->height, x2 = -1, y2 = -1;
  for (int32_t y = 0; y < b->height; y++)
    for (int32_t x = 0; x < b->width; x++)
      if (Shows(*b, x, y)) x1 = std::min(x1, x), x2 = std::max(x2, x), y1 = std::min(y1, y), y2 = std::max(y2, y);
  if (x2 < 0) return kErrTrimTransparent;
  if (x1 == 0 && y1 == 0 && x2 == b->width - 1 && y2 == b->height - 1) return 0;
  return CropTo(*b, x1, y1, x2 - x1 + 1, y2 - y1 + 1);
}

// ---- Changing pixels ----

int cmdTintBrush(vkState* L) {
  CheckArgCount(L, 3, 3);
  const uint32_t rgb = vmCheckUnsigned(L, 2) & kRgbMask;
  int32_t level = 0;
  if (int32_t rc = LevelArg(L, 3, &level)) return rc;
  vkBrush* b = nullptr;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  return TintBitMap(b->bitmap.get(), 0, 0, b->width, b->height, rgb, level);
}

int cmdMixBrush(vkState* L) {
  CheckArgCount(L, 3, 3);
  int32_t level = 0;
  if (int32_t rc = LevelArg(L, 3, &level)) return rc;
  vkBrush* from = nullptr;
  if (int32_t rc = FindBrush(Gs(L), CheckObjectId(L, 2), &from, kBrushFindPixels)) return rc;
  vkBrush* b = nullptr;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  const int32_t w = std::min(b->width, from->width), h = std::min(b->height, from->height);
  return MixBitMaps(b->bitmap.get(), from->bitmap.get(), from->mask.get(), 0, 0, 0, 0, w, h, level,
                    from->alpha.get());
}

int cmdReplaceColors(vkState* L) {
  CheckArgCount(L, 2, 2);
  vmCheckTable(L, 2);
  std::vector<uint32_t> pairs;
  for (int k = 0;; k++) {
    vmRawGetI(L, 2, k);
    const int type = vmType(L, -1);
    const uint32_t v = type == VK_TNUMBER ? vkDoubleToWord(vmToNumber(L, -1)) : 0;
    vmSetTop(L, -2);
    if (type == VK_TNIL) break;
    if (type != VK_TNUMBER) return kErrWrongUsage;
    pairs.push_back(v & kRgbMask);
  }
  if (pairs.empty() || pairs.size() % 2 != 0) return kErrWrongUsage;
  pairs.push_back(0xFFFFFFFFu);
  vkBrush* b = nullptr;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  ReplaceColorPixels32(b->width, b->height, pairs.data(), b->bitmap->pixels, PixelsPerRow(*b), kRgbMask);
  return 0;
}

int cmdInvertBrush(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkBrush* b = nullptr;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  InvertPixels32(b->bitmap->pixels, b->width, b->height, PixelsPerRow(*b));
  return 0;
}

int cmdBrushToGray(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkBrush* b = nullptr;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  ConvertPixelsToGray32(b->bitmap->pixels, b->width, b->height, b->bitmap->format, PixelsPerRow(*b));
  return 0;
}

int cmdFloodFill(vkState* L) {
  CheckArgCount(L, 3, 5);
  vkBrush* b = nullptr;
  if (int32_t rc = FindBrush(Gs(L), CheckObjectId(L, 1), &b, kBrushFindPixels)) return rc;
  int32_t x, y;
  if (int32_t rc = PointArg(L, *b, &x, &y)) return rc;
  const uint32_t border = vmOptUnsigned(L, 4, 0) & kRgbMask, fill = vmOptUnsigned(L, 5, 0) & kRgbMask;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  vkFloodFillBlock f{};
  f.pixels = b->bitmap->pixels;
  f.areaWidth = b->width, f.areaHeight = b->height, f.pixelsPerRow = PixelsPerRow(*b);
  f.border = RGBToPixel(border, b->bitmap->format);
  f.fill = RGBToPixel(fill, b->bitmap->format);
  FloodFillPixels32(&f, x, y, kRgbMask);
  return 0;
}

// ---- Masks and alpha channels ----

int cmdSetBrushTransparency(vkState* L) {
  CheckArgCount(L, 2, 2);
  const int32_t key = int32_t(vmCheckUnsigned(L, 2));
  vkBrush* b = nullptr;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  vkPlanePtr mask;
  if (key != -1) {
    mask.reset(CreateColorKeyMask(b->bitmap.get(), b->width, b->height, uint32_t(key) & kRgbMask));
    if (!mask) return kErrOutOfMemory;
  }
  b->mask = std::move(mask);
  b->alpha.reset();
  b->transparentColor = key == -1 ? -1 : int32_t(uint32_t(key) & kRgbMask);
  return 0;
}

// DeleteMask, DeleteAlphaChannel, InvertMask and InvertAlphaChannel: one
// plane of the brush, freed or inverted.
template <vkPlanePtr vkBrush::*Plane, bool Invert>
int PlaneCommand(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkBrush* b = nullptr;
  if (int32_t rc = BrushForChange(L, &b)) return rc;
  vkPlanePtr& plane = b->*Plane;
  if (!Invert) {
    plane.reset();
    if (Plane == &vkBrush::mask) b->transparentColor = -1;
    return 0;
  }
  if (!plane) return kErrWrongUsage;
  InvertPlaneBytes(plane->data, plane->height, plane->bytesPerRow);
  return 0;
}

int cmdSetMaskMode(vkState* L) {
  CheckArgCount(L, 1, 1);
  SetAttrs(L, nullptr, {{ATTR_MASKMODE, IntArg(L, 1)}});
  return 0;
}

int cmdSetAlphaIntensity(vkState* L) {
  CheckArgCount(L, 1, 1);
  int32_t level = 0;
  if (int32_t rc = LevelArg(L, 1, &level)) return rc;
  SetAttrs(L, nullptr, {{ATTR_ALPHAINTENSITY, level}});
  return 0;
}

// ---- Brushes from other objects ----

// The planes of frame [frame] (1-based) of an object of [type].
int32_t ObjectPlanes(vkState* L, int32_t type, vkObjectId id, int32_t frame, vkBitmapSource* out) {
  vkGraphicsState& gs = Gs(L);
  switch (type) {
    case kObjectBrush: {
      vkBrush* b = nullptr;
      if (int32_t rc = FindBrush(gs, id, &b, kBrushFindPixels)) return rc;
      *out = BrushSource(*b);
      return 0;
    }
    case kObjectSprite:
      return GetSpriteFramePlanes(gs, id, frame, out);
    case kObjectBGPic:
      if (!Brushes(gs).bgpicSource) return kErrWrongUsage;
      return Brushes(gs).bgpicSource(L, type, id, frame - 1, out);
    case kObjectAnim:
      if (!Brushes(gs).animSource) return kErrWrongUsage;
      return Brushes(gs).animSource(L, type, id, frame - 1, out);
    case kObjectLayer:
      if (!Brushes(gs).layerSource) return kErrLayersRequired;
      return Brushes(gs).layerSource(L, type, id, frame - 1, out);
    case kObjectTextObject:
      if (!Brushes(gs).textObjectSource) return kErrWrongUsage;
      return Brushes(gs).textObjectSource(L, type, id, frame - 1, out);
    default:
      return kErrWrongUsage;
  }
}

int32_t ConvertObjectToBrush(vkState* L, int32_t type, vkObjectId source, vkIdRequest request, int32_t frame) {
  vkGraphicsState& gs = Gs(L);
  if (type == kObjectBrush && !request.automatic && source == vkObjectId{request.number, nullptr})
    return kErrWrongUsage;
  vkBitmapSource src;
  if (int32_t rc = ObjectPlanes(L, type, source, frame, &src)) return rc;
  vkPlanes copy;
  if (int32_t rc = CopyPlanesRect(src, 0, 0, src.width, src.height, &copy)) return rc;
  if (int32_t rc = FreeNumber(gs, request)) return rc;
  vkBrush& b = AddBrushRecord(gs, request, std::move(copy), -1);
  return PushId(L, request, b);
}

int cmdConvertToBrush(vkState* L) {
  CheckArgCount(L, 3, 4);
  const int32_t type = IntArg(L, 1);
  const vkObjectId source = CheckObjectId(L, 2);
  return ConvertObjectToBrush(L, type, source, OptObjectId(L, 3), OptIntArg(L, 4, 1));
}

int cmdGetBrushLink(vkState* L) {
  CheckArgCount(L, 3, 4);
  const vkIdRequest request = OptObjectId(L, 1);
  const int32_t type = IntArg(L, 2);
  return ConvertObjectToBrush(L, type, CheckObjectId(L, 3), request, OptIntArg(L, 4, 1));
}

int cmdGrabDesktop(vkState* L) {
  CheckArgCount(L, 1, 2);
  const vkIdRequest request = OptObjectId(L, 1);
  const int32_t screenW = vkosGetAttr(nullptr, 14), screenH = vkosGetAttr(nullptr, 15);
  int32_t x = 0, y = 0, w = screenW, h = screenH;
  if (vmGetTop(L) >= 2) {
    vmCheckTable(L, 2);
    OptFieldInt(L, 2, "x", &x, nullptr);
    OptFieldInt(L, 2, "y", &y, nullptr);
    OptFieldInt(L, 2, "width", &w, nullptr);
    OptFieldInt(L, 2, "height", &h, nullptr);
  }
  if (x < 0 || y < 0 || w < 1 || h < 1) return kErrWrongUsage;
  w = int32_t(std::min<int64_t>(w, int64_t(screenW) - x));
  h = int32_t(std::min<int64_t>(h, int64_t(screenH) - y));
  if (w < 1 || h < 1) return kErrWrongUsage;
  std::vector<uint32_t> words;
  if (!vkosGrabScreen(x, y, w, h, &words) || words.size() < size_t(w) * size_t(h)) return kErrWrongUsage;
  vkBitMap* bitmap = nullptr;
  vkPlane* mask = nullptr;
  if (uint32_t rc = CreateBitMapFromARGB(words.data(), -1, w, h, w, &bitmap, &mask)) return int32_t(rc);
  vkBitMapPtr owned(bitmap);
  vkGraphicsState& gs = Gs(L);
  if (int32_t rc = FreeNumber(gs, request)) return rc;
  return PushId(L, request, AddBrushRecord(gs, request, vkPlanes{std::move(owned), nullptr, nullptr}, -1));
}

// SaveBrush(id, file, [transparent colour = 0], [format = IMGFMT_BMP],
// [options]): the colour fills what the mask hides (a GIF shows it
// transparent); a brush without a mask has no hidden pixels.
int cmdSaveBrush(vkState* L) {
  CheckArgCount(L, 2, 5);
  vkBrush* b = nullptr;
  if (int32_t rc = FindBrush(Gs(L), CheckObjectId(L, 1), &b, kBrushFindPixels)) return rc;
  const std::string file = dos::TextArg(L, 2);
  const uint32_t key = vmOptUnsigned(L, 3, 0);
  const int32_t transparent = key == 0xFFFFFFFFu ? -1 : int32_t(key & 0xFFFFFF);  // NOTRANSPARENCY: none
  const int32_t format = vkDoubleToInt32(vmOptNumber(L, 4, IMGFMT_BMP));
  vkSaveOptions options;
  ReadSaveOptions(L, 5, &options);
  return SavePictureToFile(format, b->bitmap.get(), b->width, b->height, file.c_str(), b->mask.get(),
                           b->mask ? transparent : -1, b->alpha.get(), options);
}

const vkCommandDef kBrushCommands[] = {
    {"CreateBrush", cmdCreateBrush},
    {"DisplayBrush", cmdDisplayBrush},
    {"DisplayBrushPart", cmdDisplayBrushPart},
    {"ScaleBrush", cmdScaleBrush},
    {"FreeBrush", cmdFreeBrush},
    {"TintBrush", cmdTintBrush},
    {"ReplaceColors", cmdReplaceColors},
    {"InvertBrush", cmdInvertBrush},
    {"FlipBrush", cmdFlipBrush},
    {"MixBrush", cmdMixBrush},
    {"BrushToGray", cmdBrushToGray},
    {"RotateBrush", cmdRotateBrush},
    {"GetBrushLink", cmdGetBrushLink},
    {"SelectBrush", CmdSelectBrush},
    {"CopyBrush", cmdCopyBrush},
    {"SetBrushTransparency", cmdSetBrushTransparency},
    {"LoadBrush", cmdLoadBrush},
    {"SelectMask", CmdSelectMask},
    {"SetMaskMode", cmdSetMaskMode},
    {"SaveBrush", cmdSaveBrush},
    {"SelectAlphaChannel", CmdSelectAlphaChannel},
    {"SetAlphaIntensity", cmdSetAlphaIntensity},
    {"DeleteAlphaChannel", PlaneCommand<&vkBrush::alpha, false>},
    {"CropBrush", cmdCropBrush},
    {"InvertMask", PlaneCommand<&vkBrush::mask, true>},
    {"InvertAlphaChannel", PlaneCommand<&vkBrush::alpha, true>},
    {"FloodFill", cmdFloodFill},
    {"DeleteMask", PlaneCommand<&vkBrush::mask, false>},
    {"BeginDoubleBuffer", CmdBeginDoubleBuffer},
    {"EndDoubleBuffer", CmdEndDoubleBuffer},
    {"Flip", CmdFlip},
    {"ConvertToBrush", cmdConvertToBrush},
    {"GrabDesktop", cmdGrabDesktop},
    {"TransformBrush", cmdTransformBrush},
    {"TrimBrush", cmdTrimBrush},
    {nullptr, nullptr},
};

const vkConstantDef kBrushConstants[] = {
    {"MASKVISIBLE", nullptr, 0},    {"MASKINVISIBLE", nullptr, 1}, {"MASKVANILLACOPY", nullptr, 2},
    {"MASKXOR", nullptr, 3},        {"MASKAND", nullptr, 4},       {"MASKOR", nullptr, 5},
    {"VANILLACOPY", nullptr, -1},   {"SELMODE_NORMAL", nullptr, 0}, {"SELMODE_COMBO", nullptr, 1},
    {"SELMODE_LAYERS", nullptr, 2}, {nullptr, nullptr, 0},
};

}  // namespace

namespace {

int32_t CountBrushesOf(vkState* L) { return CountBrushes(Gs(L)); }

int QueryBrush(vkState* L, int32_t attribute) {
  vkBrush* b = nullptr;
  if (int32_t rc = FindBrush(Gs(L), CheckObjectId(L, 2), &b, 0)) return rc;
  double value = 0;
  switch (attribute) {
    case ATTRWIDTH: value = b->width; break;
    case ATTRHEIGHT: value = b->height; break;
    case ATTRTRANSPARENTCOLOR: value = b->transparentColor; break;
    case ATTRTYPE: value = b->kind; break;
    case ATTRHASMASK: value = b->mask ? 1 : 0; break;
    case ATTRHASALPHA: value = b->alpha ? 1 : 0; break;
    default: return kErrUnknownAttribute;
  }
  vmPushNumber(L, value);
  return 1;
}

}  // namespace

int OpenBrushLibrary(vkState* L) {
  RegisterBrushHooks(L);
  RegisterAttributeProvider(L, vkObjectType::BRUSH, {CountBrushesOf, QueryBrush});
  vmRegisterFunctions(L, nullptr, kBrushCommands, 0);
  vmRegisterConstants(L, kBrushConstants);
  return RegisterLibrary(L, kBrushCommands, "brush");
}
