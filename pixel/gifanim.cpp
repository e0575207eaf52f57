// The animated-GIF reader. One block walker serves both passes: indexing
// (opening) runs the LZW decoder without drawing, counting each code's pixels
// from the table so that it fails exactly where drawing would; decoding
// draws through the current palette onto the canvas, cutting images to the
// screen. Image data is always left by its sub-block lengths, so nothing in
// it is ever taken for a block of its own.
#include "pixel/gifanim.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "io/byteorder.h"

namespace {

// Block introducers and labels.
constexpr int kExtension = 0x21;
constexpr int kImage = 0x2C;
constexpr int kTrailer = 0x3B;
constexpr int kGraphicControl = 0xF9;

// Disposal methods.
constexpr int32_t kDisposeBackground = 2;
constexpr int32_t kDisposePrevious = 3;

constexpr int32_t kMaxCodes = 4096;
// The largest logical screen we compose: beyond it the canvases alone would
// take more memory than any display could show.
constexpr int64_t kMaxScreenPixels = int64_t(1) << 26;

enum class Step { kDone, kFailed, kEnd };

// Reads the palette of 2^(([packed] & 7) + 1) entries; false when the file ends.
bool ReadPalette(vkFile* f, int packed, uint32_t* palette) {
  const int count = 1 << ((packed & 7) + 1);
  uint8_t rgb[256 * 3];
  if (ReadStream(f, rgb, uint32_t(count * 3)) != uint32_t(count * 3)) return false;
  for (int i = 0; i < count; i++) palette[i] = uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
  return true;
}

// Passes over sub-blocks up to and including the terminator; false when the
// file ends first.
bool SkipSubBlocks(vkFile* f) {
  for (;;) {
    const int n = ReadStreamByte(f);
    if (n < 0) return false;
    if (n == 0) return true;
    SeekStream(f, n, VKSEEK_CURRENT);
    if (StreamAtEnd(f) && n > 0) {
      // The seek stops at the end: a sub-block cut by the end of the file.
      return false;
    }
  }
}

// Reads the image's sub-blocks as a stream of codes, least significant bit first.
struct CodeReader {
  vkFile* f;
  uint8_t block[256];
  int32_t have = 0, at = 0;
  uint32_t bits = 0;
  int32_t count = 0;
  bool ended = false;  // the terminator was read

  // The next code of [width] bits, or -1 when the data ends.
  int32_t Next(int32_t width) {
    while (count < width) {
      if (at == have) {
        if (ended) return -1;
        const int n = ReadStreamByte(f);
        if (n <= 0) {
          ended = true;
          return -1;
        }
        if (ReadStream(f, block, uint32_t(n)) != uint32_t(n)) {
          ended = true;
          return -1;
        }
        have = n, at = 0;
      }
      bits |= uint32_t(block[at++]) << count;
      count += 8;
    }
    const int32_t code = int32_t(bits & ((1u << width) - 1));
    bits >>= width;
    count -= width;
    return code;
  }
  // Leaves the rest of the image data by its lengths.
  bool Finish() { return ended || SkipSubBlocks(f); }
};

// Where the decoded pixels of one image go: rows in file order mapped to
// picture rows (interlaced or not), cut to the screen, transparent index
// left out. Without a canvas only the pixels are counted.
struct PixelSink {
  uint32_t* canvas;
  int32_t screenW, screenH;
  const uint32_t* palette;
  int32_t transparent;
  int32_t left, top, width, height;
  bool interlaced;
  int32_t pass = 0, row = 0, x = 0, rowsDone = 0;
  uint32_t* line = nullptr;  // the canvas row of the current image row, or null when off the screen
  int32_t from = 0, to = 0;  // the image columns of the current row that land on the screen

