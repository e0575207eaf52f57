// What the text benchmarks share: a paragraph of random words that is the
// same every run (the pygame peers make the same), and a 1920 x 1080
// display without a window, current in an engine with the text library open
// and a Vera Sans font at the size asked for. Header-only: every bench/*.cpp
// is its own executable.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "text/fonts.h"
#include "text/textlib.h"

namespace benchtext {

inline constexpr int32_t kW = 1920, kH = 1080;
inline constexpr char kVera[] = "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf";

// [words] words of 2 to 9 letters, separated by single spaces.
inline std::string MakeParagraph(int words) {
  std::mt19937 rng(11);
  std::string s;
  for (int i = 0; i < words; i++) {
    if (i) s += ' ';
    const int n = 2 + int(rng() % 8);
    for (int k = 0; k < n; k++) s += char('a' + rng() % 26);
  }
  return s;
}

struct TextScene {
  vkState* L = vmNewState();
  vkBitMapPtr back{AllocArgbBitMap(kW, kH)}, screen{AllocArgbBitMap(kW, kH)};
  vkDisplay display;
  vkBGPic pic;
  vkFont* font = nullptr;

  explicit TextScene(int32_t size) {
    pic.width = pic.scaledWidth = kW, pic.height = pic.scaledHeight = kH;
    pic.bitmap = back.get();
    display.bgpic = &pic;
    display.width = kW, display.height = kH;
    display.backBuffer = back.get(), display.screenBuffer = screen.get();
    vkGraphicsState& gs = GraphicsState(L);
    gs.DisplayList.emplace_back(&display);  // the scene lives as long as the process
    gs.CurrentDisplay = &display;
    gs.CurrentBGPic = &pic;
    Open(OpenTextLibrary);
    OpenFontByName(L, kVera, size, FONTENGINE_INBUILT, 1, false, &font);
  }
  // Opens a library into the globals.
  void Open(int (*opener)(vkState*)) {
    vmPushValue(L, VK_GLOBALSINDEX);
    opener(L);
    vmSetTop(L, 0);
  }
};

}  // namespace benchtext
