// The IFF ANIM reader. Chunks are walked by their sizes (odd sizes padded),
// never past the FORM or the file that holds them; a CMAP is cut to 256
// entries. Deltas are read whole and every op is bounded by the delta's
// bytes and by the last row, so damaged data changes pixels at most.
#include "pixel/iffanim.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <new>

#include "base/picturesize.h"
#include "io/byteorder.h"
#include "pixel/ilbm.h"

namespace {

constexpr uint8_t kByteVerticalDelta = 5;
constexpr uint32_t kModeExtraHalfBrite = 0x80;
constexpr uint32_t kModeHAM = 0x800;
constexpr int32_t kMaxPlanes = 8;
// Offset of the first chunk inside the first FORM ILBM: "FORM" size "ANIM"
// "FORM" size "ILBM".
constexpr int64_t kFirstChunk = 24;

bool IdIs(const uint8_t* id, const char* want) { return std::memcmp(id, want, 4) == 0; }

// Walks the chunks between [from] and [to]: [fn] (id, data position, size)
// returns false to stop the walk there. The walk ends quietly at [to]; it
// returns false when a chunk header cannot be read before [to] is reached.
bool WalkChunks(vkFile* f, int64_t from, int64_t to,
                const std::function<bool(const uint8_t*, int64_t, uint32_t)>& fn) {
  int64_t at = from;
  while (at < to) {
    uint8_t id[4];
    SeekStream(f, at, VKSEEK_START);
    if (at + 8 > to || ReadStream(f, id, 4) != 4) return false;
    const uint32_t size = uint32_t(ReadBE32(f));
    if (StreamPastEnd(f)) return false;
    if (!fn(id, at + 8, size)) return true;
    at += 8 + int64_t(size) + (size & 1);
  }
  return true;
}

void ReadPaletteChunk(vkFile* f, uint32_t size, bool halfBrite, uint32_t* palette) {
  const uint32_t count = std::min<uint32_t>(size / 3, 256);
  for (uint32_t i = 0; i < count; i++) {
    uint8_t rgb[3] = {};
    ReadStream(f, rgb, 3);
    palette[i] = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
  }
  if (halfBrite)
    for (int i = 0; i < 32; i++) palette[32 + i] = (palette[i] >> 1) & 0x7F7F7F;
}

size_t PlanesBytes(const vkIFFAnimReader* r) {
  return size_t(ILBMRowBytes(r->width)) * size_t(r->height) * size_t(r->planes);
}

void Restart(vkIFFAnimReader* r) {
  for (auto& b : r->buffers) std::memcpy(b.get(), r->firstPlanes.get(), PlanesBytes(r));
  std::memcpy(r->palette, r->firstPalette, sizeof r->palette);
  r->current = 0;
  r->nextFrame = 0;
  SeekStream(r->file.get(), r->firstDelta, VKSEEK_START);
  r->file->pastEnd = 0;
}

// Applies one operation-5 delta to [planes]: per plane a 32-bit offset into
// the data, per byte column an op count and its ops walking down the column.
void ApplyByteVerticalDelta(const vkIFFAnimReader* r, const uint8_t* data, size_t size, uint8_t* planes, bool xorMode) {
  const int32_t rowBytes = ILBMRowBytes(r->width);
  const size_t planeSize = size_t(rowBytes) * size_t(r->height);
  for (int32_t p = 0; p < r->planes; p++) {
    if (size < size_t(p) * 4 + 4) return;
    const uint8_t* o = data + size_t(p) * 4;
    const size_t offset = size_t(o[0]) << 24 | size_t(o[1]) << 16 | size_t(o[2]) << 8 | o[3];
    if (offset == 0) continue;
    size_t at = offset;
    uint8_t* plane = planes + size_t(p) * planeSize;
    for (int32_t col = 0; col < rowBytes && at < size; col++) {
      int32_t ops = data[at++];
      int32_t row = 0;
      auto put = [&](uint8_t v) {
        if (row < r->height) {
          uint8_t& dst = plane[size_t(row) * rowBytes + col];
          dst = xorMode ? uint8_t(dst ^ v) : v;
        }
        row++;
      };
      for (; ops > 0 && at < size; ops--) {
        const int32_t op = data[at++];
        if (op == 0) {
          if (at + 2 > size) return;
          int32_t count = data[at];
          const uint8_t value = data[at + 1];
          at += 2;
          for (; count > 0 && row < r->height; count--) put(value);
        } else if (op < 128) {
          row += op;
        } else {
          int32_t count = op & 127;
          if (at + size_t(count) > size) return;
          for (int32_t i = 0; i < count; i++) put(data[at + size_t(i)]);
          at += size_t(count);
        }
      }
    }
  }
}

// Reads the delta FORM at the current position into the buffer whose turn
// it is; [changed] receives that buffer. False when the FORM is no
// operation-5 delta or cannot be read.
bool ReadIFFAnimChunks(vkIFFAnimReader* r, int32_t frame, uint8_t** changed) {
  vkFile* f = r->file.get();
  const int64_t form = SeekStream(f, 0, VKSEEK_CURRENT);
  uint8_t head[4];
  if (ReadStream(f, head, 4) != 4 || !IdIs(head, "FORM")) return false;
  const uint32_t formSize = uint32_t(ReadBE32(f));
  if (StreamPastEnd(f)) return false;
  const int64_t end = std::min<int64_t>(form + 8 + formSize, r->fileSize);
  bool haveHeader = false, ok = false;
  int32_t interleave = 0;
  WalkChunks(f, form + 12, end, [&](const uint8_t* id, int64_t data, uint32_t size) {
    if (IdIs(id, "ANHD")) {
      const int op = ReadStreamByte(f);
      if (op != kByteVerticalDelta) return false;
      SeekStream(f, 13, VKSEEK_CURRENT);
      const uint32_t reltime = uint32_t(ReadBE32(f));
      interleave = ReadStreamByte(f);
      if (StreamPastEnd(f) || size < 19) return false;
      r->delays[size_t(frame)] = reltime;
      haveHeader = true;
    } else if (IdIs(id, "CMAP")) {
      ReadPaletteChunk(f, size, r->halfBrite, r->palette);
    } else if (IdIs(id, "DLTA")) {
      if (!haveHeader || data + int64_t(size) > end) return false;
      vkBufferPtr<uint8_t> delta(static_cast<uint8_t*>(AllocateBytes(size ? size : 1, false)));
      if (!delta || ReadStream(f, delta.get(), size) != size) return false;
      uint8_t* target = r->buffers[r->current].get();
      ApplyByteVerticalDelta(r, delta.get(), size, target, interleave == 1);
      if (interleave != 1) r->current ^= 1;
      *changed = target;
      ok = true;
      return false;
    }
    return true;
  });
  SeekStream(f, form + 8 + int64_t(formSize) + (formSize & 1), VKSEEK_START);
  return ok;
}

}  // namespace

