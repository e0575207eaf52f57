// The clipboard and the drop receiver on SDL's offscreen video driver:
// pictures through the PNG slot with and without alpha, pictures that cannot
// be put, a change by another program (SDL's clipboard update) that empties
// the slot and reaches only the watching open windows, and the window
// system's drops offered exactly while an open window takes them.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "base/errorcodes.h"
#include "platform/eventqueue.h"
#include "platform/linux/eventdispatch.h"
#include "platform/linux/platform_state.h"
#include "platform/vkos.h"
#include "platform/vkos_clipboard.h"
#include "support/offscreen.h"

namespace {

class Clipboard : public OffscreenTest {
 protected:
  // A display record, its window open when [open].
  vkOSDisplay* Make(bool open, uint32_t watch, uint32_t drops) {
    vkOSDisplay* os = Record(32, 32);
    os->watchClipboard = watch;
    os->dropFiles = drops;
    if (open) {
      EXPECT_EQ(vkosOpenWindow(os, 1, nullptr, nullptr), 0);
    }
    return os;
  }
  static int32_t Peek() {
    int32_t type = -1;
    EXPECT_EQ(vkosPeekClipboard(&type), 0);
    return type;
  }
};

TEST_F(Clipboard, PicturesRoundTripWithTheirAlphaWhenAsked) {
  // Rows of three words in a view two words wide: the third never shows.
  const std::vector<uint32_t> pixels = {0xFF102030u, 0x00405060u, 0xDEADBEEFu,
                                        0x80708090u, 0x40A0B0C0u, 0xDEADBEEFu};
  for (bool keepAlpha : {true, false}) {
    ASSERT_EQ(vkosWriteClipboardImage(vkOSPixels{pixels.data(), 2, 2, 3}, keepAlpha), 0);
    EXPECT_EQ(Peek(), VKOS_CLIPBOARD_IMAGE);
    int32_t type = -1;
    std::string text;
    vkOSClipboardImage image;
    ASSERT_EQ(vkosReadClipboard(&type, &text, &image), 0);
    EXPECT_EQ(type, VKOS_CLIPBOARD_IMAGE);
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(image.pixels, (std::vector<uint32_t>{0x102030u, 0x405060u, 0x708090u, 0xA0B0C0u}));
    if (keepAlpha) {
      ASSERT_EQ(image.alpha.size(), 8u);
      EXPECT_EQ((std::vector<uint8_t>{image.alpha[0], image.alpha[1], image.alpha[4], image.alpha[5]}),
                (std::vector<uint8_t>{0xFF, 0x00, 0x80, 0x40}));
    } else {
      EXPECT_TRUE(image.alpha.empty());
    }
  }
  // Text replaces the picture.
  ASSERT_EQ(vkosWriteClipboardText("x"), 0);
  EXPECT_EQ(Peek(), VKOS_CLIPBOARD_TEXT);
  ASSERT_EQ(vkosClearClipboard(), 0);
  EXPECT_EQ(Peek(), VKOS_CLIPBOARD_EMPTY);
}

TEST_F(Clipboard, PicturesWithoutPixelsAreNotPut) {
  const uint32_t pixel = 0;
  const vkOSPixels bad[] = {{nullptr, 1, 1, 1}, {&pixel, 0, 1, 1}, {&pixel, 1, 0, 1}, {&pixel, 2, 1, 1}};
  ASSERT_EQ(vkosWriteClipboardText("kept"), 0);
  for (const vkOSPixels& view : bad) EXPECT_EQ(vkosWriteClipboardImage(view, false), kErrWriteClipboard);
  EXPECT_EQ(Peek(), VKOS_CLIPBOARD_TEXT);
}

TEST_F(Clipboard, AnotherProgramsChangeReachesTheWatchingOpenWindows) {
  vkOSDisplay* watching = Make(true, 1, 0);
  Make(true, 0, 0);                          // open, not watching
  Make(false, 1, 0);                         // watching, no window
  const uint32_t pixel = 0xFF000000u;
  ASSERT_EQ(vkosWriteClipboardImage(vkOSPixels{&pixel, 1, 1, 1}, false), 0);
  SDL_Event event{};
  event.type = SDL_CLIPBOARDUPDATE;
  DispatchEvent(event);
  EXPECT_EQ(Peek(), VKOS_CLIPBOARD_EMPTY);  // our picture is gone with it
  std::vector<const vkDisplay*> told;
  vkEventInfo info;
  for (size_t i = 0; GetEvent(i, info, false) != 0; i++)
    if (info.type == EVENT_CLIPBOARDCHANGE) told.push_back(info.display);
  EXPECT_EQ(told, (std::vector<const vkDisplay*>{watching->display}));
}

TEST_F(Clipboard, DropsAreOfferedWhileAnOpenWindowTakesThem) {
  auto offered = [] { return SDL_EventState(SDL_DROPFILE, SDL_QUERY) == SDL_ENABLE; };
  vkOSDisplay* plain = Make(true, 0, 0);
  EXPECT_FALSE(offered());
  vkOSDisplay* closed = Make(false, 0, 1);
  EXPECT_FALSE(offered());  // its window is not there
  EXPECT_EQ(vkosOpenWindow(closed, 1, nullptr, nullptr), 0);
  EXPECT_TRUE(offered());
  plain->dropFiles = 1;
  closed->dropFiles = 0;
  EXPECT_EQ(vkosEnableDropFiles(closed), 0);
  EXPECT_TRUE(offered());  // the other window takes them now
  vkosCloseWindow(plain);
  EXPECT_FALSE(offered());
  EXPECT_EQ(SDL_EventState(SDL_DROPTEXT, SDL_QUERY), SDL_DISABLE);  // text is never taken
}

}  // namespace
