// The GIF writer: the file header with a placeholder global colour table, one
// graphic control extension, image descriptor and local colour table per
// frame, the looping extension before the first frame, and the variable-width
// LZW encoder whose string table is an open-addressing hash of 5003 slots.
#include "pixel/gifwriter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/errorinfo.h"
#include "base/errorcodes.h"

namespace {

constexpr int32_t kHashSlots = 5003;
constexpr int32_t kCodeLimit = 4096;  // codes stay below this (12 bits)
constexpr int32_t kPacketBytes = 254;  // data bytes per sub-block

// The 768-byte global colour table begins with this text and its NUL; the
// frames never use it, each carries a local table.
constexpr char kGlobalTableText[] = "Amiga rules!";

void Put(vkGIFWriter* w, const void* data, uint32_t n) {
  if (WriteStream(w->file.get(), data, n) != n) w->writeFailed = true;
}
void PutByte(vkGIFWriter* w, uint8_t b) { Put(w, &b, 1); }
void Put16(vkGIFWriter* w, uint32_t v) {
  const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  Put(w, b, 2);
}

// The string table: for each slot, its code (0 = empty), the prefix code and
// the byte appended to it.
struct vkLZWTable {
  uint16_t code[kHashSlots];
  uint16_t prefix[kHashSlots];
  uint8_t byte[kHashSlots];
};

// Packs codes least significant bit first into sub-blocks of the file.
class vkCodeWriter {
 public:
  explicit vkCodeWriter(vkGIFWriter* w) : w_(w) {}
  void Code(uint32_t code, int32_t width) {
    bits_ |= code << count_;
    count_ += width;
    while (count_ >= 8) {
      Byte(uint8_t(bits_));
      bits_ >>= 8;
      count_ -= 8;
    }
  }
  // The last partial byte, the last sub-block and the block terminator.
  void Finish() {
    if (count_ > 0) Byte(uint8_t(bits_));
    if (used_) Flush();
    PutByte(w_, 0);
  }

