// Transition kernels: the per-step image work of the pixelate, dissolve,
// roll and wallpaper, water and swirl transitions, with the exact integer
// square root they share. Each transition owns a context record with its
// pictures, planes and tables; it calls a set-up routine once and a kernel
// once per step, which renders one frame into the destination (pixels and,
// for brushes with transparency, their mask or alpha plane).
#pragma once

#include <cstdint>

// Entries of the sine and cosine tables: entry k holds the function at k
// steps of 0.001 radians, the angle accumulated step by step from 0.
inline constexpr int32_t kTransitionTableSize = 6300;

// Largest r with r * r <= n; -1 for a negative n.
int32_t IntegerSqrt(int32_t n);

// Pixelate: the area is cut into blockSize x blockSize blocks from the top
// left, each painted with its top-left source pixel. Planes may be null.
struct vkPixelateContext {
  const void* srcPixels;
  void* dstPixels;
  int32_t srcPixelsPerRow, dstPixelsPerRow;
  const uint8_t* srcMask;
  const uint8_t* srcAlpha;
  uint8_t* dstMask;
  uint8_t* dstAlpha;
  int32_t srcMaskBytesPerRow, srcAlphaBytesPerRow, dstMaskBytesPerRow, dstAlphaBytesPerRow;
  int32_t width, height;
  int32_t blockSize;
};

void PixelateBlocks32(const vkPixelateContext* c);
void PixelateBlocks24(const vkPixelateContext* c);
void PixelateBlocks16(const vkPixelateContext* c);

// Dissolve: a plane is revealed where a pixel's threshold lies below the
// step (direction 0) or hidden there (direction non-zero).
struct vkDissolveContext {
  const uint8_t* src;  // or null: the revealed side is then fully set
  uint8_t* dst;
  int32_t width, height;
  int32_t srcBytesPerRow, dstBytesPerRow;
  const uint8_t* thresholds;  // width * height bytes, rows packed
  int32_t bytePlanes;         // non-zero: alpha planes; zero: masks
  int32_t direction;
};

void DissolveStep(const vkDissolveContext* c, int32_t step);

// Roll and wallpaper: a curl of rollSize lines ending at rollPosition, each
// destination line fed from a source line bent by the angle table.
struct vkRollContext {
  const void* srcPixels;
  void* dstPixels;
  const uint8_t* srcMask;
  uint8_t* dstMask;
  const uint8_t* srcAlpha;
  uint8_t* dstAlpha;
  const double* angles;  // rollSize entries
  int32_t srcPixelsPerRow, dstPixelsPerRow;
  int32_t width, height;
  int32_t srcMaskBytesPerRow, dstMaskBytesPerRow, srcAlphaBytesPerRow, dstAlphaBytesPerRow;
  int32_t direction;  // non-zero: the lines are columns; zero: rows
  int32_t rollSize, rollPosition;
  int32_t bytesPerPixel;
  // Results of the last frame.
  int32_t linesDrawn;
  int32_t firstLine;  // first destination line drawn, kNoRollLine when none
  int32_t lastPosition;
};

inline constexpr int32_t kNoRollLine = -100000;

void RenderRollCurl(vkRollContext* c);
// One rectangle of the curl: through the source mask, else with the source
// alpha, else plainly. Returns 1, or 0 when the height is below 1.
int32_t RenderRollCurl32(vkRollContext* c, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                         int32_t dstX, int32_t dstY);
int32_t RenderRollCurl24(vkRollContext* c, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                         int32_t dstX, int32_t dstY);
int32_t RenderRollCurl16(vkRollContext* c, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                         int32_t dstX, int32_t dstY);

// Water: rings spread from the centre, displacing where each pixel is
// sampled, while source A fades in over source B.
struct vkWaterContext {
  const void* srcA;
  const void* srcB;
  void* dstPixels;
  int32_t srcAPixelsPerRow, srcBPixelsPerRow, dstPixelsPerRow;
  uint32_t* distances;  // width * height entries, filled by InitWaterTables
  double* sine;         // kTransitionTableSize entries, filled by InitWaterTables
  double wavelength;
  double amplitude;  // of the current step, written by the kernel
  double amplitudeFactor;
  int32_t halfDuration;
  int32_t width, height;
  int32_t format;
  int32_t fadeOut;
  const uint8_t* srcAlpha;  // or null
  int32_t srcAlphaBytesPerRow;
  uint8_t* dstAlpha;
  int32_t dstAlphaBytesPerRow;
  int32_t centreX, centreY;
  int32_t position;  // next entry of the distance table
  uint32_t maxDistance;
  int32_t sourceX, sourceY;  // results of WaterDisplacement
};

void InitWaterTables(vkWaterContext* c);
void WaterDisplacement(int32_t step, int32_t x, int32_t y, vkWaterContext* c);
void RenderWaterRipple32(vkWaterContext* c, int32_t step);
void RenderWaterRipple24(vkWaterContext* c, int32_t step);
void RenderWaterRipple16(vkWaterContext* c, int32_t step);

// Swirl: the picture turns about its centre, most near the middle, while
// source A fades in over source B; steps run 0 to 720.
struct vkStrudelContext {
  const void* srcA;
  const void* srcB;
  void* dstPixels;
  int32_t srcAPixelsPerRow, srcBPixelsPerRow, dstPixelsPerRow;
  double* sine;    // kTransitionTableSize entries each, filled by
  double* cosine;  // InitStrudelTables
  int32_t width, height;
  int32_t format;
  int32_t fadeOut;
  const uint8_t* srcAlpha;  // or null
  int32_t srcAlphaBytesPerRow;
  uint8_t* dstAlpha;
  int32_t dstAlphaBytesPerRow;
};

void InitStrudelTables(vkStrudelContext* c);
void RenderStrudelSwirl32(vkStrudelContext* c, int32_t step);
void RenderStrudelSwirl24(vkStrudelContext* c, int32_t step);
void RenderStrudelSwirl16(vkStrudelContext* c, int32_t step);
