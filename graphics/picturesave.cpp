// Picture saving. Every format starts from packed ARGB words: BMP and ILBM
// are written by the pixel engine's writers, PNG and JPEG by the platform's
// codecs, and GIF by reducing the words to a palette first. Snapshots grab
// the window or the screen from the platform, or compose the display's
// picture with its sprites, and save that.
#include "graphics/picturesave.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>
#include <string>
#include <vector>

#include "base/errorcodes.h"
#include "engine/argcheck.h"
#include "engine/object.h"
#include "engine/vmapi.h"
#include "graphics/displays.h"
#include "graphics/fills.h"
#include "graphics/graphicsstate.h"
#include "graphics/safeblt.h"
#include "pixel/bitmap.h"
#include "pixel/bmp.h"
#include "pixel/gifwriter.h"
#include "pixel/ilbm.h"
#include "pixel/pixfmt.h"
#include "pixel/quantize.h"
#include "platform/vkos_display.h"
#include "platform/vkos_pictures.h"
#include "runtime/doscommands.h"

namespace {

// Platform facts (vkosGetAttr) the snapshots read.
constexpr int32_t kAttrScreenWidth = 14;
constexpr int32_t kAttrScreenHeight = 15;

// A picture of at most [most] colours besides [key] (-1 none) as indexes
// into its own colours, [key] pixels taking the entry after them, which
// holds the key (or black). False when the picture has more colours.
bool IndexExactColours(const uint32_t* pixels, size_t count, int32_t most, int32_t key, uint8_t* indexes,
                       uint32_t* palette, int32_t* colours) {
  std::unordered_map<uint32_t, uint8_t> seen;
  int32_t n = 0;
  uint32_t last = 0xFFFFFFFFu;
  uint8_t lastIndex = 0;
  std::vector<size_t> keyed;
  for (size_t i = 0; i < count; i++) {
    const uint32_t c = pixels[i] & 0xFFFFFF;
    if (int32_t(c) == key) {
      keyed.push_back(i);
      continue;
    }
    if (c != last) {
      auto [at, added] = seen.try_emplace(c, uint8_t(n));
      if (added) {
        if (n == most) return false;
        palette[n++] = c;
      }
      last = c, lastIndex = at->second;
    }
    indexes[i] = lastIndex;
  }
  palette[n] = key == -1 ? 0 : uint32_t(key);
  for (size_t i : keyed) indexes[i] = uint8_t(n);
  *colours = n + 1;
  return true;
}

// A one-frame GIF: with a transparent colour its pixels take the last
// palette entry, which the writer marks transparent; without one that entry
// is kept spare, so no colour of the picture is lost to the transparency the
// writer always marks. A picture with few enough colours keeps them exactly;
// others are reduced by the quantizer.
int32_t SaveGIF(const uint32_t* pixels, int32_t width, int32_t height, const char* file, int32_t transparent,
                const vkSaveOptions& options) {
  vkBufferPtr<uint8_t> indexes(static_cast<uint8_t*>(AllocateArray(size_t(width), size_t(height), false)));
  if (!indexes) return kErrOutOfMemory;
  uint32_t palette[256] = {};
  int32_t colours = options.colours;
  const int32_t key = transparent == -1 ? -1 : transparent & 0xFFFFFF;
  const int32_t most = std::clamp(options.colours, 1, 255);
  bool exact = false;
  try {
    exact = IndexExactColours(pixels, size_t(width) * size_t(height), most, key, indexes.get(), palette, &colours);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  if (!exact && !QuantizeColors(pixels, PIXFMT_ARGB32, 4, width, height, width, indexes.get(), palette, &colours,
                                key, key == -1, options.dither))
    return kErrOutOfMemory;
  vkGIFWriter* writer = nullptr;
  if (uint32_t rc = OpenGIFWriter(file, width, height, &writer)) return int32_t(rc);
  uint32_t rc = WriteGIFFrame(writer, indexes.get(), width, height, 0, palette, colours,
                              key == -1 ? -1 : colours - 1, 0);
  const uint32_t closed = CloseGIFWriter(writer);
  return int32_t(rc ? rc : closed);
}

// Saves the grabbed words of a snapshot (their alpha bytes are not read).
int32_t SaveWords(const std::vector<uint32_t>& words, int32_t width, int32_t height, const char* file,
                  int32_t format, const vkSaveOptions& options) {
  return SaveARGBToFile(format, words.data(), width, height, file, -1, false, options);
}

}  // namespace

void ReadSaveOptions(vkState* L, int index, vkSaveOptions* out) {
  if (vmGetTop(L) != index) return;
  if (vmType(L, index) == VK_TTABLE) {
    OptFieldInt(L, index, "quality", &out->quality, nullptr);
    OptFieldInt(L, index, "colors", &out->colours, nullptr);
    OptFieldInt(L, index, "dither", &out->dither, nullptr);
  } else if (vmIsNumber(L, index)) {
    out->quality = int32_t(vmCheckNumber(L, index));
  }
}

int32_t SaveARGBToFile(int32_t format, const uint32_t* pixels, int32_t width, int32_t height, const char* file,
                       int32_t transparent, bool keepAlpha, const vkSaveOptions& options) {
  switch (format) {
    case IMGFMT_BMP:
      return int32_t(WriteBMPFile(file, pixels, width, height));
    case IMGFMT_PNG:
      return vkosSavePng(file, pixels, width, height, keepAlpha);
    case IMGFMT_JPEG:
      return vkosSaveJpeg(file, pixels, width, height, options.quality);
    case IMGFMT_GIF:
      return SaveGIF(pixels, width, height, file, transparent, options);
    case IMGFMT_ILBM:
      return int32_t(WriteILBMFile(file, pixels, width, height));
    default:
      return kErrWrongUsage;
  }
}

int32_t SavePictureToFile(int32_t format, const vkBitMap* bitmap, int32_t width, int32_t height, const char* file,
                          const vkPlane* mask, int32_t transparent, const vkPlane* alpha,
                          const vkSaveOptions& options) {
  if (format < IMGFMT_BMP || format > IMGFMT_ILBM) return kErrWrongUsage;
  // A whole packed ARGB bitmap without planes is saved from its own words:
  // every writer reads only the colour bytes then.
  if (!mask && !alpha && bitmap && bitmap->format == PIXFMT_ARGB32 && bitmap->width == width &&
      bitmap->height >= height && bitmap->bytesPerRow == width * 4)
    return SaveARGBToFile(format, reinterpret_cast<const uint32_t*>(bitmap->pixels), width, height, file, -1, false,
                          options);
  // Hidden pixels take the transparent colour; without one nothing is filled in.
  const uint32_t fill = transparent == -1 ? 0 : uint32_t(transparent);
  vkBufferPtr<uint32_t> pixels = GetARGBPixels(bitmap, width, height, mask, alpha, fill, false);
  if (!pixels) return kErrOutOfMemory;
  return SaveARGBToFile(format, pixels.get(), width, height, file, mask ? transparent : -1, alpha != nullptr,
                        options);
}

int CmdSaveSnapshot(vkState* L) {
  CheckArgCount(L, 1, 4);
  const std::string file = dos::TextArg(L, 1);
  const int32_t what = int32_t(vmOptNumber(L, 2, SNAPWINDOW));
  const int32_t format = int32_t(vmOptNumber(L, 3, IMGFMT_BMP));
  vkSaveOptions options;
  ReadSaveOptions(L, 4, &options);
  if (format < IMGFMT_BMP || format > IMGFMT_ILBM) return kErrWrongUsage;

  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  std::vector<uint32_t> words;
  switch (what) {
    case SNAPDISPLAY: {
      if (!d || !d->bgpic) return kErrDisplayClosed;
      if ((d->doubleBuffer || d->doubleBufferSuspended) && d->doubleBufferFront) {
        const vkBitMap* front = d->doubleBufferFront;
        return SavePictureToFile(format, front, front->width, front->height, file.c_str(), nullptr, -1, nullptr,
                                 options);
      }
      const vkBitMap* shown = d->backBuffer ? d->backBuffer : d->bgpic->bitmap;
      if (!shown) return kErrDisplayClosed;
      vkBitMapPtr composed(AllocArgbBitMap(shown->width, shown->height));
      if (!composed) return kErrOutOfMemory;
      RedrawRect(gs, d, composed.get(), 0, 0, shown->width, shown->height, kRedrawAll);
      return SavePictureToFile(format, composed.get(), shown->width, shown->height, file.c_str(), nullptr, -1,
                               nullptr, options);
    }
    case SNAPDESKTOP: {
      const int32_t w = vkosGetAttr(nullptr, kAttrScreenWidth), h = vkosGetAttr(nullptr, kAttrScreenHeight);
      if (!vkosGrabScreen(0, 0, w, h, &words)) return kErrOutOfMemory;
      return SaveWords(words, w, h, file.c_str(), format, options);
    }
    case SNAPWINDOW: {
      if (!d || !d->os || d->state != DISPSTATE_OPEN) return kErrDisplayClosed;
      const vkOSDisplay* os = d->os;
      const int32_t w = os->width + os->borderWidth, h = os->height + os->borderHeight;
      if (!vkosGrabScreen(os->x, os->y, w, h, &words)) return kErrOutOfMemory;
      return SaveWords(words, w, h, file.c_str(), format, options);
    }
    default:
      return kErrWrongUsage;
  }
}
