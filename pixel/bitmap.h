// Bitmaps and planes: the chunky ARGB bitmap every picture lives in, and the
// one plane record shared by one-bit masks (width / 8 + 1 bytes per row) and
// eight-bit alpha planes (width rounded up to 4 bytes per row). Allocation,
// locking, attribute queries, single pixels and lines, the mask-plane
// operations, colour conversion and building bitmaps from ARGB arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "pixel/allocate.h"
#include "pixel/pixfmt.h"
#include "platform/vkos_display.h"

struct vkBitMap {
  int32_t width = 0, height = 0;
  uint8_t* pixels = nullptr;  // owned, freed with free()
  int32_t bytesPerRow = 0;    // 4 x width for allocated bitmaps
  int32_t bytesPerPixel = 0;  // 4; the kernels also handle 2 and 3
  int32_t format = 0;         // PIXFMT_ARGB32 for allocated bitmaps
  void* port = nullptr;       // drawing port of the platform, none here
};

struct vkBitMapInfo {
  void* pixels = nullptr;
  int32_t locked = 0;  // 1 when the fields are valid
  int32_t format = 0, bytesPerPixel = 0;
  int32_t pixelsPerRow = 0;  // bytes per row / bytes per pixel
  int32_t width = 0, height = 0;
};

struct vkPlane {
  uint8_t* data = nullptr;
  int32_t width = 0, height = 0, bytesPerRow = 0;
  int32_t foreign = 0;  // 1: the data belongs to someone else
};

inline int32_t MaskBytesPerRow(int32_t width) { return width / 8 + 1; }
inline int32_t AlphaBytesPerRow(int32_t width) { return (width + 3) & ~3; }

// With [clear] the pixels are zero (transparent black); a large cleared
// bitmap takes its pages from the system only as they are written.
vkBitMap* AllocArgbBitMap(int32_t width, int32_t height, bool clear = false);
void FreeBitMap(vkBitMap* bitmap);
int32_t LockBitMap(vkBitMap* bitmap, vkBitMapInfo* info);
void UnLockBitMap(vkBitMapInfo* info);

vkPlane* AllocMaskPlane(int32_t width, int32_t height, bool clear);
vkPlane* AllocAlphaPlane(int32_t width, int32_t height, bool clear);
void FreeMaskPlane(vkPlane* plane);
void FreeAlphaPlane(vkPlane* plane);
vkPlane* CreateForeignMaskPlane(uint8_t* data, int32_t bytesPerRow);
vkPlane* CreateForeignAlphaPlane(uint8_t* data, int32_t width, int32_t height, int32_t bytesPerRow);
void InitForeignMaskPlane(vkPlane* plane, uint8_t* data, int32_t bytesPerRow);
void InitForeignAlphaPlane(vkPlane* plane, uint8_t* data, int32_t bytesPerRow);
// Plane records over foreign data without allocation, for the caller to keep
// as long as it needs them.
vkPlane GetStaticMaskPlane(uint8_t* data, int32_t width, int32_t height);
vkPlane GetStaticAlphaPlane(uint8_t* data, int32_t bytesPerRow);
// New planes of width x height with the source rows copied: as many bytes
// per row as both planes have and as many rows as both have (the rest zero).
vkPlane* CopyMaskPlane(const vkPlane* src, int32_t width, int32_t height);
vkPlane* CopyAlphaPlane(const vkPlane* src, int32_t width, int32_t height);

// Owners that free with the matching call.
struct vkBitMapDeleter {
  void operator()(vkBitMap* b) const { FreeBitMap(b); }
};
struct vkPlaneDeleter {
  void operator()(vkPlane* p) const { FreeMaskPlane(p); }
};
using vkBitMapPtr = std::unique_ptr<vkBitMap, vkBitMapDeleter>;
using vkPlanePtr = std::unique_ptr<vkPlane, vkPlaneDeleter>;