  void StartRow() {
    const int64_t y = int64_t(top) + row;
    line = nullptr;
    if (canvas && y >= 0 && y < screenH) {
      line = canvas + y * screenW;
      from = std::max(0, -left);
      to = std::min(width, screenW - left);
    }
  }
  void Begin() { StartRow(); }
  bool Full() const { return rowsDone >= height; }
  // Takes [n] indexes; returns false once the image is complete.
  bool Put(const uint8_t* idx, int32_t n) {
    while (n > 0 && !Full()) {
      const int32_t take = std::min(n, width - x);
      if (line) {
        const int32_t a = std::max(x, from), b = std::min(x + take, to);
        for (int32_t i = a; i < b; i++) {
          const int32_t v = idx[i - x];
          if (v != transparent) line[left + i] = palette[v];
        }
      }
      idx += take, n -= take, x += take;
      if (x == width) NextRow();
    }
    return !Full();
  }
  void NextRow() {
    x = 0;
    rowsDone++;
    if (interlaced) {
      static constexpr int32_t kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      row += kStep[pass];
      while (pass < 4 && row >= height) {
        pass++;
        if (pass < 4) row = kStart[pass];
      }
    } else {
      row++;
    }
    if (!Full()) StartRow();
  }
};

// The LZW decoder of one image. [sink] null: indexing, which only counts.
bool DecodeImageData(vkFile* f, int64_t pixels, PixelSink* sink) {
  const int minSize = ReadStreamByte(f);
  if (minSize < 0 || minSize > 8) return false;
  const int32_t clear = 1 << minSize, end = clear + 1;
  // Per code: prefix, last byte, first byte and length of its string.
  uint16_t prefix[kMaxCodes];
  uint8_t suffix[kMaxCodes], first[kMaxCodes];
  uint16_t length[kMaxCodes];
  uint8_t stack[kMaxCodes + 1];
  for (int32_t i = 0; i < clear; i++) suffix[i] = first[i] = uint8_t(i), length[i] = 1, prefix[i] = 0;

  CodeReader codes{f, {}, 0, 0, 0, 0, false};
  int32_t width = minSize + 1, nextFree = clear + 2, prev = -1;
  int64_t done = 0;
  if (sink) sink->Begin();
  while (done < pixels) {
    const int32_t code = codes.Next(width);
    if (code < 0) return false;  // the data ended early
    if (code == clear) {
      width = minSize + 1, nextFree = clear + 2, prev = -1;
      continue;
    }
    if (code == end) break;
    int32_t out;  // the code whose string is emitted (after a new entry when code == nextFree)
    if (prev < 0) {
      if (code >= nextFree) return false;
      out = code;
    } else {
      if (code > nextFree) return false;
      if (nextFree < kMaxCodes) {
        const int32_t base = code == nextFree ? prev : code;
        prefix[nextFree] = uint16_t(prev);
        suffix[nextFree] = first[base];
        first[nextFree] = first[prev];
        length[nextFree] = uint16_t(length[prev] + 1);
        nextFree++;
        if (nextFree == (1 << width) && width < 12) width++;
      } else if (code == nextFree) {
        return false;  // the table is full: there is no such entry
      }
      out = code;
    }
    prev = code;
    const int32_t n = length[out];
    done += n;
    if (sink) {
      int32_t c = out;
      for (int32_t i = n - 1; i >= 0; i--) stack[i] = suffix[c], c = prefix[c];
      sink->Put(stack, n);
    }
  }
  return codes.Finish();
}

vkGIFDisposal AreaOf(const vkGIFAnimReader* r, int32_t left, int32_t top, int32_t w, int32_t h) {
  vkGIFDisposal d;
  d.x1 = std::max(0, left), d.y1 = std::max(0, top);
  d.x2 = int32_t(std::min<int64_t>(int64_t(left) + w, r->width) - 1);
  d.y2 = int32_t(std::min<int64_t>(int64_t(top) + h, r->height) - 1);
  return d;
}

void FillArea(vkGIFAnimReader* r, const vkGIFDisposal& d, uint32_t colour) {
  for (int32_t y = d.y1; y <= d.y2; y++)
    std::fill(r->canvas.get() + size_t(y) * r->width + d.x1, r->canvas.get() + size_t(y) * r->width + d.x2 + 1, colour);
}
void CopyArea(uint32_t* to, const uint32_t* from, int32_t stride, const vkGIFDisposal& d) {
  for (int32_t y = d.y1; y <= d.y2; y++)
    std::memcpy(to + size_t(y) * stride + d.x1, from + size_t(y) * stride + d.x1, size_t(d.x2 - d.x1 + 1) * 4);
}

void ApplyDisposal(vkGIFAnimReader* r, const vkGIFDisposal& d) {
  if (d.x1 > d.x2 || d.y1 > d.y2) return;
  if (d.mode == kDisposeBackground) FillArea(r, d, d.fill);
  else if (d.mode == kDisposePrevious && r->saved) CopyArea(r->canvas.get(), r->saved.get(), r->width, d);
}

void ResetExtension(vkGIFAnimReader* r) {
  r->palette = r->globalPalette;
  r->disposal = 0, r->delay = 0, r->transparent = -1;
}

void ClearCanvas(vkGIFAnimReader* r) {
  std::fill(r->canvas.get(), r->canvas.get() + size_t(r->width) * r->height, r->globalPalette[r->background]);
}

// Walks blocks from the current position. Indexing ([target] -1) appends a
// table entry per image and draws nothing; decoding draws each image and
// stops when frame [target] is complete, its disposal left pending.
Step DecodeGIFFrames(vkGIFAnimReader* r, int32_t target) {
  vkFile* f = r->file.get();
  const bool indexing = target < 0;
  int64_t blocksStart = SeekStream(f, 0, VKSEEK_CURRENT);
  for (;;) {
    const int b = ReadStreamByte(f);
    if (b < 0 || b == kTrailer) return Step::kEnd;
    if (b == kExtension) {
      const int label = ReadStreamByte(f);
      if (label < 0) return Step::kEnd;
      if (label == kGraphicControl) {
        const int n = ReadStreamByte(f);
        if (n < 0) return Step::kEnd;
        uint8_t gce[255];
        if (ReadStream(f, gce, uint32_t(n)) != uint32_t(n)) return Step::kEnd;
        if (n >= 4) {
          r->disposal = (gce[0] >> 2) & 7;
          r->delay = gce[1] | gce[2] << 8;
          r->transparent = (gce[0] & 1) ? gce[3] : -1;
        }
        if (n > 0 && !SkipSubBlocks(f)) return Step::kEnd;
      } else if (!SkipSubBlocks(f)) {
        return Step::kEnd;
      }
      continue;
    }
    if (b != kImage) continue;

    uint8_t d[9];
    if (ReadStream(f, d, 9) != 9) return Step::kEnd;
    const int32_t left = d[0] | d[1] << 8, top = d[2] | d[3] << 8, w = d[4] | d[5] << 8, h = d[6] | d[7] << 8;
    const int packed = d[8];
    if (indexing) {
      vkGIFFrameEntry e;
      e.delay = uint32_t(r->delay);
      e.restart = left == 0 && top == 0 && w == r->width && h == r->height && r->transparent < 0 &&
                  r->disposal != kDisposePrevious;
      e.position = blocksStart;
      try {
        r->frames.push_back(e);
      } catch (const std::bad_alloc&) {
        return Step::kFailed;
      }
    }
    if (packed & 0x80) {
      std::fill(std::begin(r->localPalette), std::end(r->localPalette), 0u);
      if (!ReadPalette(f, packed, r->localPalette)) return Step::kFailed;
      r->palette = r->localPalette;
    }
    vkGIFDisposal area = AreaOf(r, left, top, w, h);
    if (!indexing) {
      if (r->nextFrame == 0 && r->transparent >= 0 && r->disposal == kDisposeBackground)
        std::fill(r->canvas.get(), r->canvas.get() + size_t(r->width) * r->height, r->palette[r->transparent]);
      if (r->disposal == kDisposePrevious && area.x1 <= area.x2 && area.y1 <= area.y2) {
        if (!r->saved) r->saved.reset(static_cast<uint32_t*>(AllocateArray(size_t(r->width) * r->height, 4, false)));
        if (!r->saved) return Step::kFailed;
        CopyArea(r->saved.get(), r->canvas.get(), r->width, area);
      }
    }
    PixelSink sink{r->canvas.get(), r->width, r->height, r->palette, r->transparent, left, top, w, h,
                   (packed & 0x40) != 0};
    if (!DecodeImageData(f, int64_t(w) * h, indexing ? nullptr : &sink)) return Step::kFailed;

    r->nextFrame++;
    area.mode = r->disposal;
    area.fill = r->palette[r->transparent >= 0 ? r->transparent : r->background];
    ResetExtension(r);
    blocksStart = SeekStream(f, 0, VKSEEK_CURRENT);
    if (!indexing && r->nextFrame == target + 1) {
      r->pending = area;
      return Step::kDone;
    }
    if (!indexing) ApplyDisposal(r, area);
  }
}

}  // namespace

