// Test support for the layers library: the graphics tests' scene with the
// layers library open and layers on, brushes made in the test, a log of the
// rectangles the compositor recomposes for the window, and a reference
// compositor that recomposes the whole picture naively, pixel by pixel,
// with the blend formulas of the pixel core.
#pragma once

#include <cstdint>
#include <vector>

#include "../../graphics/support/scene.h"
#include "layers/layers.h"

namespace layertest {

// A rectangle recomposed into the composed buffer for the window.
struct Copy {
  int32_t x, y, w, h;
  bool operator==(const Copy&) const = default;
};

enum class Shape { None, Mask, Alpha };

class LayerTest : public gfxtest::SceneTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Brush [number] of one colour, or a pattern of colours with a mask or an
  // alpha plane that takes every value class (clear, partial, opaque).
  void MakeSolid(int32_t number, int32_t width, int32_t height, uint32_t rgb);
  void MakePatterned(int32_t number, int32_t width, int32_t height, Shape shape);
  // The composed buffer's pixel.
  uint32_t Screen(int32_t x, int32_t y);
  // The whole picture recomposed naively from the background buffer and the layers.
  gfxtest::Pixels Reference();
  void ExpectScreenIsReference();

 public:
  std::vector<Copy> copies;  // recompositions for the window, in order
};

}  // namespace layertest
