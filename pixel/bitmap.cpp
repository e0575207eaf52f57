// Bitmap and plane records: allocation with overflow-checked sizes, the
// scratch plane records, attribute queries, single pixels and lines, the
// mask-plane operations and the conversions between bitmaps and ARGB arrays.
#include "pixel/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/errorcodes.h"
#include "base/maskbits.h"
#include "pixel/alphakernels.h"
#include "pixel/blitclip.h"
#include "pixel/copykernels.h"
#include "pixel/planebits.h"
#include "pixel/resample.h"

namespace {

// A new plane record with its data, or null; the size is checked in size_t.
vkPlane* NewPlane(int32_t width, int32_t height, int32_t bytesPerRow, bool clear) {
  if (width < 0 || height < 0 || bytesPerRow < 0) return nullptr;
  auto* p = static_cast<vkPlane*>(AllocateBytes(sizeof(vkPlane), true));
  if (!p) return nullptr;
  p->data = static_cast<uint8_t*>(AllocateArray(size_t(bytesPerRow), size_t(height), clear));
  if (!p->data) {
    std::free(p);
    return nullptr;
  }
  p->width = width, p->height = height, p->bytesPerRow = bytesPerRow;
  return p;
}

void FreePlane(vkPlane* p) {
  if (!p) return;
  if (!p->foreign) std::free(p->data);
  std::free(p);
}

vkPlane* CopyPlane(const vkPlane* src, vkPlane* made) {
  if (!made || !src || !src->data) return made;
  const int32_t rowBytes = std::min(src->bytesPerRow, made->bytesPerRow);
  const int32_t rows = src->height > 0 ? std::min(src->height, made->height) : made->height;
  for (int32_t y = 0; y < rows; ++y)
    std::memcpy(PlaneRow(made->data, made->bytesPerRow, y), PlaneRow(src->data, src->bytesPerRow, y),
                size_t(std::max(rowBytes, 0)));
  return made;
}

}  // namespace

vkBitMap* AllocArgbBitMap(int32_t width, int32_t height, bool clear) {
  if (width < 1 || height < 1 || width > INT32_MAX / 4) return nullptr;
  auto* b = static_cast<vkBitMap*>(AllocateBytes(sizeof(vkBitMap), true));
  if (!b) return nullptr;
  b->pixels = static_cast<uint8_t*>(AllocateArray(size_t(width) * 4, size_t(height), clear));
  if (!b->pixels) {
    std::free(b);
    return nullptr;
  }
  b->width = width, b->height = height;
  b->bytesPerRow = width * 4, b->bytesPerPixel = 4, b->format = PIXFMT_ARGB32;
  return b;
}

void FreeBitMap(vkBitMap* bitmap) {
  if (!bitmap) return;
  std::free(bitmap->pixels);
  std::free(bitmap);
}

int32_t LockBitMap(vkBitMap* bitmap, vkBitMapInfo* info) {
  *info = vkBitMapInfo{};
  if (!bitmap || bitmap->bytesPerPixel < 1) return 0;
  info->pixels = bitmap->pixels;
  info->locked = 1;
  info->format = bitmap->format;
  info->bytesPerPixel = bitmap->bytesPerPixel;
  info->pixelsPerRow = bitmap->bytesPerRow / bitmap->bytesPerPixel;
  info->width = bitmap->width;
  info->height = bitmap->height;
  return 1;
}

void UnLockBitMap(vkBitMapInfo*) {}

vkPlane* AllocMaskPlane(int32_t width, int32_t height, bool clear) {
  return NewPlane(width, height, width < 0 ? -1 : MaskBytesPerRow(width), clear);
}
vkPlane* AllocAlphaPlane(int32_t width, int32_t height, bool clear) {
  if (width > INT32_MAX - 3) return nullptr;
  return NewPlane(width, height, width < 0 ? -1 : AlphaBytesPerRow(width), clear);
}
void FreeMaskPlane(vkPlane* plane) { FreePlane(plane); }
void FreeAlphaPlane(vkPlane* plane) { FreePlane(plane); }

