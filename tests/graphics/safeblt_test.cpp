// The clipped blit: a table of destinations x flags x source planes x clip
// regions against a reference that decides each pixel and plane bit by
// itself; the fallback display, sprites kept on top, nested blits through
// the layers' recomposition, and regions larger than their destination.
#include "graphics/safeblt.h"

#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "graphics/bgpics.h"
#include "graphics/clipregions.h"
#include "graphics/graphicslib.h"
#include "pixel/blit.h"

namespace {

// An owned ARGB bitmap of random pixels, and planes of random content.
vkBitMapPtr RandomBitMap(int32_t w, int32_t h, std::mt19937& rng) {
  vkBitMapPtr b(AllocArgbBitMap(w, h));
  for (int32_t i = 0; i < w * h; ++i) reinterpret_cast<uint32_t*>(b->pixels)[i] = rng() & 0x00FFFFFF;
  return b;
}
vkPlanePtr RandomMask(int32_t w, int32_t h, std::mt19937& rng) {
  vkPlanePtr p(AllocMaskPlane(w, h, false));
  for (int32_t i = 0; i < p->bytesPerRow * h; ++i) p->data[i] = uint8_t(rng());
  return p;
}
vkPlanePtr RandomAlpha(int32_t w, int32_t h, std::mt19937& rng) {
  vkPlanePtr p(AllocAlphaPlane(w, h, false));
  for (int32_t i = 0; i < p->bytesPerRow * h; ++i) {
    const uint32_t r = rng();
    p->data[i] = r % 4 == 0 ? 0 : r % 4 == 1 ? 255 : uint8_t(r >> 8);
  }
  return p;
}

uint32_t& Pix(vkBitMap* b, int32_t x, int32_t y) {
  return reinterpret_cast<uint32_t*>(b->pixels)[ptrdiff_t(y) * (b->bytesPerRow / 4) + x];
}
bool Bit(const vkPlane* m, int32_t x, int32_t y) { return ReadBitMapPixel(m, x, y) != 0; }
uint8_t& Byte(vkPlane* a, int32_t x, int32_t y) { return a->data[ptrdiff_t(y) * a->bytesPerRow + x]; }

uint32_t Blend(uint32_t s, uint32_t d, int a) {
  if (a == 0) return d;
  if (a == 255) return s;
  uint32_t out = 0;
  for (int sh = 0; sh <= 16; sh += 8) {
    const int sc = int(s >> sh & 255), dc = int(d >> sh & 255);
    out |= uint32_t(uint8_t(dc + (((sc - dc) * a) >> 8))) << sh;
  }
  return out;
}

constexpr int32_t kW = 40, kH = 30, kSrcW = 24, kSrcH = 18;

// A display showing a picture, made current for one test and forgotten after.
struct Scene {
  std::mt19937 rng{11};
  vkGraphicsState gs;
  vkDisplay display;
  vkBGPic pic;
  vkBitMapPtr back = RandomBitMap(kW, kH, rng), screen = RandomBitMap(kW, kH, rng);
  vkBitMapPtr src = RandomBitMap(kSrcW, kSrcH, rng);
  vkPlanePtr srcMask = RandomMask(kSrcW, kSrcH, rng), srcAlpha = RandomAlpha(kSrcW, kSrcH, rng);
  vkPlanePtr drawMask = RandomMask(kW, kH, rng), drawAlpha = RandomAlpha(kW, kH, rng);

  Scene() {
    display.backBuffer = back.get(), display.screenBuffer = screen.get();
    display.width = kW, display.height = kH;
    pic.width = pic.scaledWidth = kW, pic.height = pic.scaledHeight = kH;
    display.bgpic = &pic;
    gs.CurrentDisplay = &display;
    gs.CurrentBGPic = &pic;
  }
  ~Scene() {
    gs.CurrentDisplay = nullptr;
    gs.CurrentBGPic = nullptr;
  }
  vkClipRegion* Region(int32_t x, int32_t y, int32_t w, int32_t h, bool shaped) {
    vkPlanePtr shape = shaped ? RandomMask(w, h, rng) : nullptr;
    vkClipRegion* r = nullptr;
    EXPECT_EQ(CreateClipRegion(gs, vkIdRequest{0, true}, x, y, w, h, shape.get(), &r), 0);
    return r;
  }
};

// The blit of one request as the rules read, pixel by pixel: into [pixels]
// (or none) and the display's planes (or none).
struct Reference {
  const vkBlitRequest& rq;
  bool shapedClip() const { return rq.clip && rq.clip->mask && !(rq.flags & kBlitIgnoreClip); }

