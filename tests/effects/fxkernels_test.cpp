// The one-pass crossfade frame gives the bytes of the new picture copied and
// the old one mixed into it, at every vector level the CPU offers, for every
// level of the fade, on widths that leave every kind of row tail.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "pixel/bitmap.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "pixel/simd.h"

namespace {

void Randomise(vkBitMap* b, std::mt19937& rng) {
  for (int32_t y = 0; y < b->height; y++)
    for (int32_t x = 0; x < b->width; x++)
      reinterpret_cast<uint32_t*>(b->pixels + size_t(y) * size_t(b->bytesPerRow))[x] = uint32_t(rng());
}

bool SameRows(const vkBitMap* a, const vkBitMap* b) {
  for (int32_t y = 0; y < a->height; y++)
    if (std::memcmp(a->pixels + size_t(y) * size_t(a->bytesPerRow), b->pixels + size_t(y) * size_t(b->bytesPerRow),
                    size_t(a->width) * 4) != 0)
      return false;
  return true;
}

TEST(CrossfadeKernel, OnePassEqualsCopyThenMixAtEveryVectorLevel) {
  std::mt19937 rng(115);
  const int32_t saved = PixelSimdLevel();
  for (int32_t simd = kPixelSimdScalar; simd <= PixelSimdLevelSupported(); simd++) {
    SetPixelSimdLevel(simd);
    for (int32_t width : {1, 3, 4, 7, 8, 9, 17, 33}) {
      vkBitMapPtr fresh(AllocArgbBitMap(width, 3)), old(AllocArgbBitMap(width, 3));
      vkBitMapPtr fused(AllocArgbBitMap(width, 3)), reference(AllocArgbBitMap(width, 3));
      Randomise(fresh.get(), rng), Randomise(old.get(), rng);
      for (int32_t level = 0; level <= 255; level++) {
        BltBitMap(fresh.get(), 0, 0, reference.get(), 0, 0, width, 3);
        ASSERT_EQ(MixBitMaps(reference.get(), old.get(), nullptr, 0, 0, 0, 0, width, 3, 255 - level, nullptr), 0);
        ASSERT_EQ(CrossfadeBitMaps(fused.get(), fresh.get(), old.get(), width, 3, level), 0);
        ASSERT_TRUE(SameRows(fused.get(), reference.get())) << "simd " << simd << " width " << width << " level "
                                                             << level;
      }
    }
  }
  SetPixelSimdLevel(saved);
}

}  // namespace
