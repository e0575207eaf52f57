// Anim files written by scripts: SaveAnim writes every frame of an anim at
// once, an anim stream (BeginAnimStream, WriteAnimFrame, FinishAnimStream)
// writes brushes one by one into a file that stays open between commands.
// Frames become animated GIF frames (reduced to a palette here) or
// Motion-JPEG frames of an AVI file.
#include <algorithm>
#include <cstring>
#include <string>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/objecthandles.h"
#include "engine/vmapi.h"
#include "graphics/brushes.h"
#include "graphics/positions.h"
#include "layers/animlib.h"
#include "pixel/aviwriter.h"
#include "pixel/blit.h"
#include "pixel/gifwriter.h"
#include "pixel/quantize.h"
#include "platform/vkos_pictures.h"
#include "runtime/context.h"
#include "runtime/doscommands.h"

void vkGIFWriterCloser::operator()(vkGIFWriter* w) const { CloseGIFWriter(w); }
void vkAviWriterCloser::operator()(vkAviWriter* w) const { CloseAviWriter(w); }

namespace {

constexpr int32_t kDefaultQuality = 90;
constexpr int32_t kDefaultFps = 25;
// The longest delay a GIF frame holds, in milliseconds.
constexpr int32_t kMaxGifDelay = 655350;

// What the options of the stream and save commands give.
struct vkAnimWriteOptions {
  int32_t quality = kDefaultQuality, fps = kDefaultFps;
  int32_t colours = 256, dither = 0, transparent = -1, optimize = 1, delay = 0, x = 0, y = 0;
};

int32_t ReadOptions(vkState* L, int index, vkAnimWriteOptions* o) {
  if (index < 1 || vmGetTop(L) < index || vmType(L, index) != VK_TTABLE) return 0;
  OptFieldInt(L, index, "quality", &o->quality, nullptr);
  OptFieldInt(L, index, "fps", &o->fps, nullptr);
  OptFieldInt(L, index, "colors", &o->colours, nullptr);
  OptFieldInt(L, index, "dither", &o->dither, nullptr);
  uint32_t key = 0;
  if (OptFieldUnsigned(L, index, "transparency", &key, nullptr)) o->transparent = int32_t(key & 0xFFFFFF);
  OptFieldInt(L, index, "optimize", &o->optimize, nullptr);
  OptFieldInt(L, index, "delay", &o->delay, nullptr);
  OptFieldInt(L, index, "x", &o->x, nullptr);
  OptFieldInt(L, index, "y", &o->y, nullptr);
  if (o->colours < 2 || o->colours > 256) return kErrWrongUsage;
  if (o->delay < 0) return kErrWrongUsage;
  return 0;
}

std::string ShortName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int32_t OpenAvi(const std::string& file, int32_t width, int32_t height, const vkAnimWriteOptions& o,
                vkAviWriter** out) {
  const std::string title = ShortName(file);
  return OpenAviWriter(file.c_str(), o.fps, 0, width, height, o.quality, false, false, title.c_str(), nullptr,
                       vkosEncodeJpeg, out);
}

// Reduces [frame] to a palette and writes it as the next GIF frame. Without
// a transparent colour the last palette entry stays spare: the writer marks
// it transparent for the pixels that did not change.
int32_t WriteGifFrame(vkGIFWriter* writer, vkBitMap* frame, std::vector<uint8_t>& indexes, int32_t delay,
                      const vkAnimWriteOptions& o) {
  const int32_t w = frame->width, h = frame->height;
  vkBitMapInfo info;
  if (!LockBitMap(frame, &info)) return kErrLockBitMap;
  uint32_t palette[256] = {};
  int32_t colours = o.colours;
  const int ok = QuantizeColors(info.pixels, info.format, info.bytesPerPixel, w, h, info.pixelsPerRow,
                                indexes.data(), palette, &colours, o.transparent, o.transparent == -1 ? 1 : 0,
                                o.dither);
  UnLockBitMap(&info);
  if (!ok) return kErrOutOfMemory;
  const int32_t transparentIndex = o.transparent != -1 ? colours - 1 : -1;
  return int32_t(WriteGIFFrame(writer, indexes.data(), w, h, std::min(delay, kMaxGifDelay), palette, colours,
                               transparentIndex, o.optimize));
}

int32_t FindStream(vkGraphicsState& gs, vkObjectId id, std::list<vkAnimStream>::iterator* out) {
  std::list<vkAnimStream>& streams = Anims(gs).streams;
  for (auto it = streams.begin(); it != streams.end(); ++it)
    if (it->id == id) {
      *out = it;
      return 0;
    }
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoAnimStream;
}

// Closes the stream's writer, completing its file; 0 or 1052.
int32_t CloseStream(vkAnimStream& s) {
  int32_t rc = 0;
  if (s.gif) rc = int32_t(CloseGIFWriter(s.gif.release()));
  if (s.avi) rc = CloseAviWriter(s.avi.release());
  return rc;
}

}  // namespace

