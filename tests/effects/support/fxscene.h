// Test support for the effects: an engine with the display, picture, brush
// and effect libraries open on SDL's offscreen driver with pacing off, one
// open display whose picture and the pictures shown on it are coordinate
// coded (each pixel names its own position), and the window read back.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "../../runtime/support/libcall.h"
#include "effects/fxengine.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"

namespace fxtest {

using Pixels = std::vector<uint32_t>;

// The old picture's pixel at display position (x, y), and the new one's at
// position (x, y) of the picture shown.
inline uint32_t OldPixel(int32_t x, int32_t y) { return 0x100000u | uint32_t(x & 0xFF) << 8 | uint32_t(y & 0xFF); }
inline uint32_t NewPixel(int32_t x, int32_t y) { return 0x800000u | uint32_t(x & 0xFF) << 8 | uint32_t(y & 0xFF); }

class FXScene : public vktest::LibraryTest {
 public:
  // What the window shows, as 0xRRGGBB words.
  Pixels Window();

 protected:
  void SetUp() override;
  void TearDown() override;

  vkGraphicsState& gs();
  vkDisplay* display();

  // Display 1 of width x height showing BGPic 1 (old pixels), opened and
  // current; BGPic 2 of the same size holds new pixels. Frees what a
  // previous call made.
  void MakeDisplay(int32_t width, int32_t height);
  // Brush [number] of width x height with new pixels; with [masked] a mask
  // set on a checkerboard of 2 x 2 cells (the top-left cell set).
  void MakeBrush(int32_t number, int32_t width, int32_t height, bool masked);
  static bool CheckerSet(int32_t x, int32_t y) { return ((x / 2) + (y / 2)) % 2 == 0; }

  // Runs [rq] synchronously, keeping the window after every frame.
  uint32_t RunCollecting(vkFXRequest& rq, std::vector<Pixels>* frames);
  // Steps the async object the last call left on the stack until it ends,
  // keeping the window after every frame drawn; fails when it has not ended
  // after [limit] frames.
  void StepAll(std::vector<Pixels>* frames, int limit = 5000);
  // Seeks the async object the last call left on the stack to each frame of
  // [seeks] (counted from 1), each showing what [played] showed there, then
  // steps it on from the last frame sought: every frame as played, ending
  // after the last one.
  void CheckSeeksReplay(const std::vector<Pixels>& played, const std::vector<int32_t>& seeks);

  // A table global [name] of number fields.
  void Table(const char* name, const std::vector<std::pair<const char*, int32_t>>& fields);
  // Brush [number]'s lock count, -1 when there is no such brush.
  int32_t BrushLocks(int32_t number);

  int32_t width_ = 0, height_ = 0;
};

}  // namespace fxtest
