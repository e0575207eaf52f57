// A small model of the slice and level effects, written from their closed
// forms: which source pixels a stripes or blinds effect has revealed by frame
// k, and the level a fade, blend or crossfade has reached; the pixel a frame
// shows from the old and new pixels there. The frame tests of the display
// and of layers check the window against it.
#pragma once

#include <algorithm>
#include <cstdint>

namespace fxtest {

inline constexpr int32_t kFadeColour = 0x2050A0;
inline constexpr int32_t kStripeParameter = 3;

inline int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }
// Steps to cover a size, one more unless exact.
inline int64_t Steps(int64_t size, int64_t step, bool exact) { return size < 1 ? 1 : CeilDiv(size, step) + (exact ? 0 : 1); }
inline int32_t NamedStep(int32_t speed, int32_t size, int32_t normal, int32_t fast, int32_t slow) {
  const int32_t s = speed == -1 ? size / normal : speed == -2 ? size / fast : speed == -3 ? size / slow : speed;
  return std::max(s, 1);
}

inline uint8_t Towards(int c, int t, int64_t w) { return uint8_t(c + ((w * (t - c)) >> 8)); }
inline uint32_t TowardsRGB(uint32_t c, uint32_t t, int64_t w) {
  uint32_t out = 0;
  for (int shift : {16, 8, 0}) out |= uint32_t(Towards(int(c >> shift & 0xFF), int(t >> shift & 0xFF), w)) << shift;
  return out;
}

// The model of one effect on a width x height source.
struct Model {
  int32_t id, speed, width, height;
  int64_t frames = 0;
  // Slice effects.
  bool alongX = true, blinds = false;
  int64_t step = 1, size = 1, along = 0;
  // Level effects.
  bool fade = false, blend = false, crossfade = false;
  // A layer effect in real-time layer mode (levels go through the layer's
  // alpha plane), and one that hides a layer (old: the layer, new: what
  // lies beneath).
  bool layerAlpha = false, hiding = false;

  Model(int32_t id_, int32_t speed_, int32_t w, int32_t h) : id(id_), speed(speed_), width(w), height(h) {
    if (id <= 13) {
      alongX = id <= 6;
      along = alongX ? w : h;
      const int64_t across = alongX ? h : w;
      const int32_t named = id == 0 || id == 7 ? kStripeParameter : 1 << (alongX ? id : id - 7);
      size = std::clamp<int64_t>(named, 1, std::max<int64_t>(across, 1));
      step = NamedStep(speed, int32_t(along), 70, 30, 200);
      if (along <= 1) {
        step = 1, frames = 1;
      } else if (step <= along - 1) {
        frames = Steps(along - step, step, false);
      } else {
        step = along - 1, frames = Steps(1, along - 1, false);
      }
    } else if (id <= 23) {
      blinds = true;
      alongX = id >= 19;
      size = 8 << (alongX ? id - 19 : id - 14);
      step = std::min<int64_t>(NamedStep(speed, int32_t(size), 8, 3, 20), size / 2);
      frames = CeilDiv(size, step);
    } else if (id == 115) {
      crossfade = true;
      step = speed == -2 ? 20 : speed == -1 ? 10 : speed == -3 ? 5 : std::min(speed, 120);
      frames = Steps(255, step, true);
    } else {
      fade = id == 116, blend = id == 117;
      step = speed == -2 ? 20 : speed == -1 ? 10 : speed == -3 ? 5 : std::min(speed, 255);
      frames = Steps(511 - step, step, false);
    }
  }

  bool Covered(int32_t bx, int32_t by, int64_t k) const {
    const int64_t a = alongX ? bx : by, c = alongX ? by : bx;
    if (blinds) return a % size < std::min(k * step, size);
    const int64_t offset = std::clamp<int64_t>((k - 1) * step, 0, std::max<int64_t>(along - step, 0));
    return (c / size) % 2 == 0 ? a < offset + step : a >= along - offset - step;
  }

  // The pixel at a source position after frame k: [shown] the source
  // pixel where the source is drawn (its mask set), else the old one.
  uint32_t Pixel(int32_t bx, int32_t by, int64_t k, uint32_t oldPx, uint32_t newPx, bool shown) const {
    const uint32_t target = shown ? newPx : oldPx;
    if (crossfade) {
      const int64_t level = std::min<int64_t>(k * step, 255);
      if (level == 255) return target;
      // Hiding through the alpha plane: the layer's alpha falls instead.
      return layerAlpha && hiding ? TowardsRGB(newPx, oldPx, 255 - level) : TowardsRGB(oldPx, target, level);
    }
    if (fade || blend) {
      int64_t level = k * step;
      if (level > 510) return target;
      const int64_t tint = level <= 255 ? level : 255 - level % 256;
      if (!shown) return oldPx;
      // Through the alpha plane the colour at full weight is the colour.
      const bool throughAlpha = layerAlpha && ((fade && level < 256 && !hiding) || (level > 256 && hiding));
      if (throughAlpha && tint == 255) return uint32_t(kFadeColour);
      const uint32_t from = (blend && !hiding) || level > 255 ? newPx : oldPx;
      return TowardsRGB(from, kFadeColour, tint);
    }
    return Covered(bx, by, k) ? target : oldPx;
  }
};

}  // namespace fxtest