int cmdBeginAnimStream(vkState* L) {
  CheckArgCount(L, 4, 6);
  vkGraphicsState& gs = GraphicsState(L);
  const vkIdRequest request = OptObjectId(L, 1);
  const std::string file = dos::TextArg(L, 2);
  const int32_t width = vkDoubleToInt32(vmCheckNumber(L, 3)), height = vkDoubleToInt32(vmCheckNumber(L, 4));
  const int32_t format = vkDoubleToInt32(vmOptNumber(L, 5, kAnimFormatGif));
  vkAnimWriteOptions o;
  if (int32_t rc = ReadOptions(L, 6, &o)) return rc;
  if (file.empty() || width < 1 || height < 1) return kErrWrongUsage;
  if (format != kAnimFormatGif && format != kAnimFormatMjpeg) return kErrWrongUsage;
  if (!request.automatic) {
    std::list<vkAnimStream>::iterator it;
    if (FindStream(gs, vkObjectId{request.number, nullptr}, &it) == 0) {
      CloseStream(*it);
      Anims(gs).streams.erase(it);
    }
    ErrorInfo().errorNumber = 0;
  }
  vkAnimStream s;
  s.width = width, s.height = height, s.format = format;
  if (format == kAnimFormatMjpeg) {
    vkAviWriter* w = nullptr;
    if (int32_t rc = OpenAvi(file, width, height, o, &w)) return rc;
    s.avi.reset(w);
  } else {
    vkGIFWriter* w = nullptr;
    if (uint32_t rc = OpenGIFWriter(file.c_str(), width, height, &w)) return int32_t(rc);
    s.gif.reset(w);
  }
  s.id = NewObjectId(request);
  vkAnimStream& added = Anims(gs).streams.emplace_back(std::move(s));
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, added.id.handle);
  return 1;
}

int cmdWriteAnimFrame(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkGraphicsState& gs = GraphicsState(L);
  vkAnimWriteOptions o;
  if (int32_t rc = ReadOptions(L, 3, &o)) return rc;
  std::list<vkAnimStream>::iterator it;
  if (int32_t rc = FindStream(gs, CheckObjectId(L, 1), &it)) return rc;
  vkAnimStream& s = *it;
  vkBrush* brush = nullptr;
  if (int32_t rc = FindBrush(gs, CheckObjectId(L, 2), &brush, kBrushFindPixels)) return rc;
  const int32_t x = ResolveSpecialX(o.x, brush->width, s.width, 0, 0);
  const int32_t y = ResolveSpecialY(o.y, brush->height, s.height, 0, 0);
  vkBitMap* frame = brush->bitmap.get();
  vkBitMapPtr composed;
  if (x != 0 || y != 0 || brush->width != s.width || brush->height != s.height) {
    composed.reset(AllocArgbBitMap(s.width, s.height));
    if (!composed) return kErrOutOfMemory;
    FillBitMapRect(composed.get(), o.transparent == -1 ? 0 : uint32_t(o.transparent), 0, 0, s.width, s.height);
    const vkBitMap* src = brush->bitmap.get();
    if (brush->alpha) BltAlphaBitMap(src, 0, 0, composed.get(), x, y, brush->width, brush->height, brush->alpha.get());
    else if (brush->mask) BltMask(src, 0, 0, composed.get(), x, y, brush->width, brush->height, brush->mask.get());
    else BltBitMap(src, 0, 0, composed.get(), x, y, brush->width, brush->height);
    frame = composed.get();
  }
  if (s.format == kAnimFormatMjpeg) return WriteAviFrame(s.avi.get(), frame, s.width, s.height, 0, false);
  std::vector<uint8_t> indexes;
  try {
    indexes.resize(size_t(s.width) * size_t(s.height));
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return WriteGifFrame(s.gif.get(), frame, indexes, o.delay, o);
}

int cmdFinishAnimStream(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkGraphicsState& gs = GraphicsState(L);
  std::list<vkAnimStream>::iterator it;
  if (int32_t rc = FindStream(gs, CheckObjectId(L, 1), &it)) return rc;
  const int32_t rc = CloseStream(*it);
  Anims(gs).streams.erase(it);
  return rc;
}

int cmdSaveAnim(vkState* L) {
  CheckArgCount(L, 2, 4);
  vkGraphicsState& gs = GraphicsState(L);
  vkAnimWriteOptions o;
  if (int32_t rc = ReadOptions(L, 4, &o)) return rc;
  vkAnim* anim = nullptr;
  if (int32_t rc = FindAnim(gs, CheckObjectId(L, 1), &anim, 0)) return rc;
  const std::string file = dos::TextArg(L, 2);
  const int32_t format = vkDoubleToInt32(vmOptNumber(L, 3, kAnimFormatGif));
  std::unique_ptr<vkGIFWriter, vkGIFWriterCloser> gif;
  std::unique_ptr<vkAviWriter, vkAviWriterCloser> avi;
  std::vector<uint8_t> indexes;
  if (format == kAnimFormatGif) {
    try {
      indexes.resize(size_t(anim->width) * size_t(anim->height));
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    vkGIFWriter* w = nullptr;
    if (uint32_t rc = OpenGIFWriter(file.c_str(), anim->width, anim->height, &w)) return int32_t(rc);
    gif.reset(w);
  } else if (format == kAnimFormatMjpeg) {
    vkAviWriter* w = nullptr;
    if (int32_t rc = OpenAvi(file, anim->width, anim->height, o, &w)) return rc;
    avi.reset(w);
  } else {
    return kErrWrongUsage;
  }
  int32_t rc = 0;
  for (int32_t i = 0; i < anim->frameCount && rc == 0; i++) {
    vkPlanes decoded;
    vkBitmapSource src;
    rc = GetAnimFrameBitmap(gs, *anim, i, false, false, &decoded, &src);
    if (rc) break;
    vkBitMap* frame = const_cast<vkBitMap*>(src.bitmap);
    if (gif) rc = WriteGifFrame(gif.get(), frame, indexes, int32_t(std::min<uint32_t>(QueryAnimFrameDelay(*anim, i), kMaxGifDelay)), o);
    else rc = WriteAviFrame(avi.get(), frame, anim->width, anim->height, 0, false);
  }
  const int32_t closed = gif ? int32_t(CloseGIFWriter(gif.release())) : CloseAviWriter(avi.release());
  return rc ? rc : closed;
}
