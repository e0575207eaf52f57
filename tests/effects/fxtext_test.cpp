// Text objects shown through effects, with layers off and on: the window at
// the end holds what showing the object directly shows, at its offsets from
// the text position, and the object's lock comes back.
#include <gtest/gtest.h>

#include <string>

#include "support/fxscene.h"
#include "text/textobjects.h"

namespace {

using vktest::Arg;

class TextEffects : public fxtest::FXScene {
 protected:
  // The window after showing text object 1 by [command] with [args] on a
  // fresh display.
  fxtest::Pixels Shown(bool layers, const char* command, const std::vector<Arg>& args) {
    MakeDisplay(64, 40);
    if (layers) {
      EXPECT_EQ(Call("EnableLayers", {}), "");
    }
    EXPECT_EQ(FreeTextObjectById(L, vkObjectId{1, nullptr}, false), 0);
    EXPECT_EQ(Call("CreateTextObject", {1, "Vellumark"}), "");
    EXPECT_EQ(Call(command, args), "");
    return Window();
  }
};

TEST_F(TextEffects, ATextObjectShownThroughAnEffectEndsAsShownDirectly) {
  for (bool layers : {false, true})
    for (int32_t id : {0, 19, 38, 61, 115, 116}) {
      SCOPED_TRACE(std::to_string(id) + (layers ? " with layers" : ""));
      const fxtest::Pixels want = Shown(layers, "DisplayTextObject", {1, 5, 7});
      const fxtest::Pixels got = Shown(layers, "DisplayTextObjectFX", {1, 5, 7, id, 300});
      EXPECT_TRUE(got == want);
      vkTextObject* o = nullptr;
      ASSERT_EQ(FindTextObject(L, vkObjectId{1, nullptr}, &o, 0), 0);
      EXPECT_EQ(o->lockCount, 0u);
      EXPECT_NE(want, fxtest::Pixels(want.size(), want[0]));  // the text shows
    }
}

}  // namespace