 private:
  void Byte(uint8_t b) {
    packet_[used_++] = b;
    if (used_ >= kPacketBytes) Flush();
  }
  void Flush() {
    PutByte(w_, uint8_t(used_));
    Put(w_, packet_, uint32_t(used_));
    used_ = 0;
  }
  vkGIFWriter* w_;
  uint8_t packet_[256];
  int32_t used_ = 0;
  uint32_t bits_ = 0;
  int32_t count_ = 0;
};

// Encodes the [rw] x [rh] rectangle at ([left], [top]) of [indexes] (row
// length [stride]) with the minimum code size [minSize].
void EncodeLZW(vkGIFWriter* w, vkLZWTable* t, const uint8_t* indexes, int32_t stride, int32_t left, int32_t top,
               int32_t rw, int32_t rh, int32_t minSize) {
  const int32_t clear = 1 << minSize, end = clear + 1;
  int32_t next = clear + 2, width = minSize + 1, maxCode = (1 << width) - 1;
  vkCodeWriter out(w);
  auto emit = [&](int32_t code) {
    out.Code(uint32_t(code), width);
    if (next > maxCode) {
      width++;
      maxCode = width == 12 ? kCodeLimit : (1 << width) - 1;
    }
  };
  std::memset(t->code, 0, sizeof t->code);
  emit(clear);
  int32_t current = indexes[size_t(top) * size_t(stride) + size_t(left)];
  bool first = true;
  for (int32_t y = top; y < top + rh; y++) {
    const uint8_t* row = indexes + size_t(y) * size_t(stride);
    for (int32_t x = left; x < left + rw; x++) {
      if (first) {
        first = false;
        continue;
      }
      const int32_t k = row[x];
      int32_t i = (k << 4) + current;
      if (i >= kHashSlots) i -= kHashSlots;
      auto matches = [&](int32_t s) { return t->code[s] != 0 && t->prefix[s] == current && t->byte[s] == k; };
      bool found = matches(i);
      if (!found && t->code[i] != 0) {
        const int32_t step = i == 0 ? 1 : kHashSlots - i;
        do {
          i -= step;
          if (i < 0) i += kHashSlots;
          found = matches(i);
        } while (!found && t->code[i] != 0);
      }
      if (found) {
        current = t->code[i];
        continue;
      }
      emit(current);
      if (next < kCodeLimit) {
        t->code[i] = uint16_t(next++);
        t->prefix[i] = uint16_t(current);
        t->byte[i] = uint8_t(k);
      } else {
        std::memset(t->code, 0, sizeof t->code);
        out.Code(uint32_t(clear), width);
        next = clear + 2;
        width = minSize + 1;
        maxCode = (1 << width) - 1;
      }
      current = k;
    }
  }
  emit(current);
  emit(end);
  out.Finish();
}

struct vkRect {
  int32_t left, top, width, height;
};

// The rectangle of [indexes] that differs from the writer's previous frame.
// A pixel is unchanged when its previous index maps to its current one: to
// the first current palette entry with the previous entry's colour.
vkRect ChangedRect(const vkGIFWriter* w, const uint8_t* indexes, const uint32_t* palette) {
  const int32_t width = w->width, height = w->height;
  const uint8_t* prev = w->previous.get();
  int16_t map[256];
  std::fill(map, map + 256, int16_t(-2));  // -2 not looked up yet, -1 no such colour now
  auto changed = [&](int32_t x, int32_t y) {
    const size_t i = size_t(y) * size_t(width) + size_t(x);
    int16_t& m = map[prev[i]];
    if (m == -2) {
      m = -1;
      for (int j = 0; j < 256 && m < 0; j++)
        if (palette[j] == w->previousPalette[prev[i]]) m = int16_t(j);
    }
    return m != indexes[i];
  };
  auto firstChange = [&](int32_t y) {
    for (int32_t x = 0; x < width; x++)
      if (changed(x, y)) return x;
    return int32_t(-1);
  };
  auto columnChanged = [&](int32_t x, int32_t top, int32_t bottom) {
    for (int32_t y = top; y <= bottom; y++)
      if (changed(x, y)) return true;
    return false;
  };
  int32_t top = 0, c1 = -1;
  for (; top < height && (c1 = firstChange(top)) < 0; top++) {
  }
  // nothing changed: two pixels (one when the picture is one pixel wide)
  if (c1 < 0) return {0, 0, width < 2 ? width : 2, 1};
  int32_t bottom = top, c2 = c1;
  for (int32_t y = height - 1; y > top; y--) {
    const int32_t x = firstChange(y);
    if (x >= 0) {
      bottom = y;
      c2 = x;
      break;
    }
  }
  int32_t left = c1 < c2 ? c1 : c2, right = c1 < c2 ? c2 : c1;
  for (int32_t x = 0; x < left; x++)
    if (columnChanged(x, top, bottom)) {
      left = x;
      break;
    }
  for (int32_t x = width - 1; x > right; x--)
    if (columnChanged(x, top, bottom)) {
      right = x;
      break;
    }
  return {left, top, right - left + 1, bottom - top + 1};
}

uint32_t FailWithName(uint32_t code, const std::string& name) {
  SetErrorText(name.c_str());
  return code;
}

}  // namespace

uint32_t OpenGIFWriter(const char* name, int32_t width, int32_t height, vkGIFWriter** writer) {
  // the screen size is a 16-bit field
  if (width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF) return FailWithName(kErrCannotWrite, name);
  std::unique_ptr<vkGIFWriter> w(new (std::nothrow) vkGIFWriter);
  if (!w) return kErrOutOfMemory;
  w->name = name;
  w->width = width;
  w->height = height;
  w->file = OpenStream(name, VKFILE_WRITE);
  if (!w->file) return FailWithName(kErrCannotWrite, name);
  w->frameCopy.reset(static_cast<uint8_t*>(AllocateArray(size_t(width), size_t(height), false)));
  if (!w->frameCopy) return kErrOutOfMemory;

  Put(w.get(), "GIF89a", 6);
  Put16(w.get(), uint32_t(width));
  Put16(w.get(), uint32_t(height));
  const uint8_t screen[3] = {0xF7, 0, 0};  // global table of 256 entries, 8-bit colour
  Put(w.get(), screen, 3);
  uint8_t table[768] = {};
  std::memcpy(table, kGlobalTableText, sizeof kGlobalTableText);
  Put(w.get(), table, sizeof table);
  *writer = w.release();
  return 0;
}

