// Vector drawing on a 1920 x 1080 output (a display record without a window,
// layers off), seeded: 1,000 each of anti-aliased filled circles, rounded
// boxes, simple polygons (5 to 20 points) and lines (2 to 16 thick, 50 to
// 400 long), opaque and half transparent, beside pixman compositing the same
// outlines as triangles through an 8-bit coverage mask into the same pixels.
// The changed-pixel counts of both are printed before timing. Then the
// direct paths: one-pixel lines (256 and 1920 long at 0, 90 and 30 degrees)
// and plain opaque boxes (64 x 64 to the full screen) beside the pixel core
// writing the same pixels (DrawBitMapLine, FillBitMapRect).
#include <benchmark/benchmark.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <string>
#include <random>
#include <vector>

#include "engine/state.h"
#include "engine/vmapi.h"
#include "graphics/displays.h"
#include "graphics/drawlib.h"
#include "graphics/graphicsstate.h"
#include "graphics/shapes.h"
#include "pixel/blit.h"

#if defined(VK_HAVE_PIXMAN)
#include <pixman.h>
#endif

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kShapes = 1000;
constexpr uint32_t kGround = 0x102030;

enum Kind { kCircles, kRoundBoxes, kPolygons, kLines };

// One shape of the seeded set: its outline (closed, in output pixels) for
// the peer, and what our commands are given.
struct Shape {
  vkShapeRequest rq;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0, thickness = 0;  // lines
  std::vector<vkPoint> outline;                            // the peer's polygon
  double cx = 0, cy = 0;                                   // a point it is star-shaped about
};

