// Shape paths: the draw style's ranges, the angle tables, arcs sampled from
// them, the closed outlines of boxes, rounded boxes, curves, pies and
// polygons, the mitred outline of an edge, point tables read from scripts,
// transformed point lists and segments cut to a range.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/vmapi.h"
#include "graphics/shapes.h"

namespace {

constexpr double kDegree = 0.017453292519943295;
constexpr int32_t kMaxVertices = 999;

// Floors a value in 16.16 fixed point (rounded to the nearest unit) to a
// whole pixel; values beyond any target are held at a bound.
double FixedFloor(double v) {
  const double f = std::nearbyint(v * 65536.0);
  if (!(f > -9.0e15)) return -1.0e11;
  if (f > 9.0e15) return 1.0e11;
  return double(int64_t(f) >> 16);
}

// Brings [v] into 0..359.
int64_t Mod360(int64_t v) { return ((v % 360) + 360) % 360; }

}  // namespace

void ClampFormStyle(vkDrawState* s) {
  if (s->outlineThickness < 1) s->outlineThickness = 1;
  s->edgeSize = std::clamp(s->edgeSize, 1, 64);
  s->shadowSize = std::clamp(s->shadowSize, 1, 64);
  if (uint32_t(s->shadowDir) > 7) s->shadowDir = 3;
  if (uint32_t(s->fillStyle) > 3) s->fillStyle = FILLNONE;
}

vkDrawLib& DrawLib(vkGraphicsState& gs) {
  if (!gs.draw) {
    auto lib = std::make_shared<vkDrawLib>();
    for (int32_t k = 360; k >= 0; k--) {
      lib->cosTable[size_t(k)] = std::cos(k * kDegree);
      lib->sinTable[size_t(k)] = std::sin((360 - k) * kDegree);
    }
    for (auto* v : {&lib->mainPath, &lib->edgePath, &lib->scratch}) v->reserve(1001);
    gs.draw = std::move(lib);
  }
  return *gs.draw;
}

int32_t CurveStep(int32_t r) {
  if (r <= 2) return 90;
  if (r <= 9) return 30;
  if (r <= 14) return 18;
  return 5;
}

int32_t GenerateArcPoints(const vkDrawLib& lib, double cx, double cy, double rx, double ry, const double* m,
                          double ax, double ay, int32_t start32, int32_t end32, int32_t step, bool centre,
                          std::array<double, 4>* bounds, std::vector<vkPoint>& out) {
  int64_t start = start32, end = end32;
  if (start > end) std::swap(start, end);
  if (end - start > 360) {
    start = 0, end = 360;
  } else {
    const int64_t shift = start - Mod360(start);
    start -= shift, end -= shift;
  }
  step = std::max(step, 1);
  // Mapping about the anchor instead of the centre moves every point by
  // (I - M)(anchor - centre).
  double offX = 0, offY = 0;
  if (m) {
    const double dx = ax - cx, dy = ay - cy;
    offX = dx - (m[0] * dx + m[2] * dy);
    offY = dy - (m[1] * dx + m[3] * dy);
  }
  auto at = [&](int64_t angle) {
    const size_t k = size_t(Mod360(angle));
    double vx = rx * lib.cosTable[k], vy = ry * lib.sinTable[k];
    if (m) {
      const double x = m[0] * vx + m[2] * vy, y = m[1] * vx + m[3] * vy;
      vx = x, vy = y;
    }
    return vkPoint{FixedFloor(cx + vx + offX), FixedFloor(cy + vy + offY)};
  };
  if (bounds) {
    std::array<double, 4> b{100000, 100000, -100000, -100000};
    for (int64_t k = 0; k < 360 + step; k += step) {
      const vkPoint p = at(std::min<int64_t>(k, 360));
      b[0] = std::min(b[0], p.x), b[1] = std::min(b[1], p.y);
      b[2] = std::max(b[2], p.x), b[3] = std::max(b[3], p.y);
    }
    *bounds = b;
  }
  const size_t first = out.size();
  for (int64_t k = start; k < end + step; k += step) {
    const vkPoint p = at(std::min(k, end));
    if (out.size() > first && out.back().x == p.x && out.back().y == p.y) continue;
    out.push_back(p);
  }
  if (centre && end - start < 360) out.push_back({FixedFloor(cx + offX), FixedFloor(cy + offY)});
  while (out.size() - first < 2) out.push_back(out.back());
  return int32_t(out.size() - first);
}

namespace {

void ClosePath(std::vector<vkPoint>& out) {
  if (!out.empty() && (out.back().x != out.front().x || out.back().y != out.front().y)) out.push_back(out.front());
}

}  // namespace

