// Transition kernels: the integer square root over its whole range of
// shapes, and pixelate, dissolve, roll, water and swirl against per-pixel
// reference models written as the rules read, for every pixel size (and
// format where channels are blended), with and without masks and alpha.
#include "pixel/transitionkernels.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "pixel/simd.h"
#include "tests/pixel/support/channels.h"
#include "tests/pixel/support/pixeltest.h"

using pixeltest::Format;
using pixeltest::Picture;
using pixeltest::Plane;

namespace {

struct Size {
  int32_t w, h;
};
const Size kSizes[] = {{1, 1}, {2, 1}, {1, 4}, {7, 5}, {13, 3}, {10, 17}};

bool IsRoot(int64_t n, int64_t r) { return r >= 0 && r * r <= n && (r + 1) * (r + 1) > n; }

TEST(TransitionKernels, IntegerSqrtCases) {
  const struct {
    int32_t n, r;
  } cases[] = {{0, 0},         {1, 1},         {3, 1},          {4, 2},         {255, 15},     {256, 16},
               {65535, 255},   {65536, 256},   {0xFFFFFF, 4095}, {0x1000000, 4096}, {0x7FFFFFFF, 46340},
               {46340 * 46340, 46340}, {46340 * 46340 - 1, 46339}, {-5, -1}, {INT_MIN, -1}};
  for (const auto& c : cases) EXPECT_EQ(IntegerSqrt(c.n), c.r) << c.n;
}

TEST(TransitionKernels, IntegerSqrtIsTheFloorRoot) {
  for (int32_t n = 0; n < (1 << 20); ++n) ASSERT_TRUE(IsRoot(n, IntegerSqrt(n))) << n;
  // Around every square, where an estimate one off shows.
  for (int64_t k = 1; k <= 46340; ++k)
    for (int64_t n : {k * k - 1, k * k, k * k + 1, k * k + 2 * k})
      if (n <= INT32_MAX) {
        ASSERT_TRUE(IsRoot(n, IntegerSqrt(int32_t(n)))) << n;
      }
  std::mt19937 rng(31);
  for (int i = 0; i < 200000; ++i) {
    int32_t n = int32_t(rng() >> 1);
    ASSERT_TRUE(IsRoot(n, IntegerSqrt(n))) << n;
  }
}

// ---- pixelate -------------------------------------------------------------------

constexpr int kNone = 0, kMask = 1, kAlpha = 2;

TEST(TransitionKernels, PixelateMatchesTheReference) {
  std::mt19937 rng(32);
  for (int32_t bpp : {4, 3, 2})
    for (int32_t block : {1, 2, 3, 5, 64, 0})
      for (int src : {kNone, kMask, kAlpha, kMask | kAlpha})
        for (int dst : {kNone, kMask, kAlpha, kMask | kAlpha})
          for (const Size& s : kSizes) {
            Picture sp(s.w, s.h, bpp), got(s.w, s.h, bpp);
            sp.randomize(rng);
            got.randomize(rng);
            Plane sm(s.w / 8 + 1, s.h), sa(s.w + 1, s.h), dm(s.w / 8 + 2, s.h), da(s.w + 3, s.h);
            sm.randomize(rng), sa.randomize(rng), dm.randomize(rng), da.randomize(rng);
            for (auto& b : sa.bytes) if (rng() % 3 == 0) b = 0;
            Picture want = got;
            Plane wantM = dm, wantA = da;
            const int32_t size = block < 1 ? 1 : block;
            for (int32_t y = 0; y < s.h; ++y)
              for (int32_t x = 0; x < s.w; ++x) {
                const int32_t cx = x - x % size, cy = y - y % size;
                const int alpha = (src & kAlpha) ? sa.byte(cx, cy) : 255;
                const bool hidden = (src & kMask) ? !sm.bit(cx, cy) : ((src & kAlpha) && alpha == 0);
                if (!hidden) want.set(x, y, sp.get(cx, cy));
                if (dst & kMask)
                  wantM.setBit(x, y, !hidden);
                else if (dst & kAlpha)
                  wantA.byte(x, y) = uint8_t(hidden ? 0 : alpha);
              }
            vkPixelateContext c{sp.data(), got.data(), sp.perRow, got.perRow,
                                (src & kMask) ? sm.data() : nullptr, (src & kAlpha) ? sa.data() : nullptr,
                                (dst & kMask) ? dm.data() : nullptr, (dst & kAlpha) ? da.data() : nullptr,
                                sm.bytesPerRow, sa.bytesPerRow, dm.bytesPerRow, da.bytesPerRow, s.w, s.h, block};
            if (bpp == 4) PixelateBlocks32(&c);
            if (bpp == 3) PixelateBlocks24(&c);
            if (bpp == 2) PixelateBlocks16(&c);
            const std::string what = "bpp " + std::to_string(bpp) + " block " + std::to_string(block) + " src " +
                                     std::to_string(src) + " dst " + std::to_string(dst) + " " +
                                     std::to_string(s.w) + "x" + std::to_string(s.h);
            ASSERT_EQ(got.bytes, want.bytes) << what;
            ASSERT_EQ(dm.bytes, wantM.bytes) << what;
            ASSERT_EQ(da.bytes, wantA.bytes) << what;
          }
}

TEST(TransitionKernels, PixelateWithBlockOneCopiesTheSource) {
  std::mt19937 rng(33);
  Picture sp(9, 4, 4), got(9, 4, 4);
  sp.randomize(rng);
  Plane sa(9, 4), da(9, 4);
  sa.randomize(rng);
  for (auto& b : sa.bytes) b = uint8_t(b | 1);  // none transparent
  vkPixelateContext c{sp.data(), got.data(), sp.perRow, got.perRow, nullptr, sa.data(), nullptr, da.data(),
                      0, sa.bytesPerRow, 0, da.bytesPerRow, 9, 4, 1};
  PixelateBlocks32(&c);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 9; ++x) {
      EXPECT_EQ(got.get(x, y), sp.get(x, y));
      EXPECT_EQ(da.byte(x, y), sa.byte(x, y));
    }
}

