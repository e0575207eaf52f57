// Coverage images rendered by OpenCV's drawing calls on a cv::Mat header
// over our own zeroed buffer. OpenCV asserts (throws) where its arguments
// are out of range, so thicknesses are checked before every call, and shapes
// whose coordinates run far beyond any image are first cut to a frame a
// little larger than the image, where cutting changes no pixel inside.
#include "pixel/rastercontext.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "base/errorcodes.h"
#include "pixel/allocate.h"

struct vkRasterContext {
  vkBufferPtr<uint8_t> bytes;
  cv::Mat image;
};

void vkRasterContextDeleter::operator()(vkRasterContext* context) const { delete context; }

namespace {

constexpr int32_t kMaxThickness = 255;
// Coordinates beyond this are cut before OpenCV sees them.
constexpr int64_t kFarCoordinate = int64_t(1) << 24;

enum class Outcome { kDrawn, kOutOfMemory };

// Runs one OpenCV call; any failure inside it leaves the image as it was
// (OpenCV draws into it only after its checks) and counts as out of memory,
// which is the only way a call with checked arguments can fail.
template <typename Fn>
int32_t Guarded(Fn&& fn) {
  try {
    fn();
    return 0;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  } catch (const cv::Exception&) {
    return kErrOutOfMemory;
  }
}

bool IsFar(int64_t v) { return v > kFarCoordinate || v < -kFarCoordinate; }

// The frame beyond which nothing of a shape of [thickness] can show.
struct Frame {
  double x1, y1, x2, y2;
};
Frame FrameFor(const cv::Mat& m, int32_t thickness) {
  const double margin = thickness + 4.0;
  return {-margin, -margin, m.cols + margin, m.rows + margin};
}

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
std::vector<cv::Point2d> CutPolygon(std::vector<cv::Point2d> poly, const Frame& f) {
  auto side = [&](auto inside, auto cross) {
    std::vector<cv::Point2d> out;
    for (size_t i = 0; i < poly.size(); i++) {
      const cv::Point2d a = poly[i], b = poly[(i + 1) % poly.size()];
      const bool ina = inside(a), inb = inside(b);
      if (ina) out.push_back(a);
      if (ina != inb) out.push_back(cross(a, b));
    }
    poly.swap(out);
  };
  auto atX = [](double x) {
    return [x](cv::Point2d a, cv::Point2d b) { return cv::Point2d(x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)); };
  };
  auto atY = [](double y) {
    return [y](cv::Point2d a, cv::Point2d b) { return cv::Point2d(a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y); };
  };
  side([&](cv::Point2d p) { return p.x >= f.x1; }, atX(f.x1));
  side([&](cv::Point2d p) { return p.x <= f.x2; }, atX(f.x2));
  side([&](cv::Point2d p) { return p.y >= f.y1; }, atY(f.y1));
  side([&](cv::Point2d p) { return p.y <= f.y2; }, atY(f.y2));
  return poly;
}

int LineType(bool antiAliased) { return antiAliased ? cv::LINE_AA : cv::LINE_8; }

}  // namespace

int32_t CreateRasterContext(int32_t width, int32_t height, vkRasterContextPtr* image, uint8_t** coverage,
                            int32_t* stride) {
  image->reset();
  if (width < 1 || height < 1) return kErrWrongUsage;
  const int64_t rowBytes = (int64_t(width) + 3) & ~int64_t(3);
  if (rowBytes > INT32_MAX) return kErrOutOfMemory;
  vkRasterContextPtr context(new (std::nothrow) vkRasterContext);
  if (!context) return kErrOutOfMemory;
  context->bytes.reset(static_cast<uint8_t*>(AllocateArray(size_t(rowBytes), size_t(height), true)));
  if (!context->bytes) return kErrOutOfMemory;
  const int32_t status = Guarded([&] {
    context->image = cv::Mat(height, width, CV_8UC1, context->bytes.get(), size_t(rowBytes));
  });
  if (status) return status;
  *coverage = context->bytes.get();
  *stride = int32_t(rowBytes);
  *image = std::move(context);
  return 0;
}

void FreeRasterContext(vkRasterContext* image) { delete image; }

int32_t RasterizeLine(vkRasterContext* image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool antiAliased,
                      int32_t thickness) {
  if (!image || thickness < 1 || thickness > kMaxThickness) return 0;
  cv::Point a(x1, y1), b(x2, y2);
  if (IsFar(x1) || IsFar(y1) || IsFar(x2) || IsFar(y2)) {
    double ax = x1, ay = y1, bx = x2, by = y2;
    if (!CutSegment(ax, ay, bx, by, FrameFor(image->image, thickness))) return 0;
    a = cv::Point(int(std::lround(ax)), int(std::lround(ay)));
    b = cv::Point(int(std::lround(bx)), int(std::lround(by)));
  }
  return Guarded([&] { cv::line(image->image, a, b, cv::Scalar(255), thickness, LineType(antiAliased), 0); });
}

int32_t RasterizePolygon(vkRasterContext* image, const int32_t* points, int32_t count, bool antiAliased,
                         int32_t thickness) {
  if (!image || !points || count < 1 || thickness < 0 || thickness > kMaxThickness) return 0;
  return Guarded([&] {
    std::vector<cv::Point> poly;
    bool far = false;
    poly.reserve(size_t(count));
    for (int32_t i = 0; i < count; i++) {
      poly.emplace_back(points[2 * i], points[2 * i + 1]);
      far = far || IsFar(points[2 * i]) || IsFar(points[2 * i + 1]);
    }
    if (far) {
      std::vector<cv::Point2d> exact(poly.begin(), poly.end());
      exact = CutPolygon(std::move(exact), FrameFor(image->image, thickness));
      poly.clear();
      for (const cv::Point2d& p : exact) poly.emplace_back(int(std::lround(p.x)), int(std::lround(p.y)));
      if (poly.empty()) return;
    }
    const cv::Point* contour = poly.data();
    const int n = int(poly.size());
    if (thickness == 0)
      cv::fillPoly(image->image, &contour, &n, 1, cv::Scalar(255), LineType(antiAliased), 0);
    else
      cv::polylines(image->image, &contour, &n, 1, true, cv::Scalar(255), thickness, LineType(antiAliased), 0);
  });
}