vkPlane* CreateForeignMaskPlane(uint8_t* data, int32_t bytesPerRow) {
  auto* p = static_cast<vkPlane*>(AllocateBytes(sizeof(vkPlane), true));
  if (p) InitForeignMaskPlane(p, data, bytesPerRow);
  return p;
}
vkPlane* CreateForeignAlphaPlane(uint8_t* data, int32_t width, int32_t height, int32_t bytesPerRow) {
  auto* p = static_cast<vkPlane*>(AllocateBytes(sizeof(vkPlane), true));
  if (!p) return nullptr;
  InitForeignAlphaPlane(p, data, bytesPerRow);
  p->width = width, p->height = height;
  return p;
}
void InitForeignMaskPlane(vkPlane* plane, uint8_t* data, int32_t bytesPerRow) {
  plane->data = data, plane->bytesPerRow = bytesPerRow, plane->foreign = 1;
}
void InitForeignAlphaPlane(vkPlane* plane, uint8_t* data, int32_t bytesPerRow) {
  plane->data = data, plane->bytesPerRow = bytesPerRow, plane->foreign = 1;
}

vkPlane GetStaticMaskPlane(uint8_t* data, int32_t width, int32_t height) {
  return vkPlane{data, width, height, MaskBytesPerRow(width), 1};
}
vkPlane GetStaticAlphaPlane(uint8_t* data, int32_t bytesPerRow) { return vkPlane{data, 0, 0, bytesPerRow, 1}; }

vkPlane* CopyMaskPlane(const vkPlane* src, int32_t width, int32_t height) {
  return CopyPlane(src, AllocMaskPlane(width, height, true));
}
vkPlane* CopyAlphaPlane(const vkPlane* src, int32_t width, int32_t height) {
  return CopyPlane(src, AllocAlphaPlane(width, height, true));
}

intptr_t GetBitMapAttr(const vkBitMap* b, int32_t code) {
  if (!b) return 0;
  switch (code) {
    case 0: case 3: case 4: return b->width;
    case 1: case 2: return b->bytesPerRow;
    case 11: return MaskBytesPerRow(b->width);
    case 17: return b->bytesPerRow / 4;
    case 18: return b->height;
    case 21: return 32;
    default: return 0;
  }
}

intptr_t GetBitMapAttr(const vkPlane* p, int32_t code) {
  if (!p) return 0;
  switch (code) {
    case 0: case 3: case 4: return reinterpret_cast<intptr_t>(p->data);
    case 1: case 2: return p->bytesPerRow;
    case 18: return p->width;
    case 21: return 32;
    default: return 0;
  }
}

uint32_t ReadBitMapPixel(const vkBitMap* b, int32_t x, int32_t y) {
  if (!b || x < 0 || y < 0 || x >= b->width || y >= b->height) return 0;
  uint8_t rgb[3] = {0, 0, 0};
  ReadPixelRGB(b->pixels + ptrdiff_t(y) * b->bytesPerRow + ptrdiff_t(x) * b->bytesPerPixel,
               b->format, rgb);
  return uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
}

uint32_t ReadBitMapPixel(const vkPlane* m, int32_t x, int32_t y) {
  if (!m || x < 0 || y < 0 || x >= MaskExtentW(m) || y >= PlaneExtentH(m)) return 0;
  return GetBit(PlaneRow(m->data, m->bytesPerRow, y), x);
}

void WriteBitMapPixel(vkBitMap* b, int32_t x, int32_t y, uint32_t rgb) {
  if (!b || x < 0 || y < 0 || x >= b->width || y >= b->height) return;
  const uint8_t c[3] = {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)};
  WritePixelRGB(b->pixels + ptrdiff_t(y) * b->bytesPerRow + ptrdiff_t(x) * b->bytesPerPixel,
                b->format, c);
}

void WriteBitMapPixel(vkPlane* m, int32_t x, int32_t y, int32_t mode) {
  if (!m || x < 0 || y < 0 || x >= MaskExtentW(m) || y >= PlaneExtentH(m)) return;
  uint8_t* row = PlaneRow(m->data, m->bytesPerRow, y);
  switch (mode) {
    case 0: case 2: case 5: SetBit(row, x); break;
    case 1: ClearBit(row, x); break;
    case 3: FlipBit(row, x); break;
    default: break;
  }
}