// ---- dissolve --------------------------------------------------------------------

TEST(TransitionKernels, DissolveMatchesTheReference) {
  // Rows of whole groups of eight pixels and groups with a rest, and steps
  // on both sides of 128, where thresholds differ in their top bit.
  std::vector<Size> sizes(std::begin(kSizes), std::end(kSizes));
  sizes.insert(sizes.end(), {{8, 2}, {16, 3}, {29, 4}, {67, 2}});
  std::mt19937 rng(34);
  for (int32_t bytePlanes : {0, 1})
    for (int32_t direction : {0, 1})
      for (bool withSource : {true, false})
        for (int32_t step : {-5, 0, 1, 100, 127, 128, 129, 200, 255, 256, 300})
          for (const Size& s : sizes) {
            const int32_t bpr = bytePlanes ? s.w + 2 : s.w / 8 + 1;
            Plane src(bpr, s.h), got(bpr + 1, s.h);
            src.randomize(rng), got.randomize(rng);
            std::vector<uint8_t> thresholds(size_t(s.w) * size_t(s.h));
            for (auto& t : thresholds) t = uint8_t(rng());
            Plane want = got;
            for (int32_t y = 0; y < s.h; ++y)
              for (int32_t x = 0; x < s.w; ++x) {
                const int m = thresholds[size_t(y) * s.w + x];
                const bool takes = direction == 0 ? m < step : m >= step;
                if (bytePlanes)
                  want.byte(x, y) = takes ? (withSource ? src.byte(x, y) : 255) : 0;
                else
                  want.setBit(x, y, takes && (!withSource || src.bit(x, y)));
              }
            vkDissolveContext c{withSource ? src.data() : nullptr, got.data(), s.w, s.h, src.bytesPerRow,
                                got.bytesPerRow, thresholds.data(), bytePlanes, direction};
            DissolveStep(&c, step);
            ASSERT_EQ(got.bytes, want.bytes) << "bytes " << bytePlanes << " direction " << direction << " source "
                                             << withSource << " step " << step << " " << s.w << "x" << s.h;
          }
}