  // The source position of destination pixel (x, y), or false when the
  // clipped rectangle does not reach it.
  bool Source(int32_t x, int32_t y, int32_t& sx, int32_t& sy) const {
    if (rq.sx < 0 || rq.sy < 0) return false;
    const vkClipRegion* c = (rq.flags & kBlitIgnoreClip) ? nullptr : rq.clip;
    const int64_t i = int64_t(x) - rq.dx, j = int64_t(y) - rq.dy;
    if (i < 0 || j < 0 || i >= rq.width || j >= rq.height || x >= rq.dstWidth || y >= rq.dstHeight) return false;
    if (c && (x < c->x || y < c->y || x >= c->x + c->width || y >= c->y + c->height)) return false;
    sx = int32_t(rq.sx + i), sy = int32_t(rq.sy + j);
    return x >= 0 && y >= 0 && sx < rq.srcWidth && sy < rq.srcHeight;
  }
  bool ClipBit(int32_t x, int32_t y) const {
    return !shapedClip() || Bit(rq.clip->mask.get(), x - rq.clip->x, y - rq.clip->y);
  }
  // The mask the blit goes through, when it goes through one.
  bool MaskPath() const { return (rq.mask && !(rq.alpha && shapedClip())) || (!rq.alpha && shapedClip()); }
  bool MaskBit(int32_t x, int32_t y, int32_t sx, int32_t sy) const {
    return ClipBit(x, y) && (!rq.mask || Bit(rq.mask, sx, sy));
  }
  int AlphaOf(int32_t x, int32_t y, int32_t sx, int32_t sy) const {
    return ClipBit(x, y) ? rq.alpha->data[ptrdiff_t(sy) * rq.alpha->bytesPerRow + sx] : 0;
  }

