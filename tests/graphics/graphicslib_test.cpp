// The graphics library's attribute handlers keep the mask mode and the alpha
// intensity and answer nothing else.
#include <gtest/gtest.h>

#include "graphics/graphicslib.h"

namespace {

TEST(GraphicsAttrs, MaskModeAndAlphaIntensityAreKeptOtherTagsPassOn) {
  int32_t value = -7;
  ASSERT_EQ(GetGraphicsAttr(nullptr, ATTR_ALPHAINTENSITY, &value), 1);
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
    EXPECT_EQ(SetGraphicsAttr(nullptr, c.tag, c.value), c.handled);
    int32_t read = 12345;
    EXPECT_EQ(GetGraphicsAttr(nullptr, c.tag, &read), c.handled);
    EXPECT_EQ(read, c.handled ? c.value : 12345);
  }
}

}  // namespace