TEST(TransitionKernels, DissolveEnds) {
  std::mt19937 rng(35);
  Plane src(12, 3), dst(12, 3);
  src.randomize(rng);
  dst.randomize(rng);
  std::vector<uint8_t> thresholds(36);
  for (auto& t : thresholds) t = uint8_t(rng());
  vkDissolveContext c{src.data(), dst.data(), 12, 3, 12, 12, thresholds.data(), 1, 0};
  DissolveStep(&c, 0);
  for (uint8_t b : dst.bytes) EXPECT_EQ(b, 0);
  DissolveStep(&c, 256);
  EXPECT_EQ(dst.bytes, src.bytes);
}

// ---- roll ------------------------------------------------------------------------

TEST(TransitionKernels, RollMatchesTheReference) {
  std::mt19937 rng(36);
  const double kTwoPi = 6.283185307179586;
  for (int32_t bpp : {4, 3, 2})
    for (int32_t direction : {0, 1})
      for (int planes : {kNone, kMask, kAlpha})
        for (int32_t n : {1, 4, 9})
          for (int32_t p : {-3, 0, 5, 12, 40})
            for (const Size& s : {Size{1, 1}, Size{7, 5}, Size{13, 11}}) {
              Picture sp(s.w, s.h, bpp), got(s.w, s.h, bpp);
              sp.randomize(rng), got.randomize(rng);
              Plane sm(s.w / 8 + 1, s.h), dm(s.w / 8 + 1, s.h), sa(s.w, s.h), da(s.w + 1, s.h);
              sm.randomize(rng), dm.randomize(rng), sa.randomize(rng), da.randomize(rng);
              for (auto& b : sa.bytes) if (rng() % 3 == 0) b = 0;
              std::vector<double> angles(static_cast<size_t>(n));
              for (int32_t i = 0; i < n; ++i) angles[size_t(i)] = kTwoPi * (n - 1 - i) / n * 0.75;
              Picture want = got;
              Plane wantM = dm, wantA = da;
              int32_t lines = 0, first = kNoRollLine;
              const int32_t limit = direction ? s.w : s.h;
              for (int32_t i = 0; i < n; ++i) {
                const int32_t d = p - n + 1 + i;
                const int32_t from = p + int32_t(std::trunc(angles[size_t(i)] / (kTwoPi / n)));
                if (d < 0 || d >= limit || from < 0 || from >= limit) continue;
                if (first == kNoRollLine) first = d;
                ++lines;
                const int32_t len = direction ? s.h : s.w;
                for (int32_t j = 0; j < len; ++j) {
                  const int32_t sx = direction ? from : j, sy = direction ? j : from;
                  const int32_t dx = direction ? d : j, dy = direction ? j : d;
                  if (planes == kMask) {
                    if (sm.bit(sx, sy)) want.set(dx, dy, sp.get(sx, sy));
                    wantM.setBit(dx, dy, sm.bit(sx, sy));
                  } else if (planes == kAlpha) {
                    if (sa.byte(sx, sy)) want.set(dx, dy, sp.get(sx, sy));
                    wantA.byte(dx, dy) = sa.byte(sx, sy);
                  } else {
                    want.set(dx, dy, sp.get(sx, sy));
                  }
                }
              }
              vkRollContext c{sp.data(), got.data(), planes == kMask ? sm.data() : nullptr,
                              planes == kMask ? dm.data() : nullptr, planes == kAlpha ? sa.data() : nullptr,
                              planes == kAlpha ? da.data() : nullptr, angles.data(), sp.perRow, got.perRow, s.w, s.h,
                              sm.bytesPerRow, dm.bytesPerRow, sa.bytesPerRow, da.bytesPerRow, direction, n, p, bpp,
                              -1, -1, -1};
              RenderRollCurl(&c);
              const std::string what = "bpp " + std::to_string(bpp) + " direction " + std::to_string(direction) +
                                       " planes " + std::to_string(planes) + " n " + std::to_string(n) + " p " +
                                       std::to_string(p) + " " + std::to_string(s.w) + "x" + std::to_string(s.h);
              ASSERT_EQ(got.bytes, want.bytes) << what;
              ASSERT_EQ(dm.bytes, wantM.bytes) << what;
              ASSERT_EQ(da.bytes, wantA.bytes) << what;
              EXPECT_EQ(c.linesDrawn, lines) << what;
              EXPECT_EQ(c.firstLine, first) << what;
              EXPECT_EQ(c.lastPosition, p) << what;
            }
}

