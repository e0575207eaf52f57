// Coverage images for the shape pen: an 8-bit one-channel image, rows padded
// to 4 bytes and zeroed, into which thick lines, polygon outlines and filled
// polygons are rendered at the value 255 (anti-aliased edges get their
// partial coverage). The draw library composites the image with the pen.
// Every operation checks its limits first and lets no exception out.
#pragma once

#include <cstdint>
#include <memory>

struct vkRasterContext;
struct vkRasterContextDeleter {
  void operator()(vkRasterContext* context) const;
};
using vkRasterContextPtr = std::unique_ptr<vkRasterContext, vkRasterContextDeleter>;

// A zeroed coverage image of [width] x [height]: its bytes and row stride.
// Returns 0, 1000 when memory runs out or the renderer's module cannot be
// loaded, or 1055 for a size below 1 (the image is then null).
int32_t CreateRasterContext(int32_t width, int32_t height, vkRasterContextPtr* image, uint8_t** coverage,
                            int32_t* stride);
void FreeRasterContext(vkRasterContext* image);

// A line from (x1, y1) to (x2, y2) of [thickness] pixels (1 to 255; other
// thicknesses draw nothing), anti-aliased or not. 0, or 1000 when the
// renderer runs out of memory (nothing is drawn then).
int32_t RasterizeLine(vkRasterContext* image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool antiAliased,
                      int32_t thickness);

// A closed polygon of [count] points (x, y pairs): filled for thickness 0,
// else its outline of that thickness (up to 255; other thicknesses draw
// nothing). 0, or 1000 as above.
int32_t RasterizePolygon(vkRasterContext* image, const int32_t* points, int32_t count, bool antiAliased,
                         int32_t thickness);
