// InKeyStr fed by key events on the program's event queue, read through the
// platform's real pump and wait: what each kind of line takes, the maximum,
// backspace, the password echo, return and enter, blanks from TAB and
// SPACE, codes above 255, typed brackets printed as they are, the 1,025th
// character, and the errors. After the input the picture and the cursor
// are those of printing the line once at the cursor where it began.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "engine/vmapi.h"
#include "graphics/displays.h"
#include "platform/eventqueue.h"
#include "platform/vkos_events.h"
#include "support/textscene.h"
#include "text/lineinput.h"
#include "text/textlib.h"
#include "text/textobjects.h"

namespace {

using namespace fonttest;
using vktest::Arg;

constexpr int32_t kBackspace = 271, kTab = 272, kEnter = 273, kReturn = 274, kSpace = 276, kUp = 256;

class LineInput : public TextScene {
 protected:
  void SetUp() override {
    // The platform first: starting it afresh would forget the system fonts' state.
    ASSERT_EQ(vkosInit(), 0);
    TextScene::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenTextObjectLibrary(L), 0);
    vmSetTop(L, 0);
    RemoveEvents(-1, true);
    display.state = DISPSTATE_OPEN;
  }
  void TearDown() override {
    RemoveEvents(-1, true);
    display.state = DISPSTATE_CLOSED;
    TextScene::TearDown();
    vkosExit();
  }
  // Presses (and releases) each key in turn.
  static void Type(const std::vector<int32_t>& keys) {
    for (int32_t k : keys) {
      PostEvent(nullptr, EVENT_KEY, 1, 0, uint32_t(k));
      PostEvent(nullptr, EVENT_KEY, 0, 0, uint32_t(k));  // releases are not read
    }
  }
  static std::vector<int32_t> Keys(const std::string& text) {
    std::vector<int32_t> keys;
    for (unsigned char c : text) keys.push_back(c);
    return keys;
  }
  std::vector<uint32_t> Snapshot() const {
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < kHeight; y++)
      for (int32_t x = 0; x < kWidth; x++) out.push_back(Pixel(x, y));
    return out;
  }
  // The picture and cursor of printing [shown] at (x, y) on a clear picture.
  std::pair<std::vector<uint32_t>, std::pair<int32_t, int32_t>> Printed(const std::string& shown, int32_t x,
                                                                         int32_t y) {
    Clear();
    display.textCursorX = x, display.textCursorY = y;
    EXPECT_EQ(PrintText(L, shown, true), 0u);
    return {Snapshot(), CursorAt()};
  }
};

TEST_F(LineInput, ReadsTheLineTypedAndShowsItPrinted) {
  struct Case {
    const char* name;
    int32_t type, maximum, password;
    std::vector<int32_t> keys;
    std::string line, shown;
  };
  auto with = [](std::vector<int32_t> a, std::initializer_list<int32_t> b) {
    a.insert(a.end(), b);
    return a;
  };
  const std::vector<Case> cases = {
      {"all takes the blank", 0, 0, 0, with(Keys("ab c"), {kReturn}), "ab c", "ab c"},
      {"a fourth character is ignored", 0, 3, 0, with(Keys("abcd"), {kReturn}), "abc", "abc"},
      {"backspace and return still work at the maximum", 0, 3, 0, with(Keys("abcd"), {kBackspace, 'e', kReturn}),
       "abe", "abe"},
      {"backspace with nothing typed", 0, 0, 0, {kBackspace, 'x', kReturn}, "x", "x"},
      {"backspace twice", 0, 0, 0, with(Keys("abc"), {kBackspace, kBackspace, 'z', kReturn}), "az", "az"},
      {"the password shows stars", 0, 0, 1, with(Keys("pw1"), {kReturn}), "pw1", "***"},
      {"numerical ignores the blank", 3, 0, 0, with(Keys("1 2x"), {kReturn}), "12", "12"},
      {"hexadecimal digits", 4, 0, 0, with(Keys("fG1 a"), {kReturn}), "f1a", "f1a"},
      {"alphabetical", 2, 0, 0, with(Keys("a1 b!"), {kReturn}), "a b", "a b"},
      {"alphanumerical", 1, 0, 0, with(Keys("a1 _"), {kReturn}), "a1 ", "a1 "},
      {"tab and space type blanks", 0, 0, 0, {'a', kTab, 'b', kSpace, 'c', kEnter}, "a b c", "a b c"},
      {"codes above 255 are ignored", 0, 0, 0, {'a', kUp, 300, 'b', kReturn}, "ab", "ab"},
      {"typed brackets are no tags", 0, 0, 0, with(Keys("[b]x[[y"), {kReturn}), "[b]x[[y", "[b]x[[y"},
      {"latin-1 letters", 2, 0, 0, {0xE9, 0xD7, 'e', kReturn}, "\xE9" "e", "\xE9" "e"},
      {"return at once", 0, 0, 0, {kReturn}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    display.textCursorX = 16, display.textCursorY = 8;
    Type(c.keys);
    Type(Keys("late"));  // after the end of the line: dropped with the rest
    ASSERT_EQ(Call("InKeyStr", {c.type, c.maximum, c.password}), "\"" + c.line + "\"");
    EXPECT_EQ(ProgramEventQueue().Count(), 0u);
    EXPECT_EQ(display.layersOn, 0u);
    const std::vector<uint32_t> picture = Snapshot();
    const auto cursor = CursorAt();
    if (c.shown.empty()) {
      EXPECT_EQ(CountDrawn(), 0);
      EXPECT_EQ(cursor, std::make_pair(0, 16));  // return: the left margin of the next line
      continue;
    }
    const auto [want, wantCursor] = Printed(c.shown, 16, 8);
    EXPECT_EQ(picture, want);
    EXPECT_EQ(cursor, wantCursor);
  }
}

// Characters come while the input runs: the wait wakes for each batch. The
// 1,025th character ends the line at 1,024.
TEST_F(LineInput, TheCharacterAfterTheLimitEndsTheLine) {
  std::atomic<bool> stop{false};
  std::thread feeder([&] {
    int sent = 0;
    while (sent < 1025 && !stop) {
      if (ProgramEventQueue().Count() < 100) {
        PostEvent(nullptr, EVENT_KEY, 1, 0, uint32_t('a' + sent % 26));
        sent++;
        if (sent % 50 == 0) vkosWakeEventLoop();
      } else {
        vkosWakeEventLoop();
        std::this_thread::yield();
      }
    }
    vkosWakeEventLoop();
  });
  const std::string result = Call("InKeyStr", {0});
  stop = true;
  feeder.join();
  ASSERT_EQ(result.size(), 1024u + 2);
  EXPECT_EQ(result.substr(1, 3), "abc");
}

TEST_F(LineInput, Errors) {
  Type({'a', kReturn});
  RunCases({
      {"InKeyStr", {5}, "error 1055"},
      {"InKeyStr", {0, -1}, "error 1055"},
  });
  display.state = DISPSTATE_CLOSED;
  EXPECT_EQ(Call("InKeyStr", {0}), "error 1347");
  display.state = DISPSTATE_OPEN;
  display.renderTarget = kTargetMask;
  EXPECT_EQ(Call("InKeyStr", {0}), "error 1147");
  display.renderTarget = kTargetDisplay;
  EXPECT_EQ(CountDrawn(), 0);
}

}  // namespace