TEST(TransitionKernels, RollWithEveryLineOutsideDrawsNothing) {
  Picture sp(5, 5, 4), got(5, 5, 4);
  std::vector<double> angles(4, 0.0);
  vkRollContext c{sp.data(), got.data(), nullptr, nullptr, nullptr, nullptr, angles.data(), sp.perRow, got.perRow,
                  5, 5, 0, 0, 0, 0, 0, 4, -10, 4, 7, 7, 7};
  RenderRollCurl(&c);
  EXPECT_EQ(c.linesDrawn, 0);
  EXPECT_EQ(c.firstLine, kNoRollLine);
  EXPECT_EQ(c.lastPosition, -10);
  EXPECT_EQ(RenderRollCurl32(&c, 0, 0, 5, 0, 0, 0), 0);
}

// ---- water and swirl -------------------------------------------------------------

// The two-picture fade of one pixel, as the water and swirl kernels share it.
void RefFade(const Format& f, const Picture& a, const Picture& b, const Plane* srcAlpha, bool fadeOut, int level,
             int32_t x, int32_t y, int32_t sx, int32_t sy, Picture& dst, Plane& dstAlpha) {
  if (!srcAlpha) {
    int ac[3], bc[3];
    pixeltest::SplitRGB(f, a.get(sx, sy), ac);
    pixeltest::SplitRGB(f, b.get(sx, sy), bc);
    for (int i = 0; i < 3; ++i) bc[i] = uint8_t(bc[i] + ((level * (ac[i] - bc[i])) >> 8));
    dst.set(x, y, pixeltest::JoinRGB(f, bc));
    return;
  }
  const int alpha = srcAlpha->bytes[size_t(sy) * srcAlpha->bytesPerRow + sx];
  if (alpha == 0) {
    dstAlpha.byte(x, y) = 0;
    return;
  }
  dst.set(x, y, a.get(sx, sy));
  dstAlpha.byte(x, y) = uint8_t(fadeOut ? alpha * (255 - level) / 255 : level * alpha / 255);
}

struct Scene {
  Format f;
  int32_t w, h;
  Picture a, b, dst;
  Plane srcAlpha, dstAlpha;
  Scene(const Format& format, int32_t width, int32_t height, std::mt19937& rng)
      : f(format), w(width), h(height), a(width, height, format.bpp), b(width, height, format.bpp),
        dst(width, height, format.bpp, 1), srcAlpha(width + 2, height), dstAlpha(width + 1, height) {
    a.randomize(rng), b.randomize(rng), dst.randomize(rng), srcAlpha.randomize(rng), dstAlpha.randomize(rng);
    for (auto& v : srcAlpha.bytes) if (rng() % 3 == 0) v = 0;
  }
};

TEST(TransitionKernels, WaterTables) {
  const int32_t w = 9, h = 6;
  std::vector<uint32_t> distances(size_t(w) * h);
  std::vector<double> sine(kTransitionTableSize);
  vkWaterContext c{};
  c.distances = distances.data(), c.sine = sine.data(), c.width = w, c.height = h;
  InitWaterTables(&c);
  double angle = 0;
  for (int32_t k = 0; k < kTransitionTableSize; ++k, angle += 0.001) ASSERT_EQ(sine[size_t(k)], std::sin(angle)) << k;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const int64_t dx = x - w / 2, dy = y - h / 2;
      EXPECT_TRUE(IsRoot(dx * dx + dy * dy, distances[size_t(y) * w + x])) << x << "," << y;
    }
}

