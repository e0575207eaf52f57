// The coverage renderer's loadable module: OpenCV's drawing calls on a
// cv::Mat header over the caller's image. Its arguments arrive checked and
// cut to the image's neighbourhood; OpenCV may still throw (out of memory),
// which is caught here and reported as a failure with the image untouched.
#include "pixel/rastermodule.h"

#include <new>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

template <typename Fn>
int32_t Guarded(Fn&& fn) {
  try {
    fn();
    return 0;
  } catch (const std::bad_alloc&) {
    return 1;
  } catch (const cv::Exception&) {
    return 1;
  }
}

cv::Mat Header(const vkRasterTarget* t) { return cv::Mat(t->height, t->width, CV_8UC1, t->bytes, size_t(t->stride)); }

int LineType(int32_t antiAliased) { return antiAliased ? cv::LINE_AA : cv::LINE_8; }

int32_t Line(const vkRasterTarget* target, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t antiAliased,
             int32_t thickness) {
  return Guarded([&] {
    cv::Mat image = Header(target);
    cv::line(image, cv::Point(x1, y1), cv::Point(x2, y2), cv::Scalar(255), thickness, LineType(antiAliased), 0);
  });
}

int32_t Polygon(const vkRasterTarget* target, const int32_t* points, int32_t count, int32_t antiAliased,
                int32_t thickness) {
  return Guarded([&] {
    cv::Mat image = Header(target);
    std::vector<cv::Point> poly;
    poly.reserve(size_t(count));
    for (int32_t i = 0; i < count; i++) poly.emplace_back(points[2 * i], points[2 * i + 1]);
    const cv::Point* contour = poly.data();
    const int n = int(poly.size());
    if (thickness == 0)
      cv::fillPoly(image, &contour, &n, 1, cv::Scalar(255), LineType(antiAliased), 0);
    else
      cv::polylines(image, &contour, &n, 1, true, cv::Scalar(255), thickness, LineType(antiAliased), 0);
  });
}

const vkRasterModule kTable = {kRasterModuleVersion, Line, Polygon};

}  // namespace

extern "C" __attribute__((visibility("default"))) const vkRasterModule* vkRasterModuleTable() { return &kTable; }