  void Pixels(vkBitMap* into, bool targetHasAlpha) const {
    for (int32_t y = 0; y < into->height; ++y)
      for (int32_t x = 0; x < into->width; ++x) {
        int32_t sx, sy;
        if (!Source(x, y, sx, sy)) continue;
        const uint32_t s = Pix(const_cast<vkBitMap*>(rq.src), sx, sy);
        uint32_t& d = Pix(into, x, y);
        if (MaskPath()) {
          if (MaskBit(x, y, sx, sy)) d = s;
        } else if (rq.alpha) {
          d = targetHasAlpha ? s : Blend(s, d, AlphaOf(x, y, sx, sy));
        } else {
          d = s;
        }
      }
  }
  void Planes(vkPlane* mask, vkPlane* alpha, int32_t maskMode, int32_t intensity) const {
    for (int32_t y = 0; y < kH; ++y)
      for (int32_t x = 0; x < kW; ++x) {
        int32_t sx, sy;
        if (!Source(x, y, sx, sy)) continue;
        if (MaskPath()) {
          const bool m = MaskBit(x, y, sx, sy);
          if (maskMode == 2) WriteBitMapPixel(mask, x, y, m ? 0 : 1);
          else if (m) WriteBitMapPixel(mask, x, y, 0);
          if (m) Byte(alpha, x, y) = uint8_t(intensity == -1 ? 255 : intensity);
        } else if (rq.alpha) {
          const int a = AlphaOf(x, y, sx, sy);
          WriteBitMapPixel(mask, x, y, a == 255 ? 0 : 1);  // modes 0 and 2
          if (intensity == -1) Byte(alpha, x, y) = uint8_t(a);
          else if (a != 0) Byte(alpha, x, y) = uint8_t(intensity);
        } else {
          WriteBitMapPixel(mask, x, y, 0);
          Byte(alpha, x, y) = uint8_t(intensity == -1 ? 255 : intensity);
        }
      }
  }
};

// Copies of a bitmap and a plane, for the reference to draw into.
vkBitMapPtr Copy(const vkBitMap* b) {
  vkBitMapPtr c(AllocArgbBitMap(b->width, b->height));
  std::memcpy(c->pixels, b->pixels, size_t(b->bytesPerRow) * size_t(b->height));
  return c;
}
vkPlanePtr CopyPlane(const vkPlane* p) {
  vkPlanePtr c(AllocMaskPlane(1, 1, true));
  c->data = static_cast<uint8_t*>(std::realloc(c->data, size_t(p->bytesPerRow) * size_t(p->height)));
  std::memcpy(c->data, p->data, size_t(p->bytesPerRow) * size_t(p->height));
  c->width = p->width, c->height = p->height, c->bytesPerRow = p->bytesPerRow;
  return c;
}
bool SameBits(const vkBitMap* a, const vkBitMap* b) {
  return std::memcmp(a->pixels, b->pixels, size_t(a->bytesPerRow) * size_t(a->height)) == 0;
}
bool SamePlane(const vkPlane* a, const vkPlane* b) {
  return std::memcmp(a->data, b->data, size_t(a->bytesPerRow) * size_t(a->height)) == 0;
}

enum Destination { kGiven, kBackground, kPlanesOnly };
enum Clip { kNoClip, kBoxClip, kShapedClip, kShapedIgnored };

TEST(SafeBlt, DestinationsFlagsPlanesAndClipsAgainstTheReference) {
  struct Geometry {
    int32_t sx, sy, dx, dy, w, h;
  };
  const Geometry geometries[] = {{3, 2, -4, 6, 22, 14}, {0, 0, 10, 8, 30, 30}, {5, 5, 2, 2, 3, 3}};
  for (Destination dest : {kGiven, kBackground, kPlanesOnly})
    for (uint32_t pixelsOnly : {0u, kBlitPixelsOnly})
      for (int planes = 0; planes < 4; ++planes)
        for (Clip clipKind : {kNoClip, kBoxClip, kShapedClip, kShapedIgnored})
          for (const Geometry& g : geometries)
            for (int32_t intensity : {128, -1}) {
              if (dest == kPlanesOnly && pixelsOnly) continue;  // pixels only without pixels: nothing to see
              Scene s;
              s.gs.settings.maskMode = 2;
              s.gs.settings.alphaIntensity = intensity;
              vkBitMapPtr given = RandomBitMap(kW, kH, s.rng);
              if (dest == kPlanesOnly) {
                s.display.renderTarget = kTargetBrush;
                s.display.drawMask = s.drawMask.get(), s.display.drawAlpha = s.drawAlpha.get();
              }
              vkBlitRequest rq;
              rq.src = s.src.get(), rq.sx = g.sx, rq.sy = g.sy, rq.dx = g.dx, rq.dy = g.dy;
              rq.width = g.w, rq.height = g.h;
              rq.srcWidth = kSrcW, rq.srcHeight = kSrcH, rq.dstWidth = kW, rq.dstHeight = kH;
              rq.dst = dest == kGiven ? given.get() : nullptr;
              rq.flags = kBlitNoSprites | pixelsOnly | (dest == kBackground ? kBlitBackground : 0);
              rq.mask = planes & 1 ? s.srcMask.get() : nullptr;
              rq.alpha = planes & 2 ? s.srcAlpha.get() : nullptr;
              if (clipKind != kNoClip) rq.clip = s.Region(6, 3, 25, 17, clipKind != kBoxClip);
              if (clipKind == kShapedIgnored) rq.flags |= kBlitIgnoreClip;

              vkBitMap* into = dest == kGiven ? given.get() : dest == kBackground ? s.back.get() : nullptr;
              vkBitMapPtr wantPixels = into ? Copy(into) : nullptr;
              vkPlanePtr wantMask = CopyPlane(s.drawMask.get()), wantAlpha = CopyPlane(s.drawAlpha.get());
              const Reference ref{rq};
              if (into) ref.Pixels(wantPixels.get(), false);
              if (dest == kPlanesOnly) ref.Planes(wantMask.get(), wantAlpha.get(), 2, intensity);
              vkBitMapPtr screenBefore = Copy(s.screen.get());

              SafeBlt(s.gs, rq);
              const std::string what = "dest " + std::to_string(dest) + " flags " + std::to_string(rq.flags) +
                                       " planes " + std::to_string(planes) + " clip " + std::to_string(clipKind) +
                                       " at " + std::to_string(g.dx) + "," + std::to_string(g.dy) +
                                       " intensity " + std::to_string(intensity);
              if (into) {
                EXPECT_TRUE(SameBits(into, wantPixels.get())) << what;
              }
              EXPECT_TRUE(SamePlane(s.drawMask.get(), wantMask.get())) << what;
              EXPECT_TRUE(SamePlane(s.drawAlpha.get(), wantAlpha.get())) << what;
              EXPECT_TRUE(SameBits(s.screen.get(), screenBefore.get())) << what;  // not scaled: no mirror
              if (::testing::Test::HasFailure()) return;
            }
}

TEST(SafeBlt, ATargetWithItsOwnAlphaTakesThePixelsWholeAndTheAlphaInItsPlane) {
  Scene s;
  s.gs.settings.alphaIntensity = -1;
  s.display.drawAlpha = s.drawAlpha.get();
  vkBitMapPtr given = RandomBitMap(kW, kH, s.rng);
  vkBlitRequest rq{s.src.get(), 0, 0, given.get(), 4, 4, kSrcW, kSrcH, kSrcW, kSrcH, kW, kH, kBlitNoSprites,
                   nullptr, s.srcAlpha.get(), nullptr};
  vkBitMapPtr want = Copy(given.get());
  Reference{rq}.Pixels(want.get(), true);
  SafeBlt(s.gs, rq);
  EXPECT_TRUE(SameBits(given.get(), want.get()));
  for (int32_t y = 0; y < kSrcH; ++y)
    for (int32_t x = 0; x < kSrcW; ++x) ASSERT_EQ(Byte(s.drawAlpha.get(), 4 + x, 4 + y), Byte(s.srcAlpha.get(), x, y));
}

TEST(SafeBlt, WithoutADisplayOnlyPixelOnlyBlitsIntoABitmapBorrowTheFallback) {
  Scene s;
  s.gs.CurrentDisplay = nullptr;
  vkBitMapPtr given = RandomBitMap(kW, kH, s.rng);
  const vkBitMapPtr before = Copy(given.get());
  vkBlitRequest rq{s.src.get(), 0, 0, given.get(), 0, 0, 8, 8, kSrcW, kSrcH, kW, kH, 0, nullptr, nullptr, nullptr};
  const struct {
    uint32_t flags;
    bool fallback, draws;
  } cases[] = {{kBlitPixelsOnly, false, false}, {0, true, false}, {kBlitPixelsOnly, true, true}};
  for (const auto& c : cases) {
    if (c.fallback) {
      s.gs.fallbackDisplay = std::make_unique<vkDisplay>();
      s.gs.fallbackDisplay->renderTarget = kTargetBrush;
    }
    rq.flags = c.flags;
    testing::internal::CaptureStdout();
    SafeBlt(s.gs, rq);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.draws ? "" : "ERROR! SAFEBLT() CALLED WITH DISPLAY=NULL!\n");
    EXPECT_EQ(s.gs.CurrentDisplay, nullptr);  // given back on every path
    EXPECT_EQ(Pix(given.get(), 3, 3) == Pix(s.src.get(), 3, 3), c.draws);
    EXPECT_EQ(s.gs.blitDepth, 0);
  }
  // A negative source origin draws nothing, also when the region is ignored.
  Scene t;
  vkBitMapPtr g = Copy(before.get());
  for (uint32_t flags : {0u, kBlitIgnoreClip}) {
    vkBlitRequest neg{t.src.get(), -1, 0, g.get(), 0, 0, 8, 8, kSrcW, kSrcH, kW, kH, flags | kBlitNoSprites,
                      nullptr, nullptr, nullptr};
    SafeBlt(t.gs, neg);
    EXPECT_TRUE(SameBits(g.get(), before.get()));
  }
}