// Where the water samples pixel (x, y) at step t, straight from the rule.
void RefWaterSource(const vkWaterContext& c, int32_t t, int32_t x, int32_t y, double amplitude, int32_t& sx,
                    int32_t& sy) {
  const double kTwoPi = 6.28318530717959;
  const uint32_t d = c.distances[size_t(y) * c.width + x];
  double phase = (d / c.wavelength) * kTwoPi - t;
  while (phase > kTwoPi) phase -= kTwoPi;
  while (phase < 0) phase += kTwoPi;
  const double s = c.sine[size_t(std::trunc(phase / 0.001))];
  // An area of one pixel has no distance to weigh by: it stays in place.
  double A = c.maxDistance == 0 ? 0 : amplitude * s * ((double(c.maxDistance) - d) / double(c.maxDistance));
  if (d != 0) A *= c.wavelength / d;
  sx = std::clamp(int32_t(std::trunc(x + A * (x - c.centreX))), 0, c.width - 1);
  sy = std::clamp(int32_t(std::trunc(y + A * (y - c.centreY))), 0, c.height - 1);
}

// Water frames of every format, with and without alpha, against the
// reference at several steps and sizes.
void CheckWater() {
  std::mt19937 rng(37);
  for (const Format& f : pixeltest::kAllFormats)
    for (bool withAlpha : {false, true})
      for (bool fadeOut : {false, true})
        for (int32_t step : {0, 3, 10, 17, 20, 25})
          for (const Size& s : {Size{1, 1}, Size{7, 5}, Size{16, 9}, Size{37, 11}, Size{8200, 1}}) {
            if (s.w > 100 && (f.bpp != 4 || fadeOut)) continue;  // far distances: 32-bit pixels suffice
            Scene sc(f, s.w, s.h, rng);
            std::vector<uint32_t> distances(size_t(s.w) * s.h);
            std::vector<double> sine(kTransitionTableSize);
            vkWaterContext c{sc.a.data(), sc.b.data(), sc.dst.data(), sc.a.perRow, sc.b.perRow, sc.dst.perRow,
                             distances.data(), sine.data(), 3.5, 0, 0.4, 10, s.w, s.h, f.fmt, fadeOut,
                             withAlpha ? sc.srcAlpha.data() : nullptr, sc.srcAlpha.bytesPerRow,
                             sc.dstAlpha.data(), sc.dstAlpha.bytesPerRow, s.w / 2, s.h / 2, 0, 0, 0, 0};
            InitWaterTables(&c);
            for (uint32_t d : distances) c.maxDistance = std::max(c.maxDistance, d + 1);
            if (step == 17) c.maxDistance /= 2;  // distances past the maximum push inwards
            Picture want = sc.dst;
            Plane wantA = sc.dstAlpha;
            const int level = step * 255 / 20;
            const double amplitude = (step < 10 ? step : 20 - step) * 0.4;
            for (int32_t y = 0; y < s.h; ++y)
              for (int32_t x = 0; x < s.w; ++x) {
                int32_t sx, sy;
                RefWaterSource(c, step, x, y, amplitude, sx, sy);
                RefFade(f, sc.a, sc.b, withAlpha ? &sc.srcAlpha : nullptr, fadeOut, level, x, y, sx, sy, want, wantA);
              }
            if (f.bpp == 4) RenderWaterRipple32(&c, step);
            if (f.bpp == 3) RenderWaterRipple24(&c, step);
            if (f.bpp == 2) RenderWaterRipple16(&c, step);
            const std::string what = "bpp " + std::to_string(f.bpp) + " fmt " + std::to_string(f.fmt) + " alpha " +
                                     std::to_string(withAlpha) + " step " + std::to_string(step) + " " +
                                     std::to_string(s.w) + "x" + std::to_string(s.h);
            EXPECT_EQ(c.amplitude, amplitude) << what;
            ASSERT_EQ(sc.dst.bytes, want.bytes) << what;
            ASSERT_EQ(sc.dstAlpha.bytes, wantA.bytes) << what;
          }
}

