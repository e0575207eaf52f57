// The two-pass median-cut quantizer. Pass one counts colours in a histogram
// of 32 x 64 x 32 cells and cuts the colour space into boxes, one per palette
// colour; pass two reuses the histogram as the inverse colour map (0 = not
// computed yet, else index + 1) and fills it 128 cells at a time, for the
// regions that the picture's pixels actually fall into.
#include "pixel/quantize.h"

#include <cstring>

#include "pixel/allocate.h"
#include "pixel/pixfmt.h"

namespace {

constexpr int kRedCells = 32, kGreenCells = 64, kBlueCells = 32;
constexpr size_t kHistogramCells = size_t(kRedCells) * kGreenCells * kBlueCells;

// One histogram cell: red 5 bits, green 6, blue 5.
inline size_t Cell(int r, int g, int b) { return (size_t(r) * kGreenCells + size_t(g)) * kBlueCells + size_t(b); }
inline size_t CellOf(const uint8_t rgb[3]) { return Cell(rgb[0] >> 3, rgb[1] >> 2, rgb[2] >> 3); }

// Per axis: cell coordinates (inclusive).
struct vkColourBox {
  int32_t min[3];
  int32_t max[3];
  int32_t volume;
  int32_t colours;  // non-empty cells
};

// The scaled axis lengths that choose the split and make up the volume.
constexpr int32_t kAxisScale[3] = {16, 12, 8};

// Counts in the cells of a box, by axis order red, green, blue.
template <typename Fn>
void ForEachCell(const vkColourBox& b, Fn&& fn) {
  for (int r = b.min[0]; r <= b.max[0]; r++)
    for (int g = b.min[1]; g <= b.max[1]; g++)
      for (int bl = b.min[2]; bl <= b.max[2]; bl++) fn(r, g, bl);
}

// True when the slice [at] of [axis] inside [b] holds a counted cell.
bool SliceUsed(const uint16_t* histogram, const vkColourBox& b, int axis, int at) {
  vkColourBox slice = b;
  slice.min[axis] = slice.max[axis] = at;
  bool used = false;
  ForEachCell(slice, [&](int r, int g, int bl) { used = used || histogram[Cell(r, g, bl)] != 0; });
  return used;
}

// Shrinks [b] to the cells in use and works out its volume and colour count.
void UpdateBox(const uint16_t* histogram, vkColourBox& b) {
  for (int axis = 0; axis < 3; axis++) {
    if (b.min[axis] < b.max[axis])
      for (int at = b.min[axis]; at <= b.max[axis]; at++)
        if (SliceUsed(histogram, b, axis, at)) {
          b.min[axis] = at;
          break;
        }
    if (b.min[axis] < b.max[axis])
      for (int at = b.max[axis]; at >= b.min[axis]; at--)
        if (SliceUsed(histogram, b, axis, at)) {
          b.max[axis] = at;
          break;
        }
  }
  b.volume = 0;
  for (int axis = 0; axis < 3; axis++) {
    const int32_t length = (b.max[axis] - b.min[axis]) * kAxisScale[axis];
    b.volume += length * length;
  }
  b.colours = 0;
  ForEachCell(b, [&](int r, int g, int bl) { b.colours += histogram[Cell(r, g, bl)] != 0; });
}

// Cuts the colour space into at most [wanted] boxes; returns how many.
int32_t MedianCut(const uint16_t* histogram, vkColourBox* boxes, int32_t wanted) {
  boxes[0] = {{0, 0, 0}, {kRedCells - 1, kGreenCells - 1, kBlueCells - 1}, 0, 0};
  UpdateBox(histogram, boxes[0]);
  int32_t count = 1;
  while (count < wanted) {
    // few boxes yet: split the most populous; later the largest
    const bool byVolume = wanted < 2 * count;
    vkColourBox* chosen = nullptr;
    int32_t best = 0;
    for (int32_t i = 0; i < count; i++) {
      const int32_t value = byVolume ? boxes[i].volume : boxes[i].colours;
      if (value > best && boxes[i].volume > 0) {
        best = value;
        chosen = &boxes[i];
      }
    }
    if (!chosen) break;
    int32_t length[3];
    for (int axis = 0; axis < 3; axis++) length[axis] = (chosen->max[axis] - chosen->min[axis]) * kAxisScale[axis];
    // ties favour green, then red, then blue
    const int axis = (length[2] > length[0] && length[2] > length[1]) ? 2 : length[0] <= length[1] ? 1 : 0;
    const int32_t mid = (chosen->min[axis] + chosen->max[axis]) / 2;
    vkColourBox& added = boxes[count++];
    added = *chosen;
    chosen->max[axis] = mid;
    added.min[axis] = mid + 1;
    UpdateBox(histogram, *chosen);
    UpdateBox(histogram, added);
  }
  return count;
}

// The count-weighted mean colour of each box, at the centres of its cells;
// an empty box is white.
void BoxColours(const uint16_t* histogram, const vkColourBox* boxes, int32_t count, int32_t rgb[3][256]) {
  for (int32_t i = 0; i < count; i++) {
    int64_t total = 0, sum[3] = {0, 0, 0};
    ForEachCell(boxes[i], [&](int r, int g, int bl) {
      const int64_t n = histogram[Cell(r, g, bl)];
      total += n;
      sum[0] += n * (r * 8 + 4);
      sum[1] += n * (g * 4 + 2);
      sum[2] += n * (bl * 8 + 4);
    });
    for (int c = 0; c < 3; c++) rgb[c][i] = total ? static_cast<int32_t>((sum[c] + total / 2) / total) : 255;
  }
}

// Distance weights of red, green and blue in the inverse map.
constexpr int32_t kWeight[3] = {2, 3, 1};
// Cells per region and axis, and the centre spacing of cells in colour units.
constexpr int32_t kRegionCells[3] = {4, 8, 4};
constexpr int32_t kCellStep[3] = {8, 4, 8};

// Fills the inverse map for the region holding the cell (r, g, b): every
// cell of it gets the index + 1 of its nearest palette colour (ties keep the
// earlier colour), searched among the colours that can be nearest anywhere
// in the region.
void FillInverseColorMap(uint16_t* map, const int32_t palette[3][256], int32_t colours, int r, int g, int b) {
  const int cell[3] = {r, g, b};
  int32_t lo[3], hi[3], first[3];
  for (int c = 0; c < 3; c++) {
    first[c] = cell[c] / kRegionCells[c] * kRegionCells[c];
    lo[c] = first[c] * kCellStep[c] + kCellStep[c] / 2;
    hi[c] = lo[c] + (kRegionCells[c] - 1) * kCellStep[c];
  }
  // the least and the greatest distance of each colour to the region
  int32_t least[256];
  int32_t bound = 0x7FFFFFFF;
  for (int32_t i = 0; i < colours; i++) {
    int32_t minDist = 0, maxDist = 0;
    for (int c = 0; c < 3; c++) {
      const int32_t x = palette[c][i];
      int32_t near, far;
      if (x < lo[c]) {
        near = (x - lo[c]) * kWeight[c];
        far = (x - hi[c]) * kWeight[c];
      } else if (x > hi[c]) {
        near = (x - hi[c]) * kWeight[c];
        far = (x - lo[c]) * kWeight[c];
      } else {
        near = 0;
        far = (x <= (lo[c] + hi[c]) >> 1 ? x - hi[c] : x - lo[c]) * kWeight[c];
      }
      minDist += near * near;
      maxDist += far * far;
    }
    least[i] = minDist;
    if (maxDist < bound) bound = maxDist;
  }

  constexpr int kCells = 4 * 8 * 4;
  int32_t best[kCells];
  uint8_t bestColour[kCells] = {};
  for (int32_t& d : best) d = 0x7FFFFFFF;
  for (int32_t i = 0; i < colours; i++) {
    if (least[i] > bound) continue;
    // distances to the cell centres by increments: d(x + s) - d(x) grows by 2 s^2 w^2 per step
    int32_t start = 0, inc[3];
    for (int c = 0; c < 3; c++) {
      const int32_t delta = (lo[c] - palette[c][i]) * kWeight[c];
      const int32_t step = kCellStep[c] * kWeight[c];
      start += delta * delta;
      inc[c] = delta * 2 * step + step * step;
    }
    int k = 0;
    int32_t d0 = start, x0 = inc[0];
    for (int i0 = 0; i0 < kRegionCells[0]; i0++) {
      int32_t d1 = d0, x1 = inc[1];
      for (int i1 = 0; i1 < kRegionCells[1]; i1++) {
        int32_t d2 = d1, x2 = inc[2];
        for (int i2 = 0; i2 < kRegionCells[2]; i2++, k++) {
          if (d2 < best[k]) {
            best[k] = d2;
            bestColour[k] = static_cast<uint8_t>(i);
          }
          d2 += x2;
          x2 += 2 * (kCellStep[2] * kWeight[2]) * (kCellStep[2] * kWeight[2]);
        }
        d1 += x1;
        x1 += 2 * (kCellStep[1] * kWeight[1]) * (kCellStep[1] * kWeight[1]);
      }
      d0 += x0;
      x0 += 2 * (kCellStep[0] * kWeight[0]) * (kCellStep[0] * kWeight[0]);
    }
  }
  int k = 0;
  for (int i0 = 0; i0 < kRegionCells[0]; i0++)
    for (int i1 = 0; i1 < kRegionCells[1]; i1++)
      for (int i2 = 0; i2 < kRegionCells[2]; i2++, k++)
        map[Cell(first[0] + i0, first[1] + i1, first[2] + i2)] = static_cast<uint16_t>(bestColour[k] + 1);
}

// The palette index of the colour [rgb] through the inverse map.
inline uint8_t MapColour(uint16_t* map, const int32_t palette[3][256], int32_t colours, const uint8_t rgb[3]) {
  uint16_t& entry = map[CellOf(rgb)];
  if (entry == 0) FillInverseColorMap(map, palette, colours, rgb[0] >> 3, rgb[1] >> 2, rgb[2] >> 3);
  return static_cast<uint8_t>(entry - 1);
}

// The error diffusion limit: errors up to 15 pass whole, up to 47 by half
// above 16, larger ones as 32.
inline int32_t LimitError(int32_t e) {
  const int32_t a = e < 0 ? -e : e;
  const int32_t limited = a < 16 ? a : a < 48 ? 16 + (a - 16) / 2 : 32;
  return e < 0 ? -limited : limited;
}

inline int32_t Clamp255(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

}  // namespace

int QuantizeColors(const void* pixels, int32_t format, int32_t bytesPerPixel, int32_t width, int32_t height,
                   int32_t rowLength, uint8_t* indexes, uint32_t* palette, int32_t* colourCount,
                   int32_t transparent, int32_t reserve, int32_t dither) {
  const bool keepTransparent = transparent != -1;
  const int32_t most = (keepTransparent || reserve) ? 255 : 256;
  int32_t wanted = *colourCount;
  if (wanted > most) wanted = most;
  if (wanted < 1) wanted = 1;
  const uint8_t key[3] = {uint8_t(transparent >> 16), uint8_t(transparent >> 8), uint8_t(transparent)};
  auto isTransparent = [&](const uint8_t rgb[3]) {
    return keepTransparent && rgb[0] == key[0] && rgb[1] == key[1] && rgb[2] == key[2];
  };
  auto pixelAt = [&](int32_t x, int32_t y) {
    return static_cast<const uint8_t*>(pixels) + (size_t(y) * size_t(rowLength) + size_t(x)) * size_t(bytesPerPixel);
  };

  vkBufferPtr<uint16_t> histogram(static_cast<uint16_t*>(AllocateArray(kHistogramCells, 2, true)));
  vkBufferPtr<vkColourBox> boxes(static_cast<vkColourBox*>(AllocateArray(size_t(wanted), sizeof(vkColourBox), true)));
  if (!histogram || !boxes) return 0;
  uint16_t* hist = histogram.get();

  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      uint8_t rgb[3] = {0, 0, 0};
      ReadPixelRGB(pixelAt(x, y), format, rgb);
      if (isTransparent(rgb)) continue;
      uint16_t& n = hist[CellOf(rgb)];
      if (n < 0xFFFF) n++;
    }

