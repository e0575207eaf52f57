// The text run state belongs to its engine: two engines in one process open,
// cache and drop their fonts apart, and freeing one run's fonts leaves the
// other's drawing.
#include <gtest/gtest.h>

#include "engine/vmapi.h"
#include "text/textobjects.h"
#include "text/textstate.h"

namespace {

TEST(TextRunState, TwoEnginesKeepTheirFontsApart) {
  vkState* a = vmNewState();
  vkState* b = vmNewState();
  ASSERT_TRUE(a && b);
  EXPECT_NE(FontState(a).builtin.get(), FontState(b).builtin.get());
  EXPECT_EQ(GetTextState(a).style.font, FontState(a).builtin.get());

  vkFont* sans = nullptr;
  ASSERT_EQ(OpenFontByName(a, ":::default_sans", 20, FONTENGINE_NATIVE, 1, false, &sans), 0u);
  EXPECT_EQ(FontState(a).cache.size(), 1u);
  EXPECT_TRUE(FontState(b).cache.empty());

  GetTextState(a).style.fontColour = 0x123456;
  EXPECT_EQ(GetTextState(b).style.fontColour, 0xFFFFFFu);

  // The first run ends; the second still measures with its own fonts.
  FreeAllTextObjectsAndFonts(a);
  vmCloseState(a);
  vkFont* again = nullptr;
  ASSERT_EQ(OpenFontByName(b, ":::default_sans", 20, FONTENGINE_NATIVE, 1, false, &again), 0u);
  vkTextMetrics m;
  ASSERT_EQ(MeasureFontText(again, "AV", 2, kStyleNormal, ENCODING_ISO8859_1, &m), 0u);
  EXPECT_GT(m.advance, 0);
  vmCloseState(b);
}

}  // namespace