TEST(TransitionKernels, WaterMatchesTheReference) {
  // Every vector level the CPU has.
  for (int32_t simd = kPixelSimdScalar; simd <= PixelSimdLevelSupported(); ++simd) {
    SetPixelSimdLevel(simd);
    CheckWater();
    if (::testing::Test::HasFatalFailure()) ADD_FAILURE() << "vector level " << simd;
    SetPixelSimdLevel(PixelSimdLevelSupported());
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(TransitionKernels, WaterAtStepZeroShowsSourceB) {
  std::mt19937 rng(38);
  for (const Format& f : pixeltest::kAllFormats) {
    Scene sc(f, 11, 7, rng);
    std::vector<uint32_t> distances(77);
    std::vector<double> sine(kTransitionTableSize);
    vkWaterContext c{sc.a.data(), sc.b.data(), sc.dst.data(), sc.a.perRow, sc.b.perRow, sc.dst.perRow,
                     distances.data(), sine.data(), 2.0, 0, 1.0, 30, 11, 7, f.fmt, 0, nullptr, 0, nullptr, 0, 5, 3,
                     0, 8, 0, 0};
    InitWaterTables(&c);
    if (f.bpp == 4) RenderWaterRipple32(&c, 0);
    if (f.bpp == 3) RenderWaterRipple24(&c, 0);
    if (f.bpp == 2) RenderWaterRipple16(&c, 0);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 11; ++x) {
        int bc[3];
        pixeltest::SplitRGB(f, sc.b.get(x, y), bc);
        ASSERT_EQ(sc.dst.get(x, y), pixeltest::JoinRGB(f, bc)) << f.bpp << " " << f.fmt << " " << x << "," << y;
      }
  }
}

TEST(TransitionKernels, WaterWithoutWavelengthStillEnds) {
  // No wavelength makes every phase not a number; the frame must still come
  // out, each pixel sampling a clamped position.
  std::mt19937 rng(39);
  Scene sc({4, PIXFMT_ARGB32}, 6, 4, rng);
  std::vector<uint32_t> distances(24);
  std::vector<double> sine(kTransitionTableSize);
  vkWaterContext c{sc.a.data(), sc.b.data(), sc.dst.data(), sc.a.perRow, sc.b.perRow, sc.dst.perRow,
                   distances.data(), sine.data(), 0.0, 0, 1.0, 10, 6, 4, PIXFMT_ARGB32, 0, nullptr, 0, nullptr, 0, 3,
                   2, 0, 4, 0, 0};
  InitWaterTables(&c);
  RenderWaterRipple32(&c, 5);
  EXPECT_EQ(c.position, 24);
}

void RefStrudelSource(int32_t w, int32_t h, const double* sine, const double* cosine, int32_t t, int32_t x,
                      int32_t y, int32_t& sx, int32_t& sy) {
  const int32_t turn = t > 359 ? 720 - t : t;
  const double theta = turn * 0.017453292519943295;
  const double cx = w / 2.0, cy = h / 2.0, R = std::max(cx, cy);
  const double fx = w > h ? 1.0 : double(h) / w, fy = w > h ? double(w) / h : 1.0;
  const double dx = fx * (x - cx), dy = fy * (y - cy);
  sx = x, sy = y;
  if (dx * dx + dy * dy >= R * R) return;
  const int32_t r = int32_t(std::sqrt(std::trunc(dx * dx + dy * dy)));  // exact below 2^31
  const double u = 1 - r / R;
  const int32_t k = std::clamp(int32_t(std::trunc(u * theta * u / 0.001)), 0, kTransitionTableSize - 1);
  sx = std::clamp(int32_t(std::trunc(cx + (dx * cosine[k] - dy * sine[k]) / fx)), 0, w - 1);
  sy = std::clamp(int32_t(std::trunc(cy + (dx * sine[k] + dy * cosine[k]) / fy)), 0, h - 1);
}

// One swirl frame of [s] at [step] against the reference, pixel by pixel.
void CheckSwirl(const Format& f, bool withAlpha, bool fadeOut, int32_t step, const Size& s, std::mt19937& rng) {
  Scene sc(f, s.w, s.h, rng);
  std::vector<double> sine(kTransitionTableSize), cosine(kTransitionTableSize);
  vkStrudelContext c{sc.a.data(), sc.b.data(), sc.dst.data(), sc.a.perRow, sc.b.perRow, sc.dst.perRow,
                     sine.data(), cosine.data(), s.w, s.h, f.fmt, fadeOut,
                     withAlpha ? sc.srcAlpha.data() : nullptr, sc.srcAlpha.bytesPerRow,
                     sc.dstAlpha.data(), sc.dstAlpha.bytesPerRow};
  InitStrudelTables(&c);
  Picture want = sc.dst;
  Plane wantA = sc.dstAlpha;
  const int level = step * 255 / 720;
  for (int32_t y = 0; y < s.h; ++y)
    for (int32_t x = 0; x < s.w; ++x) {
      int32_t sx, sy;
      RefStrudelSource(s.w, s.h, sine.data(), cosine.data(), step, x, y, sx, sy);
      RefFade(f, sc.a, sc.b, withAlpha ? &sc.srcAlpha : nullptr, fadeOut, level, x, y, sx, sy, want, wantA);
    }
  if (f.bpp == 4) RenderStrudelSwirl32(&c, step);
  if (f.bpp == 3) RenderStrudelSwirl24(&c, step);
  if (f.bpp == 2) RenderStrudelSwirl16(&c, step);
  const std::string what = "bpp " + std::to_string(f.bpp) + " fmt " + std::to_string(f.fmt) + " alpha " +
                           std::to_string(withAlpha) + " step " + std::to_string(step) + " " + std::to_string(s.w) +
                           "x" + std::to_string(s.h);
  ASSERT_EQ(sc.dst.bytes, want.bytes) << what;
  ASSERT_EQ(sc.dstAlpha.bytes, wantA.bytes) << what;
}

TEST(TransitionKernels, SwirlMatchesTheReference) {
  std::mt19937 rng(40);
  for (const Format& f : pixeltest::kAllFormats)
    for (bool withAlpha : {false, true})
      for (bool fadeOut : {false, true})
        for (int32_t step : {0, 90, 359, 360, 500, 720, 800})
          for (const Size& s : {Size{1, 1}, Size{9, 5}, Size{6, 13}, Size{20, 20}}) {
            CheckSwirl(f, withAlpha, fadeOut, step, s, rng);
            if (::testing::Test::HasFatalFailure()) return;
          }
}

TEST(TransitionKernels, SwirlMatchesTheReferenceOnLargerPictures) {
  // Rows long enough for the distance's root to be followed from pixel to
  // pixel, and narrow or flat pictures where one step along a row jumps the
  // root by far more than one.
  // Every vector level the CPU has, and each 32-bit format.
  std::mt19937 rng(41);
  for (int32_t simd = kPixelSimdScalar; simd <= PixelSimdLevelSupported(); ++simd) {
    SetPixelSimdLevel(simd);
    for (const Size& s : {Size{301, 7}, Size{7, 301}, Size{161, 91}, Size{2, 500}, Size{500, 3}, Size{64, 64}})
      for (int32_t step : {1, 45, 300, 600})
        for (const Format& f : {Format{4, PIXFMT_ARGB32}, Format{4, PIXFMT_BGRA32}, Format{4, PIXFMT_RGBA32}})
          for (bool withAlpha : {false, true}) {
            CheckSwirl(f, withAlpha, false, step, s, rng);
            if (::testing::Test::HasFatalFailure()) {
              ADD_FAILURE() << "vector level " << simd;
              SetPixelSimdLevel(PixelSimdLevelSupported());
              return;
            }
          }
  }
  SetPixelSimdLevel(PixelSimdLevelSupported());
}

TEST(TransitionKernels, StrudelTables) {
  std::vector<double> sine(kTransitionTableSize), cosine(kTransitionTableSize);
  vkStrudelContext c{};
  c.sine = sine.data(), c.cosine = cosine.data();
  InitStrudelTables(&c);
  double angle = 0;
  for (int32_t k = 0; k < kTransitionTableSize; ++k, angle += 0.001) {
    ASSERT_EQ(sine[size_t(k)], std::sin(angle)) << k;
    ASSERT_EQ(cosine[size_t(k)], std::cos(angle)) << k;
  }
}

}  // namespace