// A recomposition that draws the background and, on top, one sprite in a
// plain colour, as the layers library does.
constexpr uint32_t kSpriteColour = 0xABCDEF;
void RedrawWithSprite(vkGraphicsState&, vkDisplay* display, vkBGPic* pic, vkBitMap* dst, int32_t x, int32_t y,
                      int32_t w, int32_t h, int32_t flags) {
  if (flags != kRedrawSpritesOnly) BltBitMap(display->backBuffer, x, y, dst, x, y, w, h);
  if (flags == kRedrawNoSprites) return;
  for (const vkSpriteInstance& s : pic->sprites) {
    const int32_t x1 = std::max(x, s.x), y1 = std::max(y, s.y);
    const int32_t x2 = std::min(x + w, s.x + s.width), y2 = std::min(y + h, s.y + s.height);
    if (x2 > x1 && y2 > y1) FillBitMapRect(dst, kSpriteColour, x1, y1, x2 - x1, y2 - y1);
  }
}

TEST(SafeBlt, ABlitTouchingASpriteLeavesTheSpriteOnTop) {
  for (uint32_t background : {0u, kBlitBackground}) {
    Scene s;
    s.gs.redraw = RedrawWithSprite;
    s.pic.sprites.push_back({12, 10, 5, 4, nullptr});
    vkBitMapPtr given = RandomBitMap(kW, kH, s.rng);
    vkBlitRequest rq{s.src.get(), 0, 0, given.get(), 8, 8, 16, 12, kSrcW, kSrcH, kW, kH, background,
                     nullptr, nullptr, nullptr};
    SafeBlt(s.gs, rq);
    for (int32_t y = 8; y < 20; ++y)
      for (int32_t x = 8; x < 24; ++x) {
        const bool sprite = x >= 12 && x < 17 && y >= 10 && y < 14;
        ASSERT_EQ(Pix(given.get(), x, y), sprite ? kSpriteColour : Pix(s.src.get(), x - 8, y - 8))
            << background << " at " << x << "," << y;
        if (background && !sprite) {
          ASSERT_EQ(Pix(s.back.get(), x, y), Pix(s.src.get(), x - 8, y - 8));
        }
      }
  }
}