// Field queries by code (0, 3, 4 the first field; 1, 2 bytes per row; 11 mask
// bytes per row of a bitmap's width; 17 pixels per row; 18 height; 21 depth).
intptr_t GetBitMapAttr(const vkBitMap* bitmap, int32_t code);
intptr_t GetBitMapAttr(const vkPlane* plane, int32_t code);

// Single pixels and lines; anything outside the bitmap or plane is ignored
// (reads give 0). Mask modes: 0, 2, 5 set; 1 clear; 3 invert; others leave.
uint32_t ReadBitMapPixel(const vkBitMap* bitmap, int32_t x, int32_t y);
uint32_t ReadBitMapPixel(const vkPlane* mask, int32_t x, int32_t y);
void WriteBitMapPixel(vkBitMap* bitmap, int32_t x, int32_t y, uint32_t rgb);
void WriteBitMapPixel(vkPlane* mask, int32_t x, int32_t y, int32_t mode);
void DrawBitMapLine(vkBitMap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb);

// Mask-plane operations, clipped to both planes. BltMaskPlane modes: 0 set
// where s, 1 clear where s, 2 copy, 3 xor, 4 and, 5 or; FillMaskRect: 0, 2, 5
// set, 1 clear, 3 invert, 4 nothing. Modes above 5 do nothing.
void BltMaskPlane(const vkPlane* src, int32_t sx, int32_t sy, vkPlane* dst, int32_t dx, int32_t dy,
                  int32_t width, int32_t height, int32_t mode);
void FillMaskRect(vkPlane* plane, int32_t x, int32_t y, int32_t width, int32_t height, int32_t mode);
// [points] holds [count] (x, y) pairs; [scratch] at least [count] integers.
void FillMaskPolygon(vkPlane* mask, const int32_t* points, int32_t count, int32_t* scratch);
void FillAlphaRect(vkPlane* plane, int32_t x, int32_t y, int32_t width, int32_t height, uint8_t value);
void BltTemplateAlpha(const vkPlane* mask, int32_t sx, int32_t sy, vkPlane* alpha, int32_t dx,
                      int32_t dy, int32_t width, int32_t height, uint8_t value);
void FinishPlaneDrawing(vkPlane* plane);

// Expands [mask] into [alpha] for [height] rows of [width] pixels: 255 where a
// bit is set, 0 where it is clear. Returns the alpha plane's bytes per row;
// with a height below 1 nothing is written.
int32_t MaskToAlpha(const vkPlane* mask, vkPlane* alpha, int32_t width, int32_t height);

// The views through which the platform presents a 32-bit bitmap and takes a
// window's shape plane.
vkOSPixels BitMapPixels(const vkBitMap* bitmap);
vkOSPlaneView PlaneView(const vkPlane* plane);

// 0xRRGGBB to a pixel value of [format]; unknown codes give 0.
uint32_t RGBToPixel(uint32_t rgb, int32_t format);
// Per channel a + (((b - a) * weight) >> 8).
uint32_t BlendRGB(uint32_t a, uint32_t b, int32_t weight);

// A packed width x height copy of an ARGB32 bitmap, freed with free(); null
// for a null bitmap, a size that does not fit it, or no memory.
uint32_t* CopyBitMapToARGB(const vkBitMap* bitmap, int32_t width, int32_t height);
// An ARGB bitmap from [argb] rows of [srcPixelsPerRow] words; a transparent
// colour other than -1 also makes a mask (bit clear where the colour matches,
// alpha byte ignored). Returns 0 or 1000 ("Out of memory!").
uint32_t CreateBitMapFromARGB(const uint32_t* argb, int32_t transparent, int32_t width,
                              int32_t height, int32_t srcPixelsPerRow, vkBitMap** outBitMap,
                              vkPlane** outMask);

// No accelerated operations exist on this platform.
uint32_t GetBlitCapabilities(uint32_t bits);
struct vkAlphaChannelBlock;
void BltAlphaChannelAccelerated(const vkAlphaChannelBlock* block);
void RunCrossfadeHook();
