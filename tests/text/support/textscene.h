// Test support for the text library's commands: an engine with the string
// and text libraries open, the font engines on a font configuration of the
// test's own (no system fonts), the current folder a scratch folder, and a
// display without a window whose background buffer the tests read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../../runtime/support/libcall.h"
#include "graphics/bgpics.h"
#include "graphics/displays.h"
#include "pixel/bitmap.h"
#include "tests/common/scratchdir.h"

namespace fonttest {

class TextScene : public vktest::LibraryTest {
 public:
  static constexpr int32_t kWidth = 160, kHeight = 48;
  static constexpr uint32_t kBackground = 0x203040;

 protected:
  void SetUp() override;
  void TearDown() override;
  // The RGB word at (x, y) of the display's picture.
  uint32_t Pixel(int32_t x, int32_t y) const;
  // Pixels of the picture that are no longer the background.
  int CountDrawn() const;
  // Fills the picture with the background again.
  void Clear();
  // The text cursor of the display.
  std::pair<int32_t, int32_t> CursorAt() const { return {display.textCursorX, display.textCursorY}; }

  ScratchDir dir;
  std::string oldCwd;
  vkDisplay display;
  vkBGPic picture;
  vkBitMapPtr back, screen;
};

}  // namespace fonttest