int32_t BuildShapePath(const vkDrawLib& lib, const vkShapeRequest& rq, int32_t w, int32_t h, const double* m,
                       double ax, double ay, std::array<double, 4>* bounds, std::vector<vkPoint>& out) {
  out.clear();
  switch (rq.type) {
    case kShapeBox: {
      if (rq.roundlevel == 0) {
        out = {{0, 0}, {double(w) - 1, 0}, {double(w) - 1, double(h) - 1}, {0, double(h) - 1}, {0, 0}};
        break;
      }
      const double f = rq.roundlevel > 0 ? std::min(rq.roundlevel, 100) / 100.0 : 0.01;
      const int32_t r = int32_t(double(std::min(w, h) / 2) * f);
      const int32_t step = CurveStep(r);
      const double right = double(w) - 1 - r, bottom = double(h) - 1 - r;
      const struct {
        double cx, cy;
        int32_t from, to;
      } corners[4] = {{double(r), double(r), 90, 180},
                      {double(r), bottom, 180, 270},
                      {right, bottom, 270, 360},
                      {right, double(r), 0, 90}};
      for (const auto& c : corners)
        GenerateArcPoints(lib, c.cx, c.cy, r, r, m, ax, ay, c.from, c.to, step, false, nullptr, out);
      if (bounds) {
        std::array<double, 4> b{1e300, 1e300, -1e300, -1e300};
        for (const vkPoint& p : out)
          b = {std::min(b[0], p.x), std::min(b[1], p.y), std::max(b[2], p.x), std::max(b[3], p.y)};
        *bounds = b;
      }
      ClosePath(out);
      break;
    }
    case kShapeCircle:
    case kShapeEllipse:
    case kShapeArc: {
      const int32_t rx = w / 2, ry = h / 2;
      const int32_t step = CurveStep(std::min(rx, ry));
      if (rq.type == kShapeArc) {
        // Script angles grow clockwise on screen; the sampler's grow the
        // other way, so the pie runs from -a to -b.
        int64_t a = rq.start, b = rq.end;
        if (rq.clockwise) {
          if (b < a) b += (a - b + 359) / 360 * 360;
        } else if (a < b) {
          a += (b - a + 359) / 360 * 360;
        }
        const int64_t span = std::min<int64_t>(std::llabs(b - a), 361);
        const int64_t from = -Mod360(a), to = from - span;
        GenerateArcPoints(lib, rx, ry, rx, ry, m, ax, ay, int32_t(from), int32_t(to), step, true, bounds, out);
      } else {
        GenerateArcPoints(lib, rx, ry, rx, ry, m, ax, ay, 0, 360, step, false, bounds, out);
      }
      ClosePath(out);
      break;
    }
    case kShapePolygon:
      out = rq.points;
      break;
    default:
      return 0;
  }
  return int32_t(out.size());
}

void OffsetPolygon(const std::vector<vkPoint>& in, double e, std::vector<vkPoint>& out) {
  out.clear();
  std::vector<vkPoint> v;
  for (const vkPoint& p : in)
    if (v.empty() || p.x != v.back().x || p.y != v.back().y) v.push_back(p);
  while (v.size() > 1 && v.back().x == v.front().x && v.back().y == v.front().y) v.pop_back();

  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  if (!in.empty()) {
    minX = maxX = std::nearbyint(in[0].x), minY = maxY = std::nearbyint(in[0].y);
    for (const vkPoint& p : in) {
      minX = std::min(minX, std::nearbyint(p.x)), maxX = std::max(maxX, std::nearbyint(p.x));
      minY = std::min(minY, std::nearbyint(p.y)), maxY = std::max(maxY, std::nearbyint(p.y));
    }
  }
  auto box = [&] {
    out = {{minX - e, minY - e}, {maxX + e, minY - e}, {maxX + e, maxY + e}, {minX - e, maxY + e}, {minX - e, minY - e}};
  };
  const size_t n = v.size();
  if (n < 3) return box();
  double area = 0;
  for (size_t i = 0; i < n; i++) area += v[i].x * v[(i + 1) % n].y - v[(i + 1) % n].x * v[i].y;
  const double side = area >= 0 ? 1.0 : -1.0;
  for (size_t i = 0; i < n; i++) {
    const vkPoint& p = v[(i + n - 1) % n];
    const vkPoint& c = v[i];
    const vkPoint& q = v[(i + 1) % n];
    double ux = c.x - p.x, uy = c.y - p.y, wx = c.x - q.x, wy = c.y - q.y;
    const double lu = std::hypot(ux, uy), lw = std::hypot(wx, wy);
    ux /= lu, uy /= lu, wx /= lw, wy /= lw;
    if (std::fabs(ux * wy - uy * wx) < 0.001) return box();
    // Outward normals of the side into the vertex and of the side out of
    // it; the mitre point lies e along both.
    const double n1x = side * uy, n1y = -side * ux;
    const double n2x = -side * wy, n2y = side * wx;
    const double k = e / (1.0 + n1x * n2x + n1y * n2y);
    out.push_back({c.x + (n1x + n2x) * k, c.y + (n1y + n2y) * k});
  }
  out.push_back(out.front());
}