  const int32_t count = MedianCut(hist, boxes.get(), wanted);
  int32_t work[3][256];
  BoxColours(hist, boxes.get(), count, work);

  std::memset(hist, 0, kHistogramCells * 2);
  const uint8_t spare = static_cast<uint8_t>(count);  // the transparent or reserved index
  if (!dither) {
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) {
        uint8_t rgb[3] = {0, 0, 0};
        ReadPixelRGB(pixelAt(x, y), format, rgb);
        indexes[size_t(y) * size_t(width) + size_t(x)] = isTransparent(rgb) ? spare : MapColour(hist, work, count, rgb);
      }
  } else {
    // Floyd-Steinberg, in sixteenths: 7 to the right, 3 below-left, 5 below,
    // 1 below-right. The error row has a column of slack at each end; while
    // a row is walked, entry x + 1 holds what the row above left for column
    // x, and entry x receives the sum for column x - 1 of the row below.
    vkBufferPtr<int16_t> errors(static_cast<int16_t*>(AllocateArray(size_t(width) + 2, 3 * sizeof(int16_t), true)));
    if (!errors) return 0;
    for (int32_t y = 0; y < height; y++) {
      int32_t carried[3] = {0, 0, 0}, pendingBelow[3] = {0, 0, 0}, lastError[3] = {0, 0, 0};
      int16_t* e = errors.get();
      for (int32_t x = 0; x < width; x++, e += 3) {
        uint8_t rgb[3] = {0, 0, 0};
        ReadPixelRGB(pixelAt(x, y), format, rgb);
        uint8_t& out = indexes[size_t(y) * size_t(width) + size_t(x)];
        if (isTransparent(rgb)) {
          out = spare;
          e[0] = e[1] = e[2] = e[3] = 0;
          continue;
        }
        uint8_t wanted3[3];
        for (int c = 0; c < 3; c++) {
          const int32_t spread = (carried[c] + e[3 + c] + 8) >> 4;
          wanted3[c] = static_cast<uint8_t>(Clamp255(rgb[c] + LimitError(spread)));
        }
        out = MapColour(hist, work, count, wanted3);
        for (int c = 0; c < 3; c++) {
          const int32_t error = wanted3[c] - work[c][out];
          e[c] = static_cast<int16_t>(pendingBelow[c] + 3 * error);
          pendingBelow[c] = lastError[c] + 5 * error;
          lastError[c] = error;
          carried[c] = 7 * error;
        }
      }
      for (int c = 0; c < 3; c++) e[c] = static_cast<int16_t>(pendingBelow[c]);
    }
  }

  int32_t total = count;
  if (keepTransparent || reserve) {
    const uint32_t extra = keepTransparent ? static_cast<uint32_t>(transparent) & 0xFFFFFF : 0;
    work[0][count] = int32_t(extra >> 16);
    work[1][count] = int32_t(extra >> 8 & 0xFF);
    work[2][count] = int32_t(extra & 0xFF);
    total = count + 1;
  }
  for (int32_t i = 0; i < total; i++)
    palette[i] = uint32_t(work[0][i]) << 16 | uint32_t(work[1][i]) << 8 | uint32_t(work[2][i]);
  *colourCount = total;
  return 1;
}