vkGIFAnimReader* OpenGIFAnim(const char* name, int32_t* width, int32_t* height, int32_t* frameCount,
                             bool sizeOnly) {
  vkFilePtr file = OpenStream(name, VKFILE_READ);
  if (!file) return nullptr;
  vkFile* f = file.get();
  uint8_t head[13];
  if (ReadStream(f, head, 13) != 13) return nullptr;
  if (std::memcmp(head, "GIF87", 5) != 0 && std::memcmp(head, "GIF89", 5) != 0) return nullptr;
  const int32_t w = head[6] | head[7] << 8, h = head[8] | head[9] << 8;
  if (sizeOnly) {
    *width = w, *height = h;
    return nullptr;
  }
  if (w == 0 || h == 0 || int64_t(w) * h > kMaxScreenPixels) return nullptr;
  std::unique_ptr<vkGIFAnimReader> r(new (std::nothrow) vkGIFAnimReader);
  if (!r) return nullptr;
  r->width = w, r->height = h;
  r->background = head[11];
  r->canvas.reset(static_cast<uint32_t*>(AllocateArray(size_t(w) * h, 4, false)));
  if (!r->canvas) return nullptr;
  if ((head[10] & 0x80) && !ReadPalette(f, head[10], r->globalPalette)) return nullptr;
  r->file = std::move(file);
  r->firstFrame = SeekStream(r->file.get(), 0, VKSEEK_CURRENT);
  try {
    r->frames.reserve(4096);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  ResetExtension(r.get());
  ClearCanvas(r.get());
  if (DecodeGIFFrames(r.get(), -1) == Step::kFailed || r->frames.empty()) return nullptr;
  r->frameCount = int32_t(r->frames.size());
  r->nextFrame = -1;
  ResetExtension(r.get());
  *width = w, *height = h, *frameCount = r->frameCount;
  return r.release();
}

uint32_t* ReadGIFAnimFrame(vkGIFAnimReader* r, int32_t n) {
  if (!r || n < 0 || n >= r->frameCount) return nullptr;
  // The nearest frame at or below n that needs no predecessors.
  int32_t restart = n;
  while (restart >= 0 && !r->frames[size_t(restart)].restart) restart--;
  // Going on from where the last read stopped gives the same canvas as a
  // restart whenever no restart point lies between.
  const bool goOn = r->nextFrame >= 0 && r->nextFrame <= n && restart <= r->nextFrame;
  if (!goOn) {
    ResetExtension(r);
    if (restart >= 0) {
      SeekStream(r->file.get(), r->frames[size_t(restart)].position, VKSEEK_START);
      r->nextFrame = restart;
    } else {
      ClearCanvas(r);
      SeekStream(r->file.get(), r->firstFrame, VKSEEK_START);
      r->nextFrame = 0;
    }
  }
  r->file->pastEnd = 0;
  if (DecodeGIFFrames(r, n) != Step::kDone) {
    r->nextFrame = -1;  // the canvas is half drawn: the next read starts over
    return nullptr;
  }
  uint32_t* out = static_cast<uint32_t*>(AllocateArray(size_t(r->width) * r->height, 4, false));
  if (out) std::memcpy(out, r->canvas.get(), size_t(r->width) * r->height * 4);
  ApplyDisposal(r, r->pending);
  r->pending = vkGIFDisposal{};
  return out;
}

int32_t GetGIFFrameDelay(const vkGIFAnimReader* r, int32_t n) {
  if (!r || n < 0 || n >= r->frameCount) return 0;
  return int32_t(r->frames[size_t(n)].delay * 10);
}

void CloseGIFAnim(vkGIFAnimReader* reader) { delete reader; }