uint32_t WriteGIFFrame(vkGIFWriter* w, uint8_t* indexes, int32_t width, int32_t height, int32_t delay,
                       uint32_t* palette, int32_t colours, int32_t transparent, int32_t changedOnly) {
  if (colours < 1) colours = 1;
  if (colours > 256) colours = 256;
  for (int32_t i = colours; i < 256; i++) palette[i] = 0xFFFFFFFF;
  int32_t bits = 1;
  while ((1 << bits) < colours) bits++;

  vkBufferPtr<vkLZWTable> table(static_cast<vkLZWTable*>(AllocateBytes(sizeof(vkLZWTable), false)));
  if (!table) return kErrOutOfMemory;  // nothing of the frame is written

  // graphic control extension: disposal 1 (keep) without, 2 (restore) with
  // a transparent index; the transparent flag is always set
  int32_t ticks = delay / 10;
  ticks = ticks < 0 ? 0 : ticks > 0xFFFF ? 0xFFFF : ticks;
  const uint8_t control[4] = {0x21, 0xF9, 0x04, uint8_t(transparent == -1 ? 0x05 : 0x09)};
  Put(w, control, 4);
  Put16(w, uint32_t(ticks));
  const uint8_t key[2] = {uint8_t(transparent == -1 ? colours - 1 : transparent), 0};
  Put(w, key, 2);
  if (w->framesWritten == 0) {
    const uint8_t loop[19] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0x03, 0x01, 0, 0, 0};
    Put(w, loop, sizeof loop);
  }

  const bool sameSize = width == w->width && height == w->height;
  const bool cut = changedOnly && w->previous && transparent == -1 && sameSize;
  vkRect rect = {0, 0, width, height};
  if (cut) {
    rect = ChangedRect(w, indexes, palette);
    const uint8_t spare = uint8_t(colours - 1);
    for (int32_t y = rect.top; y < rect.top + rect.height; y++) {
      const size_t at = size_t(y) * size_t(width) + size_t(rect.left);
      std::memcpy(w->frameCopy.get() + at, indexes + at, size_t(rect.width));
      for (size_t i = at; i < at + size_t(rect.width); i++)
        if (w->previousPalette[w->previous.get()[i]] == palette[indexes[i]]) indexes[i] = spare;
    }
  }

  PutByte(w, 0x2C);
  Put16(w, uint32_t(rect.left));
  Put16(w, uint32_t(rect.top));
  Put16(w, uint32_t(rect.width));
  Put16(w, uint32_t(rect.height));
  PutByte(w, uint8_t(0x80 | (bits - 1)));
  for (int32_t i = 0; i < (1 << bits); i++) {
    const uint8_t rgb[3] = {uint8_t(palette[i] >> 16), uint8_t(palette[i] >> 8), uint8_t(palette[i])};
    Put(w, rgb, 3);
  }
  const int32_t minSize = bits < 2 ? 2 : bits;
  PutByte(w, uint8_t(minSize));
  EncodeLZW(w, table.get(), indexes, width, rect.left, rect.top, rect.width, rect.height, minSize);
  w->framesWritten++;

  if (changedOnly && sameSize) {
    // keep this frame as it was given for the next comparison
    const size_t n = size_t(width) * size_t(height);
    if (!w->previous) {
      w->previous.reset(static_cast<uint8_t*>(AllocateBytes(n, false)));
      if (!w->previous) return kErrOutOfMemory;
      std::memcpy(w->previous.get(), indexes, n);
    } else if (cut) {
      for (int32_t y = rect.top; y < rect.top + rect.height; y++) {
        const size_t at = size_t(y) * size_t(width) + size_t(rect.left);
        std::memcpy(w->previous.get() + at, w->frameCopy.get() + at, size_t(rect.width));
      }
    } else {
      std::memcpy(w->previous.get(), indexes, n);
    }
    std::memcpy(w->previousPalette, palette, sizeof w->previousPalette);
  } else if (!sameSize) {
    w->previous.reset();  // a frame of another size cannot be compared with
  }
  return w->writeFailed ? FailWithName(kErrCannotWrite, w->name) : 0;
}

uint32_t CloseGIFWriter(vkGIFWriter* writer) {
  if (!writer) return 0;
  std::unique_ptr<vkGIFWriter> w(writer);
  PutByte(w.get(), 0x3B);
  if (!CloseStream(w->file.release())) w->writeFailed = true;
  return w->writeFailed ? FailWithName(kErrCannotWrite, w->name) : 0;
}
