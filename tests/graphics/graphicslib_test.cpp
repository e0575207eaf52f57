// The graphics library's attribute handlers keep the mask mode and the alpha
// intensity and answer nothing else.
#include <gtest/gtest.h>

#include <memory>

#include "engine/state.h"
#include "graphics/graphicslib.h"

namespace {

TEST(GraphicsAttrs, MaskModeAndAlphaIntensityAreKeptOtherTagsPassOn) {
  std::unique_ptr<vkState, void (*)(vkState*)> state(vmNewState(), vmCloseState);
  vkState* L = state.get();
  int32_t value = -7;
  ASSERT_EQ(GetGraphicsAttr(L, nullptr, ATTR_ALPHAINTENSITY, &value), 1);
  EXPECT_EQ(value, 128);  // initial

  struct Case {
    uint32_t tag;
    int32_t value;
    int handled;
  };
  const Case cases[] = {
      {ATTR_MASKMODE, 2, 1}, {ATTR_ALPHAINTENSITY, 300, 1}, {ATTR_ALPHAINTENSITY, -1, 1}, {6, 1, 0}, {0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    EXPECT_EQ(SetGraphicsAttr(L, nullptr, c.tag, c.value), c.handled);
    int32_t read = 12345;
    EXPECT_EQ(GetGraphicsAttr(L, nullptr, c.tag, &read), c.handled);
    EXPECT_EQ(read, c.handled ? c.value : 12345);
  }
}

}  // namespace
