// Texture tiling, gradient fills and the conversion of a bitmap with its
// planes into ARGB words. The tile walk is shared by the bitmap and the raw
// array forms; the gradient runs the pixel engine's kernel for the bitmap's
// pixel size, through a scratch buffer when the rectangle sticks out.
#include "graphics/fills.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "pixel/blit.h"
#include "pixel/blitclip.h"
#include "pixel/colourkernels.h"

namespace {

// An offset brought into 0..size-1.
int32_t Wrap(int32_t offset, int32_t size) {
  const int32_t r = offset % size;
  return r < 0 ? r + size : r;
}

// Calls [copy](tx, ty, dx, dy, w, h) for every tile piece of a width x
// height area, dx and dy relative to the area.
template <typename Copy>
void WalkTiles(int32_t width, int32_t height, int32_t offsetX, int32_t offsetY, int32_t textureWidth,
               int32_t textureHeight, Copy copy) {
  if (width < 1 || height < 1 || textureWidth < 1 || textureHeight < 1) return;
  int32_t ty = Wrap(offsetY, textureHeight);
  for (int32_t dy = 0; dy < height;) {
    const int32_t h = std::min(textureHeight - ty, height - dy);
    int32_t tx = Wrap(offsetX, textureWidth);
    for (int32_t dx = 0; dx < width;) {
      const int32_t w = std::min(textureWidth - tx, width - dx);
      copy(tx, ty, dx, dy, w, h);
      dx += w;
      tx = 0;
    }
    dy += h;
    ty = 0;
  }
}

void (*const kGradientKernels[5])(const vkGradientBlock*) = {nullptr, nullptr, FillLinearGradient16,
                                                              FillLinearGradient24, FillLinearGradient32};

// The byte of an alpha plane, 0 outside it.
uint32_t AlphaAt(const vkPlane* p, int32_t x, int32_t y) {
  if (!p->data || x >= ByteExtentW(p) || y >= PlaneExtentH(p)) return 0;
  return p->data[ptrdiff_t(y) * p->bytesPerRow + x];
}

}  // namespace

void TileTexture(vkBitMap* dst, int32_t x, int32_t y, int32_t width, int32_t height, const vkBitMap* texture,
                 int32_t offsetX, int32_t offsetY, int32_t textureWidth, int32_t textureHeight) {
  if (!dst || !texture) return;
  WalkTiles(width, height, offsetX, offsetY, textureWidth, textureHeight,
            [&](int32_t tx, int32_t ty, int32_t dx, int32_t dy, int32_t w, int32_t h) {
              const int64_t px = int64_t(x) + dx, py = int64_t(y) + dy;
              if (px > INT32_MAX || py > INT32_MAX) return;
              BltBitMap(texture, tx, ty, dst, int32_t(px), int32_t(py), w, h);
            });
}

void TileTexture(uint32_t* dst, int32_t width, int32_t height, const uint32_t* texture, int32_t offsetX,
                 int32_t offsetY, int32_t textureWidth, int32_t textureHeight, int32_t texturePixelsPerRow) {
  if (!dst || !texture || texturePixelsPerRow < textureWidth) return;
  WalkTiles(width, height, offsetX, offsetY, textureWidth, textureHeight,
            [&](int32_t tx, int32_t ty, int32_t dx, int32_t dy, int32_t w, int32_t h) {
              for (int32_t r = 0; r < h; ++r)
                std::memcpy(dst + ptrdiff_t(dy + r) * width + dx,
                            texture + ptrdiff_t(ty + r) * texturePixelsPerRow + tx, size_t(w) * 4);
            });
}

void DrawGradient(vkBitMap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour1,
                  uint32_t colour2, int32_t angle) {
  if (!bitmap) {
    std::fputs("ERROR! DRAWGRADIENT() CALLED WITH DST=NULL!\n", stdout);
    std::fflush(stdout);
    return;
  }
  int32_t cx = x, cy = y, cw = width, ch = height;
  if (!ClipRect(cx, cy, cw, ch, bitmap->width, bitmap->height)) return;
  vkBitMapInfo info{};
  if (!LockBitMap(bitmap, &info)) return;
  const int32_t bpp = info.bytesPerPixel;
  if (bpp < 2 || bpp > 4) {
    UnLockBitMap(&info);
    return;
  }
  vkGradientBlock b{};
  b.colour1 = colour1 & 0xFFFFFF, b.colour2 = colour2 & 0xFFFFFF;
  b.angle = angle, b.format = info.format;
  if (cw == width && ch == height) {
    b.pixels = info.pixels, b.x = x, b.y = y, b.width = width, b.height = height;
    b.pixelsPerRow = info.pixelsPerRow;
    kGradientKernels[bpp](&b);
  } else {
    // The gradient's course depends on the whole rectangle: draw all of it
    // aside and keep what lies inside the bitmap.
    std::vector<uint8_t> scratch;
    try {
      scratch.resize(size_t(width) * size_t(height) * size_t(bpp));
    } catch (const std::bad_alloc&) {
      UnLockBitMap(&info);
      return;
    }
    b.pixels = scratch.data(), b.width = width, b.height = height, b.pixelsPerRow = width;
    kGradientKernels[bpp](&b);
    auto* pixels = static_cast<uint8_t*>(info.pixels);
    const ptrdiff_t rowBytes = ptrdiff_t(info.pixelsPerRow) * bpp;
    for (int32_t r = 0; r < ch; ++r)
      std::memcpy(pixels + ptrdiff_t(cy + r) * rowBytes + ptrdiff_t(cx) * bpp,
                  scratch.data() + (ptrdiff_t(cy - y + r) * width + (cx - x)) * bpp, size_t(cw) * bpp);
  }
  UnLockBitMap(&info);
}

vkBufferPtr<uint32_t> GetARGBPixels(const vkBitMap* bitmap, int32_t width, int32_t height, const vkPlane* mask,
                                    const vkPlane* alpha, uint32_t fill, bool maskAsAlpha) {
  vkBufferPtr<uint32_t> out(CopyBitMapToARGB(bitmap, width, height));
  if (!out) return out;
  for (int32_t y = 0; y < height; ++y) {
    uint32_t* row = out.get() + ptrdiff_t(y) * width;
    for (int32_t x = 0; x < width; ++x) {
      uint32_t& p = row[x];
      if (mask) {
        const bool set = ReadBitMapPixel(mask, x, y) != 0;
        if (maskAsAlpha)
          p = (p & 0x00FFFFFF) | (set ? 0xFF000000u : 0);
        else if (!set)
          p = fill;
      } else if (alpha) {
        const uint32_t a = AlphaAt(alpha, x, y);
        p = (p & 0x00FFFFFF) | a << 24;
        if (a == 0) p |= fill & 0x00FFFFFF;
      } else {
        p |= 0xFF000000u;
      }
    }
  }
  return out;
}
