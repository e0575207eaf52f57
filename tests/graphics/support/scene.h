// Test support for the brush and sprite commands: an engine with both
// libraries open and a display without a window whose background and
// screen buffers the tests read back, plus ways to reach brushes directly.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "../../runtime/support/libcall.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/sprites.h"

namespace gfxtest {

// A picture of width x height words, row by row.
using Pixels = std::vector<uint32_t>;

// Fields of an options table.
using Fields = std::vector<std::pair<const char*, double>>;
// Makes the global [name] a table of [fields], for Arg::global.
void SetGlobalTable(vkState* L, const char* name, const Fields& fields);

// One display of [kWidth] x [kHeight] filled with [kBackground], current.
class SceneTest : public vktest::LibraryTest {
 public:
  static constexpr int32_t kWidth = 24, kHeight = 16;
  static constexpr uint32_t kBackground = 0x203040;

 protected:

  void SetUp() override;
  void TearDown() override;

  vkGraphicsState& gs();
  vkBrush* brush(int32_t number);
  // Makes brush [number] of width x height from [pixels] (RGB words), with
  // a mask (bit set where [shown] is 1) or an alpha plane when given.
  void MakeBrush(int32_t number, int32_t width, int32_t height, const Pixels& pixels, const Pixels* mask = nullptr,
                 const Pixels* alpha = nullptr);
  // The brush's pixels (RGB), mask bits and alpha bytes.
  Pixels BrushPixels(int32_t number);
  Pixels BrushMask(int32_t number);
  Pixels BrushAlpha(int32_t number);
  // The RGB words of a buffer of the display.
  static Pixels Read(const vkBitMap* b);
  static void Fill(vkBitMap* b, uint32_t rgb);

  vkDisplay display;
  vkBGPic picture;
  vkBitMapPtr back, screen;
};

}  // namespace gfxtest
