// Texts printed with layers on become layers: each TextOut adds a
// layer that the composed picture shows exactly as the reference
// compositor composes it, and removing the layer takes the text away.
#include <gtest/gtest.h>

#include "engine/vmapi.h"
#include "layers/layers.h"
#include "layers/textlayers.h"
#include "support/layertest.h"
#include "text/textlib.h"

namespace {

using layertest::LayerTest;

class TextLayers : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenTextLibrary(L), 0);
    vmSetTop(L, 0);
    RegisterTextLayers(L);
  }
  int32_t Lit() {
    int32_t n = 0;
    for (int32_t y = 0; y < kHeight; y++)
      for (int32_t x = 0; x < kWidth; x++) n += Screen(x, y) == 0xFFFFFFu;
    return n;
  }
};

TEST_F(TextLayers, PrintedTextsAreLayers) {
  RunCases({
      {"SetFontColor", {0xFFFFFF}, ""},
      {"TextOut", {1, 1, "Hi"}, ""},
  });
  EXPECT_EQ(CountLayers(&picture), 1);
  const int32_t lit = Lit();
  EXPECT_GT(lit, 5);
  ExpectScreenIsReference();
  ASSERT_EQ(Call("TextOut", {1, 12, "x"}), "");
  EXPECT_EQ(CountLayers(&picture), 2);
  EXPECT_GT(Lit(), lit);
  ExpectScreenIsReference();
  RunCases({{"RemoveLayer", {2}, ""}, {"RemoveLayer", {1}, ""}});
  EXPECT_EQ(Lit(), 0);
}

}  // namespace