// The line's pixel at step k of n along the major axis rounds the exact
// position half away from the start, so any step can be found directly and
// the walk covers only the steps inside the bitmap.
void DrawBitMapLine(vkBitMap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb) {
  if (!b) return;
  const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const int64_t n = xMajor ? std::llabs(dx) : std::llabs(dy);
  const int64_t major0 = xMajor ? x1 : y1, minor0 = xMajor ? y1 : x1;
  const int64_t majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t minorDelta = xMajor ? dy : dx;
  const int64_t limit = xMajor ? b->width : b->height;
  // Steps whose major coordinate lies in [0, limit).
  int64_t kFrom = 0, kTo = n;
  if (majorStep > 0) {
    kFrom = std::max<int64_t>(kFrom, -major0);
    kTo = std::min<int64_t>(kTo, limit - 1 - major0);
  } else {
    kFrom = std::max<int64_t>(kFrom, major0 - (limit - 1));
    kTo = std::min<int64_t>(kTo, major0);
  }
  for (int64_t k = kFrom; k <= kTo; ++k) {
    int64_t minor = minor0;
    if (n > 0) {
      // Up to 2^33 x 2^32: wider than 64 bits for the longest lines.
      __int128 num = __int128(2 * k) * std::llabs(minorDelta) + n;
      minor += (minorDelta < 0 ? -1 : 1) * int64_t(num / (2 * n));
    }
    int64_t major = major0 + majorStep * k;
    int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
    if (x >= 0 && y >= 0 && x < b->width && y < b->height)
      WriteBitMapPixel(b, int32_t(x), int32_t(y), rgb);
  }
}

void BltMaskPlane(const vkPlane* src, int32_t sx, int32_t sy, vkPlane* dst, int32_t dx, int32_t dy,
                  int32_t width, int32_t height, int32_t mode) {
  if (!src || !dst || mode < 0 || mode > 5) return;
  if (!ClipPair(sx, sy, dx, dy, width, height, MaskExtentW(src), PlaneExtentH(src),
                MaskExtentW(dst), PlaneExtentH(dst)))
    return;
  DispatchMode<6>(mode, [&]<int M>() {
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* s = PlaneRow(src->data, src->bytesPerRow, sy + y);
      uint8_t* d = PlaneRow(dst->data, dst->bytesPerRow, dy + y);
      for (int32_t x = 0; x < width; ++x) {
        const bool sb = GetBit(s, sx + x);
        bool db = GetBit(d, dx + x);
        if constexpr (M == 0 || M == 5) db = db || sb;
        if constexpr (M == 1) db = db && !sb;
        if constexpr (M == 2) db = sb;
        if constexpr (M == 3) db = db != sb;
        if constexpr (M == 4) db = db && sb;
        PutBit(d, dx + x, db);
      }
    }
  });
}

void FillMaskRect(vkPlane* plane, int32_t x, int32_t y, int32_t width, int32_t height, int32_t mode) {
  if (!plane || mode < 0 || mode > 5 || mode == 4) return;
  if (!ClipRect(x, y, width, height, MaskExtentW(plane), PlaneExtentH(plane))) return;
  DispatchMode<6>(mode, [&]<int M>() {
    for (int32_t r = 0; r < height; ++r) {
      uint8_t* row = PlaneRow(plane->data, plane->bytesPerRow, y + r);
      for (int32_t c = x; c < x + width; ++c) {
        if constexpr (M == 1)
          ClearBit(row, c);
        else if constexpr (M == 3)
          FlipBit(row, c);
        else
          SetBit(row, c);
      }
    }
  });
}

void FillMaskPolygon(vkPlane* mask, const int32_t* points, int32_t count, int32_t* scratch) {
  if (!mask) return;
  const auto w = int32_t(std::min<int64_t>(MaskExtentW(mask), INT32_MAX));
  const auto h = int32_t(std::min<int64_t>(PlaneExtentH(mask), INT32_MAX));
  ScanFillPolygonMask(mask->data, mask->bytesPerRow, w, h, scratch, points, count);
}

void FillAlphaRect(vkPlane* plane, int32_t x, int32_t y, int32_t width, int32_t height, uint8_t value) {
  if (!plane) return;
  const int64_t w = ByteExtentW(plane);
  if (!ClipRect(x, y, width, height, w, PlaneExtentH(plane))) return;
  FillByteRect(plane->data, x, y, width, height, plane->bytesPerRow, value);
}

void BltTemplateAlpha(const vkPlane* mask, int32_t sx, int32_t sy, vkPlane* alpha, int32_t dx,
                      int32_t dy, int32_t width, int32_t height, uint8_t value) {
  if (!mask || !alpha) return;
  const int64_t aw = ByteExtentW(alpha);
  if (!ClipPair(sx, sy, dx, dy, width, height, MaskExtentW(mask), PlaneExtentH(mask), aw,
                PlaneExtentH(alpha)))
    return;
  vkTemplateAlphaBlock b{mask->data, sx, sy, mask->bytesPerRow, alpha->data, dx, dy,
                         alpha->bytesPerRow, width, height, value};
  BltTemplateAlphaRows(&b);
}

void FinishPlaneDrawing(vkPlane*) {}