struct Scene {
  vkState* L = nullptr;
  vkDisplay display;
  vkBGPic picture;
  vkBitMapPtr back, screen;
  Scene() {
    L = vmNewState();
    vmPushValue(L, VK_GLOBALSINDEX);
    OpenDrawLibrary(L);
    vmSetTop(L, 0);
    back.reset(AllocArgbBitMap(kWidth, kHeight));
    screen.reset(AllocArgbBitMap(kWidth, kHeight));
    picture.width = picture.scaledWidth = kWidth;
    picture.height = picture.scaledHeight = kHeight;
    picture.bitmap = back.get();
    display.bgpic = &picture;
    display.width = kWidth, display.height = kHeight;
    display.backBuffer = back.get();
    display.screenBuffer = screen.get();
    vkGraphicsState& gs = GraphicsState(L);
    gs.DisplayList.emplace_back(&display);
    gs.CurrentDisplay = &display;
    gs.CurrentBGPic = &picture;
    DrawLib(gs).state.fillStyle = FILLCOLOR;
  }
  ~Scene() {
    vkGraphicsState& gs = GraphicsState(L);
    for (vkDisplayPtr& d : gs.DisplayList) (void)d.release();
    gs.DisplayList.clear();
    gs.CurrentDisplay = nullptr, gs.CurrentBGPic = nullptr;
    vmCloseState(L);
  }
  void Clear() { FillBitMapRect(back.get(), kGround, 0, 0, kWidth, kHeight); }
  vkDrawLib& lib() { return DrawLib(GraphicsState(L)); }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

std::vector<Shape> MakeShapes(Kind kind, uint32_t colour) {
  std::mt19937 rng(kind * 7919u + 1);
  auto uni = [&](int lo, int hi) { return lo + int(rng() % uint32_t(hi - lo + 1)); };
  vkDrawLib& lib = TheScene().lib();
  std::vector<Shape> out(kShapes);
  for (Shape& s : out) {
    s.rq.color = colour;
    switch (kind) {
      case kCircles: {
        const int r = uni(5, 60);
        s.rq.type = kShapeCircle, s.rq.rx = s.rq.ry = r, s.rq.width = s.rq.height = 2 * r + 1;
        s.rq.x = uni(0, kWidth - 2 * r - 1), s.rq.y = uni(0, kHeight - 2 * r - 1);
        break;
      }
      case kRoundBoxes:
        s.rq.type = kShapeBox, s.rq.width = uni(10, 200), s.rq.height = uni(10, 200), s.rq.roundlevel = uni(10, 60);
        s.rq.x = uni(0, kWidth - s.rq.width), s.rq.y = uni(0, kHeight - s.rq.height);
        break;
      case kPolygons: {
        // Star-shaped about its centre: angles in order, radii at random.
        const int n = uni(5, 20);
        const double cx = uni(100, kWidth - 101), cy = uni(100, kHeight - 101);
        std::vector<double> angles(size_t(n), 0);
        for (double& a : angles) a = (rng() % 36000) / 36000.0 * 2 * M_PI;
        std::sort(angles.begin(), angles.end());
        double minX = 1e9, minY = 1e9;
        std::vector<vkPoint> pts;
        for (double a : angles) {
          const double r = uni(20, 100);
          pts.push_back({std::round(cx + r * std::cos(a)), std::round(cy + r * std::sin(a))});
          minX = std::min(minX, pts.back().x), minY = std::min(minY, pts.back().y);
        }
        pts.push_back(pts.front());
        double maxX = 0, maxY = 0;
        for (vkPoint& p : pts) p.x -= minX, p.y -= minY, maxX = std::max(maxX, p.x), maxY = std::max(maxY, p.y);
        s.rq.type = kShapePolygon, s.rq.points = pts;
        s.rq.x = int32_t(minX), s.rq.y = int32_t(minY);
        s.rq.width = int32_t(maxX) + 1, s.rq.height = int32_t(maxY) + 1;
        s.cx = cx, s.cy = cy;
        break;
      }
      case kLines: {
        const double len = uni(50, 400), a = (rng() % 36000) / 36000.0 * 2 * M_PI;
        s.x1 = uni(0, kWidth - 1), s.y1 = uni(0, kHeight - 1);
        s.x2 = int32_t(std::lround(s.x1 + len * std::cos(a))), s.y2 = int32_t(std::lround(s.y1 + len * std::sin(a)));
        s.thickness = uni(2, 16);
        break;
      }
    }
    if (kind == kLines) continue;
    // The peer's outline: our own path, placed, about a point inside.
    if (kind != kPolygons) {
      BuildShapePath(lib, s.rq, s.rq.width, s.rq.height, nullptr, 0, 0, nullptr, s.outline);
      s.cx = s.rq.x + s.rq.width / 2, s.cy = s.rq.y + s.rq.height / 2;
    } else {
      s.outline = s.rq.points;
    }
    for (vkPoint& p : s.outline) p.x += s.rq.x, p.y += s.rq.y;
  }
  return out;
}

void DrawOurs(Scene& scene, std::vector<Shape>& shapes, Kind kind) {
  vkDrawState& ds = scene.lib().state;
  for (Shape& s : shapes) {
    if (kind == kLines) {
      RenderLine(scene.L, s.x1, s.y1, s.x2, s.y2, s.rq.color, s.thickness, ds, s.rq.transform, s.rq.options, nullptr,
                 -1, 0);
    } else {
      s.rq.drawState = &ds;
      if (kind == kRoundBoxes) RenderBox(scene.L, s.rq, 0);
      else RenderShape(scene.L, s.rq, 0);
    }
  }
}

#if defined(VK_HAVE_PIXMAN)
pixman_fixed_t Fixed(double v) { return pixman_double_to_fixed(v + 0.5); }  // pixel centres

// The triangles of a star-shaped outline, fanned from (cx, cy).
void AddFan(std::vector<pixman_triangle_t>& tris, const std::vector<vkPoint>& pts, double cx, double cy) {
  for (size_t i = 0; i + 1 < pts.size(); i++)
    tris.push_back({{Fixed(cx), Fixed(cy)}, {Fixed(pts[i].x), Fixed(pts[i].y)}, {Fixed(pts[i + 1].x), Fixed(pts[i + 1].y)}});
}

// A thick line with round caps as triangles. Our rasterizer's line of
// thickness t spans t + 1 pixel centres across (both boundary pixels
// count), so the peer's is that wide too.
void AddLine(std::vector<pixman_triangle_t>& tris, const Shape& s) {
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1, len = std::hypot(dx, dy), h = (s.thickness + 1) / 2.0;
  const double nx = -dy / len * h, ny = dx / len * h;
  const std::vector<vkPoint> quad = {{s.x1 + nx, s.y1 + ny}, {s.x2 + nx, s.y2 + ny}, {s.x2 - nx, s.y2 - ny},
                                     {s.x1 - nx, s.y1 - ny}, {s.x1 + nx, s.y1 + ny}};
  AddFan(tris, quad, (s.x1 + s.x2) / 2.0, (s.y1 + s.y2) / 2.0);
  for (const auto& [ex, ey] : {std::pair<double, double>{double(s.x1), double(s.y1)}, {double(s.x2), double(s.y2)}}) {
    std::vector<vkPoint> cap;
    for (int k = 0; k <= 16; k++) cap.push_back({ex + h * std::cos(k * M_PI / 8), ey + h * std::sin(k * M_PI / 8)});
    AddFan(tris, cap, ex, ey);
  }
}

struct Peer {
  pixman_image_t* dst = nullptr;
  std::vector<std::vector<pixman_triangle_t>> tris;
  std::vector<pixman_image_t*> fills;
  Peer(Scene& scene, const std::vector<Shape>& shapes, Kind kind) {
    vkBitMap* b = scene.back.get();
    dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, b->width, b->height, reinterpret_cast<uint32_t*>(b->pixels),
                                   b->bytesPerRow);
    for (const Shape& s : shapes) {
      std::vector<pixman_triangle_t> t;
      if (kind == kLines) AddLine(t, s);
      else AddFan(t, s.outline, s.cx, s.cy);
      tris.push_back(std::move(t));
      const uint32_t c = s.rq.color;
      const uint16_t a = uint16_t((255 - (c >> 24)) * 257);
      auto premul = [&](uint32_t v) { return uint16_t(((v & 255) * 257) * a / 65535); };
      const pixman_color_t colour{premul(c >> 16), premul(c >> 8), premul(c), a};
      fills.push_back(pixman_image_create_solid_fill(&colour));
    }
  }
  ~Peer() {
    for (pixman_image_t* f : fills) pixman_image_unref(f);
    pixman_image_unref(dst);
  }
  void Draw() {
    for (size_t i = 0; i < tris.size(); i++)
      pixman_composite_triangles(PIXMAN_OP_OVER, fills[i], dst, PIXMAN_a8, 0, 0, 0, 0, int(tris[i].size()),
                                 tris[i].data());
  }
};
#endif