int32_t ReadVertexTable(vkState* L, int index, int32_t count, std::vector<vkPoint>* points, int32_t* width,
                        int32_t* height, int32_t* minX, int32_t* minY) {
  std::vector<vkPoint>& pts = *points;
  pts.clear();
  try {
    pts.reserve(size_t(kMaxVertices) + 2);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetErrorText("polygon");
  double smallX = 0, smallY = 0;
  int64_t ix1 = 0, iy1 = 0, ix2 = 0, iy2 = 0;
  for (int32_t i = 0; count == 0 || i < count; i++) {
    double xy[2];
    for (int k = 0; k < 2; k++) {
      vmRawGetI(L, index, 2 * i + k);
      const int type = vmType(L, -1);
      xy[k] = vmToNumber(L, -1);
      vmSetTop(L, -2);
      if (type == VK_TNIL && count == 0 && k == 0) goto done;
      if (type != VK_TNUMBER) {
        pts.clear();
        return kErrNumberFieldExpected;
      }
    }
    if (count == 0 && i >= kMaxVertices) {
      pts.clear();
      return kErrInternalLimit;
    }
    {
      const int64_t rx = vkDoubleToInt32(std::nearbyint(xy[0])), ry = vkDoubleToInt32(std::nearbyint(xy[1]));
      if (pts.empty()) {
        smallX = xy[0], smallY = xy[1], ix1 = ix2 = rx, iy1 = iy2 = ry;
      } else {
        smallX = std::min(smallX, xy[0]), smallY = std::min(smallY, xy[1]);
        ix1 = std::min(ix1, rx), ix2 = std::max(ix2, rx), iy1 = std::min(iy1, ry), iy2 = std::max(iy2, ry);
      }
      pts.push_back({xy[0], xy[1]});
    }
  }
done:
  if (pts.empty()) return kErrWrongUsage;
  ClosePath(pts);
  for (vkPoint& p : pts) p.x -= smallX, p.y -= smallY;
  *width = int32_t(std::min<int64_t>(ix2 - ix1 + 1, INT32_MAX));
  *height = int32_t(std::min<int64_t>(iy2 - iy1 + 1, INT32_MAX));
  *minX = int32_t(ix1), *minY = int32_t(iy1);
  return 0;
}

void TransformShapePoints(const double m[4], double ax, double ay, std::vector<vkPoint>& points, bool toOrigin,
                          int32_t* minX, int32_t* minY, int32_t* width, int32_t* height) {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  for (size_t i = 0; i < points.size(); i++) {
    vkPoint& p = points[i];
    const double dx = p.x - ax, dy = p.y - ay;
    p.x = std::trunc(ax + m[0] * dx + m[2] * dy);
    p.y = std::trunc(ay + m[1] * dx + m[3] * dy);
    if (i == 0) x1 = x2 = p.x, y1 = y2 = p.y;
    x1 = std::min(x1, p.x), x2 = std::max(x2, p.x), y1 = std::min(y1, p.y), y2 = std::max(y2, p.y);
  }
  if (toOrigin)
    for (vkPoint& p : points) p.x -= x1, p.y -= y1;
  *minX = vkDoubleToInt32(x1), *minY = vkDoubleToInt32(y1);
  *width = vkDoubleToInt32(x2 - x1 + 1), *height = vkDoubleToInt32(y2 - y1 + 1);
}

int32_t ClipSegmentToRange(double* a1, double* b1, double* a2, double* b2, double low, double high) {
  if ((*a1 < low && *a2 < low) || (*a1 > high && *a2 > high)) return 0;
  // Each end that lies outside moves onto the range, its other coordinate
  // interpolated along the original segment.
  const double oa1 = *a1, ob1 = *b1, oa2 = *a2, ob2 = *b2;
  auto cut = [&](double* a, double* b) {
    const double to = *a < low ? low : *a > high ? high : *a;
    if (to == *a) return;
    *b = std::trunc(ob1 + (ob2 - ob1) / (oa2 - oa1) * (to - oa1));
    *a = to;
  };
  cut(a1, b1);
  cut(a2, b2);
  return 1;
}