uint32_t RGBToPixel(uint32_t rgb, int32_t format) {
  const uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
  auto w15 = [&](uint32_t first, uint32_t last) { return (first >> 3) << 10 | (g >> 3) << 5 | last >> 3; };
  auto w16 = [&](uint32_t first, uint32_t last) { return (first >> 3) << 11 | (g >> 2) << 5 | last >> 3; };
  switch (format) {
    case 0: return w15(r, b);
    case 1: return w15(b, r);
    case 2: return SwapBytes16(uint16_t(w15(r, b)));
    case 3: return SwapBytes16(uint16_t(w15(b, r)));
    case 4: return w16(r, b);
    case 5: return w16(b, r);
    case 6: return SwapBytes16(uint16_t(w16(r, b)));
    case 7: return SwapBytes16(uint16_t(w16(b, r)));
    case 8: case 10: return r << 16 | g << 8 | b;
    case 9: return b << 16 | g << 8 | r;
    case 11: return b << 24 | g << 16 | r << 8;
    case 12: return r << 24 | g << 16 | b << 8;
    default: return 0;
  }
}

uint32_t BlendRGB(uint32_t a, uint32_t b, int32_t weight) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    int32_t ca = int32_t(a >> shift & 0xFF), cb = int32_t(b >> shift & 0xFF);
    out |= uint32_t(uint8_t(ca + (((cb - ca) * weight) >> 8))) << shift;
  }
  return out;
}

uint32_t* CopyBitMapToARGB(const vkBitMap* bitmap, int32_t width, int32_t height) {
  if (!bitmap || width < 1 || height < 1 || width > bitmap->width || height > bitmap->height ||
      bitmap->bytesPerPixel != 4)
    return nullptr;
  auto* out = static_cast<uint32_t*>(AllocateArray(size_t(width) * size_t(height), 4, false));
  if (!out) return nullptr;
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(out + size_t(y) * size_t(width), bitmap->pixels + ptrdiff_t(y) * bitmap->bytesPerRow,
                size_t(width) * 4);
  return out;
}

uint32_t CreateBitMapFromARGB(const uint32_t* argb, int32_t transparent, int32_t width,
                              int32_t height, int32_t srcPixelsPerRow, vkBitMap** outBitMap,
                              vkPlane** outMask) {
  vkBitMapPtr bitmap(AllocArgbBitMap(width, height));
  if (!bitmap) return kErrOutOfMemory;
  const int32_t dstPixelsPerRow = bitmap->bytesPerRow / 4;
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t* s = argb + ptrdiff_t(y) * srcPixelsPerRow;
    uint32_t* d = reinterpret_cast<uint32_t*>(bitmap->pixels) + ptrdiff_t(y) * dstPixelsPerRow;
    if (bitmap->format == PIXFMT_BGRA32)
      for (int32_t x = 0; x < width; ++x) d[x] = __builtin_bswap32(s[x]);
    else
      std::memcpy(d, s, size_t(width) * 4);
  }
  vkPlanePtr mask;
  if (transparent != -1 && outMask) {
    mask.reset(AllocMaskPlane(width, height, true));
    if (!mask) return kErrOutOfMemory;
    ColorKeyToMask32(bitmap->pixels, mask->data, width, height, mask->bytesPerRow,
                     uint32_t(transparent), dstPixelsPerRow, 0x00FFFFFFu);
  }
  if (outMask) *outMask = mask.release();
  *outBitMap = bitmap.release();
  return 0;
}

uint32_t GetBlitCapabilities(uint32_t) { return 0; }
void BltAlphaChannelAccelerated(const vkAlphaChannelBlock*) {}
void RunCrossfadeHook() {}

int32_t MaskToAlpha(const vkPlane* mask, vkPlane* alpha, int32_t width, int32_t height) {
  ExpandMaskToAlpha(mask->data, mask->bytesPerRow, alpha->data, alpha->bytesPerRow, width, height);
  return alpha->bytesPerRow;
}

vkOSPixels BitMapPixels(const vkBitMap* bitmap) {
  vkOSPixels view;
  if (bitmap == nullptr || bitmap->bytesPerPixel != 4) return view;
  view.pixels = reinterpret_cast<const uint32_t*>(bitmap->pixels);
  view.width = bitmap->width;
  view.height = bitmap->height;
  view.pixelsPerRow = bitmap->bytesPerRow / 4;
  return view;
}

vkOSPlaneView PlaneView(const vkPlane* plane) {
  vkOSPlaneView view;
  if (plane == nullptr) return view;
  view.data = plane->data;
  view.width = plane->width;
  view.height = plane->height;
  view.bytesPerRow = plane->bytesPerRow;
  return view;
}