// The recomposition of a layered picture blits each layer through its own
// shaped region while the outer call still needs its scratch plane.
vkClipRegion* gInnerRegion = nullptr;
vkPlane* gInnerMask = nullptr;
void RedrawThroughARegion(vkGraphicsState& gs, vkDisplay* display, vkBGPic*, vkBitMap* dst, int32_t x, int32_t y,
                          int32_t w, int32_t h, int32_t) {
  vkBlitRequest layer{display->backBuffer, x, y, dst, x, y, w, h, kW, kH, kW, kH,
                      kBlitNoSprites | kBlitPixelsOnly, gInnerMask, nullptr, gInnerRegion};
  SafeBlt(gs, layer);
}

TEST(SafeBlt, NestedBlitsThroughTheLayersKeepTheOuterScratch) {
  Scene s;
  s.gs.settings.maskMode = 2;
  s.gs.redraw = RedrawThroughARegion;
  s.display.layersOn = 1;
  s.display.drawMask = s.drawMask.get();
  vkPlanePtr innerMask = RandomMask(kW, kH, s.rng);
  gInnerMask = innerMask.get();
  gInnerRegion = s.Region(0, 0, kW, kH, true);
  vkBlitRequest rq{s.src.get(), 2, 1, nullptr, 7, 5, 20, 15, kSrcW, kSrcH, kW, kH,
                   kBlitRecompose | kBlitNoSprites, s.srcMask.get(), nullptr, s.Region(5, 4, 22, 16, true)};
  vkPlanePtr want = CopyPlane(s.drawMask.get()), wantAlpha = CopyPlane(s.drawAlpha.get());
  Reference{rq}.Planes(want.get(), wantAlpha.get(), 2, 128);
  vkBitMapPtr wantScreen = Copy(s.screen.get());
  Reference{vkBlitRequest{s.back.get(), 7, 5, nullptr, 7, 5, 20, 15, kW, kH, kW, kH, 0, innerMask.get(), nullptr,
                          gInnerRegion}}
      .Pixels(wantScreen.get(), false);
  SafeBlt(s.gs, rq);
  EXPECT_TRUE(SamePlane(s.drawMask.get(), want.get()));
  EXPECT_TRUE(SameBits(s.screen.get(), wantScreen.get()));
  EXPECT_EQ(s.gs.scratch.size(), 2u);  // one scratch per depth
  EXPECT_EQ(s.gs.blitDepth, 0);
}

TEST(SafeBlt, ARegionLargerThanItsDestinationStopsAtTheDestination) {
  Scene s;
  // The region was set on a larger target; the destination is smaller now.
  vkClipRegion* r = s.Region(4, 4, 36, 26, true);
  vkBitMapPtr small = RandomBitMap(20, 15, s.rng);
  vkBitMapPtr want = Copy(small.get());
  vkBlitRequest rq{s.src.get(), 0, 0, small.get(), 0, 0, kSrcW, kSrcH, kSrcW, kSrcH, kW, kH, kBlitNoSprites,
                   s.srcMask.get(), nullptr, r};
  Reference{rq}.Pixels(want.get(), false);
  SafeBlt(s.gs, rq);
  EXPECT_TRUE(SameBits(small.get(), want.get()));
}

}  // namespace