vkIFFAnimReader* OpenIFFAnim(const char* name, int32_t* width, int32_t* height, int32_t* frameCount) {
  std::unique_ptr<vkIFFAnimReader> r(new (std::nothrow) vkIFFAnimReader);
  if (!r) return nullptr;
  r->file = OpenStream(name, VKFILE_READ);
  if (!r->file) return nullptr;
  vkFile* f = r->file.get();
  SeekStream(f, 0, VKSEEK_END);
  r->fileSize = SeekStream(f, 0, VKSEEK_CURRENT);

  bool haveHeader = false, foundBody = false;
  int32_t dpanFrames = 0;
  uint32_t firstDelay = 0;
  int64_t bodyAt = 0;
  uint32_t bodySize = 0;
  const bool walked = WalkChunks(f, kFirstChunk, r->fileSize, [&](const uint8_t* id, int64_t data, uint32_t size) {
    if (IdIs(id, "BMHD") && size >= 11) {
      r->width = ReadBE16(f) & 0xFFFF;
      r->height = ReadBE16(f) & 0xFFFF;
      SeekStream(f, 4, VKSEEK_CURRENT);
      r->planes = ReadStreamByte(f);
      r->masking = ReadStreamByte(f);
      r->compression = ReadStreamByte(f);
      haveHeader = !StreamPastEnd(f);
    } else if (IdIs(id, "ANHD") && size >= 18) {
      SeekStream(f, 14, VKSEEK_CURRENT);
      firstDelay = uint32_t(ReadBE32(f));
    } else if (IdIs(id, "CMAP")) {
      ReadPaletteChunk(f, size, false, r->palette);
    } else if (IdIs(id, "DPAN") && size >= 4) {
      SeekStream(f, 2, VKSEEK_CURRENT);
      dpanFrames = ReadBE16(f) & 0xFFFF;
    } else if (IdIs(id, "CAMG") && size >= 4) {
      const uint32_t mode = uint32_t(ReadBE32(f));
      r->halfBrite = (mode & kModeExtraHalfBrite) != 0;
      if (mode & kModeHAM) (r->planes > 6 ? r->ham8 : r->ham6) = true;
    } else if (IdIs(id, "BODY")) {
      bodyAt = data, bodySize = size, foundBody = true;
      return false;
    }
    return true;
  });
  if (!walked || !foundBody || !haveHeader || StreamPastEnd(f)) return nullptr;
  if (r->width == 0 || r->height == 0 || r->planes < 1 || r->planes > kMaxPlanes) return nullptr;
  // Frames are whole pictures: one larger than any picture may be would make
  // a packed body of a few hundred kilobytes ask for gigabytes of planes,
  // indexes and frame words.
  if (CheckPictureSize(r->width, r->height) != 0) return nullptr;
  // HAM is known only with the plane count; CAMG may come before BMHD.
  if (r->ham8 && r->planes <= 6) std::swap(r->ham6, r->ham8);
  if (r->ham6 && r->planes > 6) std::swap(r->ham6, r->ham8);
  if (r->halfBrite)
    for (int i = 0; i < 32; i++) r->palette[32 + i] = (r->palette[i] >> 1) & 0x7F7F7F;
  std::memcpy(r->firstPalette, r->palette, sizeof r->palette);

  const int32_t rowBytes = ILBMRowBytes(r->width);
  if (r->fileSize - bodyAt < LeastBodyBytes(r->height, r->planes, rowBytes, uint8_t(r->compression))) return nullptr;
  for (auto* b : {&r->firstPlanes, &r->buffers[0], &r->buffers[1]}) {
    b->reset(static_cast<uint8_t*>(AllocateArray(PlanesBytes(r.get()), 1, true)));
    if (!*b) return nullptr;
  }
  r->chunky.reset(static_cast<uint8_t*>(AllocateArray(size_t(r->width), size_t(r->height), true)));
  if (!r->chunky) return nullptr;
  SeekStream(f, bodyAt, VKSEEK_START);
  if (r->compression != 0)
    ReadILBMPlanesByteRun1(f, r->firstPlanes.get(), int32_t(bodySize), r->width, r->height, r->planes, r->masking);
  else
    ReadILBMPlanesRaw(f, r->firstPlanes.get(), int32_t(bodySize), r->width, r->height, r->planes, r->masking);
  if (StreamPastEnd(f)) return nullptr;

  // The first delta FORM: behind the first FORM ILBM, else behind its BODY.
  uint8_t id[4];
  SeekStream(f, 16, VKSEEK_START);
  const uint32_t ilbmSize = uint32_t(ReadBE32(f));
  int64_t delta = 20 + int64_t(ilbmSize) + (ilbmSize & 1);
  bool found = false;
  if (!StreamPastEnd(f) && delta + 4 <= r->fileSize) {
    SeekStream(f, delta, VKSEEK_START);
    found = ReadStream(f, id, 4) == 4 && IdIs(id, "FORM");
  }
  if (!found) {
    delta = bodyAt + int64_t(bodySize) + (bodySize & 1);
    SeekStream(f, delta, VKSEEK_START);
    if (delta + 4 > r->fileSize || ReadStream(f, id, 4) != 4 || !IdIs(id, "FORM")) return nullptr;
  }
  r->file->pastEnd = 0;
  r->firstDelta = delta;

  // Count the delta FORMs to the end of the file, taking each one's delay.
  int32_t forms = 0;
  std::vector<uint32_t> formDelays;
  for (int64_t at = delta; at < r->fileSize;) {
    SeekStream(f, at, VKSEEK_START);
    if (ReadStream(f, id, 4) != 4 || !IdIs(id, "FORM")) {
      if (dpanFrames == 0) return nullptr;
      break;
    }
    const uint32_t size = uint32_t(ReadBE32(f));
    if (StreamPastEnd(f)) {
      if (dpanFrames == 0) return nullptr;
      break;
    }
    forms++;
    uint32_t reltime = 0;
    WalkChunks(f, at + 12, std::min<int64_t>(at + 8 + int64_t(size), r->fileSize),
               [&](const uint8_t* chunk, int64_t, uint32_t chunkSize) {
                 if (!IdIs(chunk, "ANHD")) return !IdIs(chunk, "DLTA");
                 if (chunkSize >= 18) {
                   SeekStream(f, 14, VKSEEK_CURRENT);
                   reltime = uint32_t(ReadBE32(f));
                 }
                 return false;
               });
    try {
      formDelays.push_back(reltime);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    r->file->pastEnd = 0;
    at += 8 + int64_t(size) + (size & 1);
  }
  r->file->pastEnd = 0;
  r->frameCount = dpanFrames > 0 ? dpanFrames : 1 + forms;
  if (r->frameCount < 2) return nullptr;
  try {
    r->delays.assign(size_t(r->frameCount), 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  r->delays[0] = firstDelay;
  for (size_t i = 0; i < formDelays.size() && i + 1 < r->delays.size(); i++) r->delays[i + 1] = formDelays[i];
  Restart(r.get());
  *width = r->width, *height = r->height, *frameCount = r->frameCount;
  return r.release();
}

uint32_t* ReadIFFAnimFrame(vkIFFAnimReader* r, int32_t n) {
  if (!r || n < 0 || n >= r->frameCount) return nullptr;
  if (n < r->nextFrame) Restart(r);
  uint8_t* changed = nullptr;
  for (int32_t k = r->nextFrame; k < n; k++) {
    if (k > 0 && !ReadIFFAnimChunks(r, k, &changed)) {
      Restart(r);
      return nullptr;
    }
  }
  r->nextFrame = n + 1;
  const uint8_t* planes;
  if (n == 0) {
    planes = r->firstPlanes.get();
    std::memcpy(r->palette, r->firstPalette, sizeof r->palette);
  } else {
    if (!ReadIFFAnimChunks(r, n, &changed)) {
      Restart(r);
      return nullptr;
    }
    planes = changed;
  }
  const int32_t rowBytes = ILBMRowBytes(r->width);
  std::memset(r->chunky.get(), 0, size_t(r->width) * size_t(r->height));
  ConvertPlanesToChunky(planes, r->width, r->height, r->planes, rowBytes, r->chunky.get(), 0);
  uint32_t* out = static_cast<uint32_t*>(AllocateArray(size_t(r->width) * size_t(r->height), 4, false));
  if (out) {
    if (r->ham6) ConvertHAM6ToARGB(r->chunky.get(), out, r->palette, r->width, r->height);
    else if (r->ham8) ConvertHAM8ToARGB(r->chunky.get(), out, r->palette, r->width, r->height);
    else ConvertIndexesToARGB(r->chunky.get(), out, r->palette, r->width, r->height);
  }
  if (r->nextFrame >= r->frameCount) Restart(r);
  return out;
}

int32_t GetIFFAnimFrameDelay(const vkIFFAnimReader* r, int32_t n) {
  if (!r || n < 0 || n >= r->frameCount) return 0;
  return int32_t(std::min<int64_t>(int64_t(r->delays[size_t(n)]) * 1000 / 60, INT32_MAX));
}

void CloseIFFAnim(vkIFFAnimReader* reader) { delete reader; }