int64_t Changed(Scene& scene) {
  int64_t n = 0;
  const vkBitMap* b = scene.back.get();
  for (int32_t y = 0; y < b->height; y++) {
    const auto* row = reinterpret_cast<const uint32_t*>(b->pixels + size_t(y) * size_t(b->bytesPerRow));
    for (int32_t x = 0; x < b->width; x++) n += (row[x] & 0xFFFFFF) != kGround;
  }
  return n;
}

const char* kKindNames[] = {"circles", "roundboxes", "polygons", "lines"};

void BM_Draw(benchmark::State& state) {
  const Kind kind = Kind(state.range(0));
  const uint32_t colour = state.range(1) ? 0x80FFC040 : 0x00FFC040;
  Scene& scene = TheScene();
  scene.lib().state.formStyle = kFormNormal | kFormAntialias;
  std::vector<Shape> shapes = MakeShapes(kind, colour);
  scene.Clear();
  DrawOurs(scene, shapes, kind);
  state.counters["changed"] = double(Changed(scene));
  for (auto _ : state) DrawOurs(scene, shapes, kind);
  state.SetLabel(std::string(kKindNames[kind]) + (state.range(1) ? " half transparent" : " opaque"));
  state.SetItemsProcessed(state.iterations() * kShapes);
}

