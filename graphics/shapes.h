// Vector shapes: the draw style every shape is rendered with, the angle
// tables and point buffers of the draw library, the closed paths of boxes,
// curves, arcs and polygons, and the renderers that turn shapes, lines and
// boxes into pixels of the current output or into vector layers (the record
// a vector layer keeps to be rendered again).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/argcheck.h"
#include "graphics/displayoptions.h"
#include "graphics/graphicsstate.h"
#include "graphics/outputtargets.h"

// Fill styles.
inline constexpr int32_t FILLNONE = 0;
inline constexpr int32_t FILLCOLOR = 1;
inline constexpr int32_t FILLGRADIENT = 2;
inline constexpr int32_t FILLTEXTURE = 3;

// Form-style flags.
inline constexpr int32_t kFormNormal = 1;
inline constexpr int32_t kFormAntialias = 16;
inline constexpr int32_t kFormShadow = 32;
inline constexpr int32_t kFormEdge = 64;

// Shape type codes (the object type table's).
inline constexpr int32_t kShapeBox = 14;
inline constexpr int32_t kShapeCircle = 15;
inline constexpr int32_t kShapeEllipse = 16;
inline constexpr int32_t kShapeLine = 17;
inline constexpr int32_t kShapePlot = 18;
inline constexpr int32_t kShapePolygon = 27;
inline constexpr int32_t kShapeArc = 31;

// Error codes of the draw commands.
inline constexpr int32_t kErrPixelOutOfRange = 1168;  // "Specified pixel is out of range!"
inline constexpr int32_t kErrNotWithLayers = 1271;    // "This function cannot be used with layers enabled!"

// How shapes are filled and decorated. Colours are 0xRRGGBB with a
// transparency 0..255 in the top byte.
struct vkDrawState {
  int32_t fillStyle = FILLNONE;
  int32_t formStyle = kFormNormal;
  int32_t gradientStyle = 2;
  uint32_t gradientStart = 255;
  uint32_t gradientEnd = 0;
  int32_t gradientAngle = 0;
  vkObjectId texture{};
  int32_t edgeSize = 2;
  uint32_t edgeColor = 0x0093DD;
  int32_t shadowSize = 4;
  int32_t shadowDir = 3;
  uint32_t shadowColor = 0;
  int32_t outlineThickness = 1;
  int32_t textureX = 0, textureY = 0;
};

// Brings a draw state into its ranges: outline at least 1, edge and shadow
// sizes 1..64, an unknown shadow direction south-east, an unknown fill none.
void ClampFormStyle(vkDrawState* s);

// A point of a path: whole pixel values.
struct vkPoint {
  double x = 0, y = 0;
};

// The draw library's run state: the style, the angle tables by whole degree
// (cos k and -sin k) and the reusable point buffers.
struct vkDrawLib {
  vkDrawState state;
  std::array<double, 361> cosTable{}, sinTable{};
  std::vector<vkPoint> mainPath, edgePath, scratch;
};

// The draw library of [gs], made (with its tables) when first asked for.
vkDrawLib& DrawLib(vkGraphicsState& gs);

// The angular step in degrees of a curve whose smaller radius is [r].
int32_t CurveStep(int32_t r);

// The outline of an ellipse arc about (cx, cy) from [start] to [end]
// degrees (counter-clockwise on screen) at [step], each point mapped by [m]
// (a, b, c, d; null: none) about the anchor (ax, ay) and floored to whole
// pixels, repeats skipped; with [centre] a partial arc gets its centre
// appended. With [bounds], *[bounds] receives min x, min y, max x, max y of
// the whole ellipse at that step. Appends to [out]; returns the count added.
int32_t GenerateArcPoints(const vkDrawLib& lib, double cx, double cy, double rx, double ry, const double* m,
                          double ax, double ay, int32_t start, int32_t end, int32_t step, bool centre,
                          std::array<double, 4>* bounds, std::vector<vkPoint>& out);

// What a shape command asks RenderShape for.
struct vkShapePlanes;

struct vkShapeRequest {
  int32_t type = kShapeBox;
  int32_t x = 0, y = 0;           // top-left of the bounding box; special coordinates allowed
  int32_t width = 0, height = 0;  // of the bounding box
  int32_t rx = 0, ry = 0;         // curves
  int32_t start = 0, end = 0;     // arcs, degrees
  int32_t clockwise = 1;          // arcs
  int32_t roundlevel = 0;         // boxes
  std::vector<vkPoint> points;    // polygons: closed, relative to the bounding box
  uint32_t color = 0;             // 0xRRGGBB, transparency on top
  const vkDrawState* drawState = nullptr;
  vkTransform transform;
  vkLayerOptions options;
  int32_t insertPos = -1;    // of a new layer, with kRenderAtLayer
  vkShapePlanes* out = nullptr;  // where a shape rendered again goes
};

