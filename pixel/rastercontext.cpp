// Coverage images rendered by OpenCV's drawing calls, over our own zeroed
// buffer. OpenCV lives in a module loaded on the first image (see
// rastermodule.h), so a run that never draws a shape never loads it. OpenCV
// asserts where its arguments are out of range, so thicknesses are checked
// before every call, and shapes whose coordinates run far beyond any image
// are first cut to a frame a little larger than the image, where cutting
// changes no pixel inside.
#include "pixel/rastercontext.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "base/errorcodes.h"
#include "pixel/allocate.h"
#include "pixel/rastermodule.h"
#include "platform/vkos_files.h"

struct vkRasterContext {
  vkBufferPtr<uint8_t> bytes;
  vkRasterTarget target;
  const vkRasterModule* module;
};

void vkRasterContextDeleter::operator()(vkRasterContext* context) const { delete context; }

namespace {

constexpr int32_t kMaxThickness = 255;
// Coordinates beyond this are cut before OpenCV sees them.
constexpr int64_t kFarCoordinate = int64_t(1) << 24;

bool IsFar(int64_t v) { return v > kFarCoordinate || v < -kFarCoordinate; }

// The frame beyond which nothing of a shape of [thickness] can show.
struct Frame {
  double x1, y1, x2, y2;
};
Frame FrameFor(const vkRasterTarget& t, int32_t thickness) {
  const double margin = thickness + 4.0;
  return {-margin, -margin, t.width + margin, t.height + margin};
}

struct PointD {
  double x, y;
};

// Cuts the segment to [f] (Liang-Barsky); false when nothing is left.
bool CutSegment(double& x1, double& y1, double& x2, double& y2, const Frame& f) {
  double t0 = 0, t1 = 1;
  const double dx = x2 - x1, dy = y2 - y1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - f.x1, f.x2 - x1, y1 - f.y1, f.y2 - y1};
  for (int i = 0; i < 4; i++) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, r);
    else t1 = std::min(t1, r);
    if (t0 > t1) return false;
  }
  const double ax = x1 + t0 * dx, ay = y1 + t0 * dy;
  x2 = x1 + t1 * dx, y2 = y1 + t1 * dy;
  x1 = ax, y1 = ay;
  return true;
}

// Cuts a polygon to [f] (Sutherland-Hodgman, one frame side at a time).
std::vector<PointD> CutPolygon(std::vector<PointD> poly, const Frame& f) {
  auto side = [&](auto inside, auto cross) {
    std::vector<PointD> out;
    for (size_t i = 0; i < poly.size(); i++) {
      const PointD a = poly[i], b = poly[(i + 1) % poly.size()];
      const bool ina = inside(a), inb = inside(b);
      if (ina) out.push_back(a);
      if (ina != inb) out.push_back(cross(a, b));
    }
    poly.swap(out);
  };
  auto atX = [](double x) {
    return [x](PointD a, PointD b) { return PointD{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)}; };
  };
  auto atY = [](double y) {
    return [y](PointD a, PointD b) { return PointD{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y}; };
  };
  side([&](PointD p) { return p.x >= f.x1; }, atX(f.x1));
  side([&](PointD p) { return p.x <= f.x2; }, atX(f.x2));
  side([&](PointD p) { return p.y >= f.y1; }, atY(f.y1));
  side([&](PointD p) { return p.y <= f.y2; }, atY(f.y2));
  return poly;
}

// The renderer's module, loaded once: from beside the running executable,
// else from where the build put it. Null when it cannot be loaded or is of
// another version.
const vkRasterModule* LoadModule() {
  static const vkRasterModule* const module = [] () -> const vkRasterModule* {
    std::vector<std::string> places;
    char exe[4096];
    if (vkosGetExecutablePath(exe, sizeof exe) == 0) {
      std::string dir(exe);
      const size_t slash = dir.rfind('/');
      if (slash != std::string::npos) places.push_back(dir.substr(0, slash + 1) + VK_RASTER_MODULE_NAME);
    }
    places.emplace_back(VK_RASTER_MODULE_PATH);
    for (const std::string& place : places) {
      void* handle = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) continue;
      auto table = reinterpret_cast<vkRasterModuleTableFn>(dlsym(handle, kRasterModuleEntry));
      const vkRasterModule* found = table ? table() : nullptr;
      if (found && found->version == kRasterModuleVersion) return found;  // kept loaded for the process
      dlclose(handle);
    }
    return nullptr;
  }();
  return module;
}

int32_t Drawn(int32_t status) { return status == 0 ? 0 : kErrOutOfMemory; }

}  // namespace

int32_t CreateRasterContext(int32_t width, int32_t height, vkRasterContextPtr* image, uint8_t** coverage,
                            int32_t* stride) {
  image->reset();
  if (width < 1 || height < 1) return kErrWrongUsage;
  const int64_t rowBytes = (int64_t(width) + 3) & ~int64_t(3);
  if (rowBytes > INT32_MAX) return kErrOutOfMemory;
  const vkRasterModule* module = LoadModule();
  if (!module) return kErrOutOfMemory;
  vkRasterContextPtr context(new (std::nothrow) vkRasterContext);
  if (!context) return kErrOutOfMemory;
  context->bytes.reset(static_cast<uint8_t*>(AllocateArray(size_t(rowBytes), size_t(height), true)));
  if (!context->bytes) return kErrOutOfMemory;
  context->target = vkRasterTarget{context->bytes.get(), width, height, int32_t(rowBytes)};
  context->module = module;
  *coverage = context->bytes.get();
  *stride = int32_t(rowBytes);
  *image = std::move(context);
  return 0;
}

void FreeRasterContext(vkRasterContext* image) { delete image; }

int32_t RasterizeLine(vkRasterContext* image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool antiAliased,
                      int32_t thickness) {
  if (!image || thickness < 1 || thickness > kMaxThickness) return 0;
  if (IsFar(x1) || IsFar(y1) || IsFar(x2) || IsFar(y2)) {
    double ax = x1, ay = y1, bx = x2, by = y2;
    if (!CutSegment(ax, ay, bx, by, FrameFor(image->target, thickness))) return 0;
    x1 = int32_t(std::lround(ax)), y1 = int32_t(std::lround(ay));
    x2 = int32_t(std::lround(bx)), y2 = int32_t(std::lround(by));
  }
  return Drawn(image->module->line(&image->target, x1, y1, x2, y2, antiAliased, thickness));
}

int32_t RasterizePolygon(vkRasterContext* image, const int32_t* points, int32_t count, bool antiAliased,
                         int32_t thickness) {
  if (!image || !points || count < 1 || thickness < 0 || thickness > kMaxThickness) return 0;
  bool far = false;
  for (int32_t i = 0; i < 2 * count; i++) far = far || IsFar(points[i]);
  if (!far) return Drawn(image->module->polygon(&image->target, points, count, antiAliased, thickness));
  std::vector<int32_t> cut;
  try {
    std::vector<PointD> exact;
    exact.reserve(size_t(count));
    for (int32_t i = 0; i < count; i++) exact.push_back(PointD{double(points[2 * i]), double(points[2 * i + 1])});
    exact = CutPolygon(std::move(exact), FrameFor(image->target, thickness));
    if (exact.empty()) return 0;
    cut.reserve(exact.size() * 2);
    for (const PointD& p : exact) cut.insert(cut.end(), {int32_t(std::lround(p.x)), int32_t(std::lround(p.y))});
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return Drawn(image->module->polygon(&image->target, cut.data(), int32_t(cut.size() / 2), antiAliased, thickness));
}