#if defined(VK_HAVE_PIXMAN)
void BM_DrawPixman(benchmark::State& state) {
  const Kind kind = Kind(state.range(0));
  const uint32_t colour = state.range(1) ? 0x80FFC040 : 0x00FFC040;
  Scene& scene = TheScene();
  std::vector<Shape> shapes = MakeShapes(kind, colour);
  Peer peer(scene, shapes, kind);
  scene.Clear();
  peer.Draw();
  const double theirs = double(Changed(scene));
  scene.lib().state.formStyle = kFormNormal | kFormAntialias;
  scene.Clear();
  DrawOurs(scene, shapes, kind);
  const double ours = double(Changed(scene));
  state.counters["changed"] = theirs;
  state.counters["ours/theirs"] = ours / theirs;
  for (auto _ : state) peer.Draw();
  state.SetLabel(std::string("pixman ") + kKindNames[kind] + (state.range(1) ? " half transparent" : " opaque"));
  state.SetItemsProcessed(state.iterations() * kShapes);
}
#endif

// The direct paths: one-pixel lines and plain boxes.
struct LineCase {
  int32_t x1, y1, x2, y2;
};
LineCase LineOf(int64_t length, int64_t angle) {
  const double a = double(angle) * M_PI / 180;
  const int32_t x1 = 0, y1 = angle == 90 ? 0 : 500;
  return {x1, y1, int32_t(std::lround(x1 + (length - 1) * std::cos(a))),
          int32_t(std::lround(y1 + (length - 1) * std::sin(a)))};
}

void BM_FastLine(benchmark::State& state) {
  Scene& scene = TheScene();
  scene.lib().state.formStyle = kFormNormal;
  const LineCase c = LineOf(state.range(0), state.range(1));
  const vkTransform t;
  const vkLayerOptions o;
  for (auto _ : state)
    RenderLine(scene.L, c.x1, c.y1, c.x2, c.y2, 0xFFFFFF, 1, scene.lib().state, t, o, nullptr, -1, 0);
}

void BM_FastLineCore(benchmark::State& state) {
  Scene& scene = TheScene();
  const LineCase c = LineOf(state.range(0), state.range(1));
  for (auto _ : state) DrawBitMapLine(scene.back.get(), c.x1, c.y1, c.x2, c.y2, 0xFFFFFF);
}

void BM_FastBox(benchmark::State& state) {
  Scene& scene = TheScene();
  scene.lib().state = vkDrawState{};
  scene.lib().state.fillStyle = FILLCOLOR;
  const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
  for (auto _ : state) {
    vkShapeRequest rq;
    rq.type = kShapeBox, rq.width = w, rq.height = h, rq.color = 0x336699;
    rq.drawState = &scene.lib().state;
    RenderBox(scene.L, rq, 0);
  }
  state.SetBytesProcessed(state.iterations() * int64_t(w) * h * 4);
}

void BM_FastBoxCore(benchmark::State& state) {
  Scene& scene = TheScene();
  const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
  for (auto _ : state) FillBitMapRect(scene.back.get(), 0x336699, 0, 0, w, h);
  state.SetBytesProcessed(state.iterations() * int64_t(w) * h * 4);
}

void ShapeArgs(benchmark::internal::Benchmark* b) {
  for (int kind = 0; kind < 4; kind++)
    for (int half = 0; half < 2; half++) b->Args({kind, half});
  b->Unit(benchmark::kMillisecond);
}
void LineArgs(benchmark::internal::Benchmark* b) {
  for (int length : {256, 1920})
    for (int angle : {0, 90, 30})
      if (!(angle == 90 && length > kHeight)) b->Args({length, angle});
  b->Args({1080, 90});
}
void BoxArgs(benchmark::internal::Benchmark* b) {
  b->Args({64, 64})->Args({256, 256})->Args({1024, 768})->Args({kWidth, kHeight});
}

}  // namespace

BENCHMARK(BM_Draw)->Apply(ShapeArgs);
#if defined(VK_HAVE_PIXMAN)
BENCHMARK(BM_DrawPixman)->Apply(ShapeArgs);
#endif
BENCHMARK(BM_FastLine)->Apply(LineArgs);
BENCHMARK(BM_FastLineCore)->Apply(LineArgs);
BENCHMARK(BM_FastBox)->Apply(BoxArgs);
BENCHMARK(BM_FastBoxCore)->Apply(BoxArgs);