// The closed path of a shape of width x height (origin 0, 0): boxes, rounded
// boxes, circles, ellipses, arcs (pie slices) and polygons. With a matrix
// [m] curves are mapped about (ax, ay). *[bounds] (curves) receives the whole
// ellipse's bounds. Returns the number of points (0 for an unknown type).
int32_t BuildShapePath(const vkDrawLib& lib, const vkShapeRequest& rq, int32_t width, int32_t height,
                       const double* m, double ax, double ay, std::array<double, 4>* bounds,
                       std::vector<vkPoint>& out);

// The outline of a closed polygon moved out by [e] pixels on every side
// (mitred corners); a polygon with a nearly straight corner gets the box
// around it grown by [e]. Repeated points are skipped.
void OffsetPolygon(const std::vector<vkPoint>& in, double e, std::vector<vkPoint>& out);

// Reads [count] points (0: up to the first nil, at most 999) of the table at
// stack index [index]; closes the path, moves it to start at 0, 0 and gives
// its size and the rounded smallest x and y. 0, 1189, 1066 or 1000.
int32_t ReadVertexTable(vkState* L, int index, int32_t count, std::vector<vkPoint>* points, int32_t* width,
                        int32_t* height, int32_t* minX, int32_t* minY);

// Maps [points] by [m] about (ax, ay), truncated; with [toOrigin] moved to
// start at 0, 0. *[minX], *[minY] get the smallest coordinates before the
// move, *[width], *[height] the size.
void TransformShapePoints(const double m[4], double ax, double ay, std::vector<vkPoint>& points, bool toOrigin,
                          int32_t* minX, int32_t* minY, int32_t* width, int32_t* height);

// Cuts the segment (a1, b1)-(a2, b2) to a1, a2 in [low, high]; 0 when it
// lies wholly outside, else 1 with the ends moved onto the range.
int32_t ClipSegmentToRange(double* a1, double* b1, double* a2, double* b2, double low, double high);

// Whether (x, y) lies in the output and its clip region (rectangle and mask).
bool DrawPointAllowed(const vkDrawOutput& o, int64_t x, int64_t y);
// The bitmap drawing writes into: the display's back buffer, or the target's.
vkBitMap* DrawBitMapOf(const vkDrawOutput& o);
// Whether the display's layers are on (drawing then makes layers).
bool DrawLayersOn(const vkDrawOutput& o);

// What a vector layer keeps to be rendered again.
struct vkShapeRecord {
  vkState* L = nullptr;     // the run that made it (texture brushes are found there)
  vkShapeRequest request;  // its own draw state copy below
  vkDrawState drawState;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0, thickness = 1;  // lines
};

// A shape rendered again: its planes (mask or alpha), their size, and where
// their top-left lies in output coordinates as the shape was placed.
struct vkShapePlanes {
  vkBitMapPtr bitmap;
  vkPlanePtr mask, alpha;
  int32_t x = 0, y = 0, width = 0, height = 0;
};

// Flags of the renderers.
inline constexpr uint32_t kRenderNoShow = 1;       // make the layer, show nothing now
inline constexpr uint32_t kRenderAtLayer = 8;      // the layer's transform, at its insert position
inline constexpr uint32_t kRenderAgain = 16;       // render a layer's shape again into the request's planes

// Renders a box, curve, arc or polygon into the current output, or as a
// new vector layer while the display's layers are on. 0 or an error code.
int32_t RenderShape(vkState* L, vkShapeRequest& rq, uint32_t flags);
// A line of [thickness] from (x1, y1) to (x2, y2).
int32_t RenderLine(vkState* L, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t thickness,
                   const vkDrawState& drawState, const vkTransform& t, const vkLayerOptions& options,
                   vkShapePlanes* out, int32_t insertPos, uint32_t flags);
// A box: plain ones as rectangles, the rest through RenderShape.
int32_t RenderBox(vkState* L, vkShapeRequest& rq, uint32_t flags);
// Renders the shape of a vector layer's [record] again under [transform]
// (the layer's, or with the display's scale folded in) into *[out], for
// the layers library. 0 or an error code.
int32_t RenderShapeLayer(const vkShapeRecord& record, const vkTransform& transform, vkShapePlanes* out);
