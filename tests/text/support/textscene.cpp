// The scene the text library's command tests print into.
#include "textscene.h"

#include <unistd.h>

#include "engine/vmapi.h"
#include "graphics/graphicsstate.h"
#include "platform/vkos_fonts.h"
#include "runtime/stringlib.h"
#include "text/textlib.h"

namespace fonttest {

namespace {

int OpenLibraries(vkState* L) {
  if (int rc = OpenStringLibrary(L)) return rc;
  return OpenTextLibrary(L);
}

void FillBitMap(vkBitMap* b, uint32_t rgb) {
  for (int32_t y = 0; y < b->height; y++)
    for (int32_t x = 0; x < b->width; x++) WriteBitMapPixel(b, x, y, rgb);
}

}  // namespace

void TextScene::SetUp() {
  dir.Write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig>\n<cachedir>" + (dir / "cache") +
                              "</cachedir>\n</fontconfig>\n");
  setenv("FONTCONFIG_FILE", (dir / "fonts.conf").c_str(), 1);
  char cwd[4096];
  oldCwd = getcwd(cwd, sizeof cwd) ? cwd : ".";
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  vkosExitSystemFonts();

  back.reset(AllocArgbBitMap(kWidth, kHeight));
  screen.reset(AllocArgbBitMap(kWidth, kHeight));
  FillBitMap(back.get(), kBackground);
  FillBitMap(screen.get(), kBackground);
  picture.width = picture.scaledWidth = kWidth;
  picture.height = picture.scaledHeight = kHeight;
  picture.bitmap = back.get();
  display.bgpic = &picture;
  display.width = kWidth, display.height = kHeight;
  display.backBuffer = back.get();
  display.screenBuffer = screen.get();
  display.textMarginRight = kWidth - 1;
  L = vmNewState();
  ASSERT_NE(L, nullptr);
  vkGraphicsState& gs = GraphicsState(L);
  // The fixture owns its display: the list only lends it.
  gs.DisplayList.emplace_back(&display);
  gs.CurrentDisplay = &display;
  gs.CurrentBGPic = &picture;
  vmPushValue(L, VK_GLOBALSINDEX);
  ASSERT_EQ(OpenLibraries(L), 0);
  vmSetTop(L, 0);
}

void TextScene::TearDown() {
  if (L) {
    vkGraphicsState& gs = GraphicsState(L);
    for (vkDisplayPtr& d : gs.DisplayList) (void)d.release();
    gs.DisplayList.clear();
    gs.CurrentDisplay = nullptr;
    gs.CurrentBGPic = nullptr;
  }
  vktest::LibraryTest::TearDown();
  L = nullptr;
  EXPECT_EQ(chdir(oldCwd.c_str()), 0);
  unsetenv("FONTCONFIG_FILE");
}

uint32_t TextScene::Pixel(int32_t x, int32_t y) const { return ReadBitMapPixel(back.get(), x, y) & 0xFFFFFF; }

int TextScene::CountDrawn() const {
  int n = 0;
  for (int32_t y = 0; y < kHeight; y++)
    for (int32_t x = 0; x < kWidth; x++) n += Pixel(x, y) != kBackground;
  return n;
}

void TextScene::Clear() { FillBitMap(back.get(), kBackground); }

}  // namespace fonttest
