// The layers library: with layers on, what a script shows on a background
// picture becomes a layer in the picture's list (bottom first), kept with
// what is needed to draw it again, so that it can be re-ordered, hidden,
// transformed or removed without disturbing the others. This header holds
// the layer records, the list operations the other libraries call, the
// compositor and refresh operations, the transformations, the collision
// test, and the library's run state in the program context.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/argcheck.h"
#include "graphics/displayoptions.h"
#include "graphics/graphicsstate.h"

struct vkState;

// Errors of the layer commands that the shared table does not name yet.
inline constexpr int32_t kLayersErrNameAssigned = 1161;     // "Layer name was already assigned!"
inline constexpr int32_t kLayersErrOffscreenSwitch = 1163;  // "Layers cannot be turned on/off while off-screen ..."
inline constexpr int32_t kLayersErrScalingEngine = 1313;    // "Layers cannot be disabled when the layer scaling ..."

// An inclusive rectangle {x1, y1, x2, y2}; the lists are the display's dirty
// list and the library's batch list.
using vkRectEntry = std::array<int32_t, 4>;
using vkRectList = std::vector<vkRectEntry>;
// Lists start with room for this many entries and grow by as many.
inline constexpr size_t kRectListStep = 1024;
// The x1 of an entry the merge pass absorbed into another.
inline constexpr int32_t kRectAbsorbed = 100000;

struct vkLayerKindOps;

// What a layer of another kind (anim, text, vector shape) keeps beyond the
// common geometry; the kind's library derives from it.
struct vkLayerKindData {
  virtual ~vkLayerKindData() = default;
  // A copy for a new record of the same layer (planes are never shared).
  virtual std::unique_ptr<vkLayerKindData> Clone() const = 0;
  // The kind's operations, which a layer made from this record gets.
  virtual const vkLayerKindOps* Ops() const { return nullptr; }
};

// The geometry and pixels of one state of a layer: as inserted, as
// transformed, or as shown by a scaled display.
struct vkLayerData {
  vkBitMapPtr bitmap;  // the layer's own planes, or none when they are the object's
  vkPlanePtr mask;
  vkPlanePtr alpha;
  vkBitMapPtr transformedBitmap;  // made by a transformation
  vkPlanePtr transformedMask;
  vkPlanePtr transformedAlpha;
  vkClipRegion* clip = nullptr;  // the clip region in force when made, or none
  bool ownsClip = false;         // [clip] is a transformed copy of this record
  int32_t x = 0, y = 0, width = 0, height = 0;  // as the drawing command asked
  int32_t screenX = 0, screenY = 0;             // top-left on the picture
  int32_t anchoredX = 0, anchoredY = 0;         // logical position minus the anchor offset
  int32_t screenWidth = 0, screenHeight = 0;    // size on the picture
  int32_t clipX1 = 0, clipY1 = 0, clipX2 = 0, clipY2 = 0;
  int32_t sourceX = 0, sourceY = 0;  // a part's corner in its source; an anim's frame in sourceX
  std::unique_ptr<vkLayerKindData> kind;  // text and shape parameters, or none
  std::vector<int32_t> words, words2;     // counted arrays of the kinds

  vkLayerData() = default;
  vkLayerData(const vkLayerData&) = delete;
  vkLayerData& operator=(const vkLayerData&) = delete;
  ~vkLayerData();
};
using vkLayerDataPtr = std::unique_ptr<vkLayerData>;

struct vkLayer;
struct vkLayerPixels;

// How the layer code reaches the objects of a kind another library owns
// (anims, text objects, shapes); that library gives its layers a static
// table. Any entry may be NULL.
struct vkLayerKindOps {
  // The pixels of what [layer] shows in [data] at [frame] (-1: the record's own). 0 or an error code.
  int32_t (*pixels)(vkGraphicsState& gs, const vkLayer* layer, const vkLayerData* data, int32_t frame,
                    vkLayerPixels* out);
  // Draws what [layer] shows through [m] into [data]'s transformed planes. 0 or an error code.
  int32_t (*draw)(vkGraphicsState& gs, vkLayer* layer, vkLayerData* data, const double m[4], uint32_t flags);
  // Frees the kind's orphans that no layer shows any more.
  void (*flush)(vkState* L);
};

struct vkLayer {
  int32_t type = 0;             // object type code of what it shows; NOOBJECT while removed
  vkObjectId object;            // the object shown
  vkObjectId identity;          // the id it was created under (Undo matches on it)
  void* record = nullptr;       // the object's record (vkBrush, vkBGPic, the anim's ...)
  int32_t hidden = 0;           // not drawn, not refreshed
  int32_t pending = 0;          // made while its picture was selected; drawn from EndSelect on
  int32_t transparency = 0;     // 0 opaque; else mixed at 255 - transparency
  int32_t tint = 0;             // 0 none
  uint32_t tintColor = 0;       // 0xRRGGBB
  std::string name;             // empty: unnamed
  std::string group;            // empty: none
  int32_t effectFlag = 0;       // a whole-picture effect runs on the layer
  int32_t scrollEffect = 0;     // a scroll effect runs on the layer
  int32_t noClipTransform = 0;  // transformations leave the clip region as it is
  vkTransform transform;
  double anchorX = 0, anchorY = 0;  // fractions of the layer's size
  vkLayerData* inserted = nullptr;     // as the drawing command made it (owned)
  vkLayerData* transformed = nullptr;  // after scaling or rotation (owned unless == inserted)
  vkLayerData* onScreen = nullptr;     // what the compositor draws (owned unless == one above)
  vkBGPic* bgpic = nullptr;            // whose list holds it
  const vkLayerKindOps* ops = nullptr; // the kind's library's, or none for brushes and picture parts
};

// Shows object [id] of a kind another library owns as a new layer at
// [pos] through that library's own layer path (InsertLayer); AddLayer's
// flags; *[out] the layer. 0 or an error code.
using vkLayerInsertHook = int32_t (*)(vkState* L, vkObjectId id, int32_t x, int32_t y, int32_t pos, uint32_t flags,
                                      vkLayer** out);

// The library's run state, in the program context.
struct vkLayersState {
  vkRectList batch;       // rectangles of a command that changes several layers
  int32_t noRefresh = 0;  // set: placement updates refresh nothing
  vkLayerInsertHook insertAnim = nullptr;        // registered by the anim library
  vkLayerInsertHook insertTextObject = nullptr;  // registered by the text library
  uint32_t shapeLayersMade = 0;  // counts the shapes that became layers
};
vkLayersState& LayersState(vkState* L);

// ---- The layer list ---------------------------------------------------------

// Flags of AddLayer.
inline constexpr uint32_t kAddHidden = 1;
inline constexpr uint32_t kAddLayerScaling = 2;  // render for the display's layer scaling
inline constexpr uint32_t kAddNoRefresh = 4;     // the caller shows the layer itself
inline constexpr uint32_t kAddReplace = 8;       // replace the layer standing at the insert position

// Makes a layer of [data] (taken, filled by the caller) at [insertPos] (-1
// top, 1 bottom, n: becomes the n-th) of the current output picture. The
// given planes become the data record's own planes and are taken too. 0 or
// an error code; everything given is freed on failure.
int32_t AddLayer(vkState* L, int32_t type, vkObjectId id, void* record, int32_t x, int32_t y, int32_t width,
                 int32_t height, const vkTransform* transform, const vkLayerOptions* options, vkBitMapPtr bitmap,
                 vkPlanePtr mask, vkPlanePtr alpha, vkLayerDataPtr data, int32_t insertPos, uint32_t flags,
                 vkLayer** out = nullptr);

// Removes [layer] from its list: its on-screen rectangle goes to [outRect]
// (x, y, width, height) when given and is refreshed unless [noRefresh]
// (appended to [batch] when given); its button and records go, the caches
// of its object's kind are flushed. [L] may be null (no button to delete).
void FreeLayer(vkGraphicsState& gs, vkState* L, vkLayer* layer, bool noRefresh, int32_t* outRect = nullptr,
               vkRectList* batch = nullptr);

// Removes the [n]-th most recent layer of [type] and [identity]; 0 also when
// there is none, 1372 when an async-draw object draws it.
int32_t RemoveLayerOfType(vkState* L, int32_t type, vkObjectId identity, int32_t n, bool noRefresh,
                          int32_t* outRect = nullptr);

// Frees every layer of [bgpic] without refreshing.
void FreeBGPicLayers(vkGraphicsState& gs, vkState* L, vkBGPic* bgpic, bool flush, bool detachButtons);

vkLayer* GetNthLayer(const vkBGPic* bgpic, int32_t n);  // null outside 1..count
int32_t GetLayerIndex(vkGraphicsState& gs, const vkLayer* layer);  // in the current output; -1 when absent
int32_t CountLayers(const vkBGPic* bgpic);
// 1-based position of the first layer of the current output named [name]
// without regard to case; 0 when absent.
int32_t FindLayerIndexByName(vkGraphicsState& gs, const char* name);
// The layer position of argument [i]: a number as it is, a layer name (1369)
// or another type (1183); errors are raised.
int32_t GetLayerArg(vkState* L, int i);
// The group iterator: a number or name yields one layer and sets *[iter] to
// -1; a group name yields the next member per call (*[iter] -1 after the
// last). 0, 1369 or 1081.
int32_t FindLayer(vkState* L, int i, vkBGPic* bgpic, vkLayer** out, int32_t* iter, bool* isGroup);
// Every layer argument [i] names, in list order, collected before anything
// changes the list: 0, an error of FindLayer, or 1066 past [limit] layers.
int32_t CollectLayers(vkState* L, int i, vkBGPic* bgpic, std::vector<vkLayer*>* out, size_t limit = SIZE_MAX);
// 0, 1373, 1161 (another layer's name or group equals it; [except], the
// layer being replaced, does not count).
int32_t SetLayerNameChecked(vkLayer* layer, const std::string& name, const vkLayer* except = nullptr);
// Moves [layer] to [position] (1 bottom; 0 or past the count top); 1 when it moved.
int32_t MoveLayerInList(vkLayer* layer, int32_t position);
// A copy without planes and clip region, with the kind data and arrays copied.
vkLayerDataPtr CopyLayerData(const vkLayerData& data);

// Kinds of objects that FlushLayerCaches frees once no layer shows them.
inline constexpr uint32_t kFlushBrushes = 1;
inline constexpr uint32_t kFlushAnims = 2;
inline constexpr uint32_t kFlushTextObjects = 4;
inline constexpr uint32_t kFlushBGPics = 8;
// Frees the orphaned brushes, pictures and anims of the kinds in [kinds]
// that no layer shows any more, then the deleted clip regions no layer
// uses (freed text objects go through the text library's own flush).
void FlushLayerCaches(vkGraphicsState& gs, uint32_t kinds);

// Whether any layer of any picture shows [record] of [type].
bool IsObjectShownByLayer(vkGraphicsState& gs, int32_t type, const void* record);

// The select guard of every layer command: 1082, 1339, 1147, 1167, then 1078.
int32_t CheckLayerTarget(vkGraphicsState& gs);
// The output picture the layer commands act on.
vkBGPic* LayerPicture(vkGraphicsState& gs);

// ---- Compositing and refresh ------------------------------------------------

// Flags of Redraw.
inline constexpr int32_t kRedrawFromDisplayBuffer = 4;
inline constexpr int32_t kRedrawFromOwnBitmap = 8;
inline constexpr int32_t kRedrawScaledSpace = 16;

// Composes the rectangle of [bgpic] into [dst]: background, visible layers
// bottom to top, sprites.
void Redraw(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic, vkBitMap* dst, int32_t x, int32_t y,
            int32_t width, int32_t height, int32_t flags);
// The one entry for a changed rectangle of the displayed picture.
void RefreshRect(vkGraphicsState& gs, int32_t x, int32_t y, int32_t width, int32_t height);
// Composes and shows at once, whatever the render target.
void RefreshRectNow(vkGraphicsState& gs, int32_t x, int32_t y, int32_t width, int32_t height);
// Merges the entries of [list] and recomposes each survivor once.
void FlushRectList(vkGraphicsState& gs, vkRectList& list);
// Refreshes the union of the layer's on-screen rectangle and [old] (x, y,
// width, height; null: the layer's rectangle alone).
void RefreshLayerRect(vkGraphicsState& gs, const vkLayer* layer, const int32_t* old);
// A layer drawn again in place: new geometry and planes (taken when given),
// then the union of old and new rectangles refreshed. [old] with width -1
// means the new rectangle.
inline constexpr uint32_t kPlacementKeepClip = 64;
void UpdateLayerPlacement(vkState* L, vkLayer* layer, const int32_t* old, int32_t x, int32_t y, int32_t width,
                          int32_t height, const int32_t* clipRect, vkBitMapPtr bitmap, vkPlanePtr mask,
                          vkPlanePtr alpha, uint32_t flags);
// 1 when no visible layer above [layer] meets its on-screen rectangle.
int32_t IsLayerUncovered(const vkBGPic* bgpic, const vkLayer* layer);
bool RectsOverlap(int32_t ax1, int32_t ay1, int32_t ax2, int32_t ay2, int32_t bx1, int32_t by1, int32_t bx2,
                  int32_t by2);
// Appends {x, y, x + width - 1, y + height - 1}; a list that cannot grow drops it.
void AppendRect(vkRectList& list, int32_t x, int32_t y, int32_t width, int32_t height);
void AppendRectToList(vkRectList& list, const vkLayerData& data);

// Where a layer's pixels come from: its own (or transformed, with
// [ownPlanes]) planes, else the object's. 0 or 1055.
struct vkLayerPixels {
  const vkBitMap* bitmap = nullptr;
  const vkPlane* mask = nullptr;
  const vkPlane* alpha = nullptr;
  int32_t width = 0, height = 0;
  bool shared = false;  // the object's planes: a part's source position applies
};
int32_t GetObjectBitmap(vkGraphicsState& gs, const vkLayer* layer, const vkLayerData* data, bool ownPlanes,
                        int32_t frame, vkLayerPixels* out);

// ---- Transformations --------------------------------------------------------

// Mode bits of RenderTransformedLayer.
inline constexpr int32_t kRenderScaledPass = 1;
inline constexpr int32_t kRenderWithMatrix = 2;
inline constexpr int32_t kRenderReplaceOnScreen = 4;

// 1 when the matrix is a rotation by a whole degree with scales (*[sx], *[sy]).
int32_t DecomposeMatrix(const double m[4], double* sx, double* sy);
// x' = lrint(x fx), width' = lrint((x + width - 1) fx) - x' + 1, likewise y.
void ScaleRect(int32_t x, int32_t y, int32_t width, int32_t height, double fx, double fy, int32_t* ox, int32_t* oy,
               int32_t* ow, int32_t* oh);
// Whether the display's layer scaling applies to [bgpic].
bool DisplayScalingActive(const vkDisplay* display, const vkBGPic* bgpic);
// Renders the layer's transformed record (or, with kRenderScaledPass, its
// on-screen record for the display's scaling); the old records stay on failure.
int32_t RenderTransformedLayer(vkGraphicsState& gs, vkLayer* layer, int32_t mode);
int32_t RenderAllLayerTransforms(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic);
int32_t ResetLayerCaches(vkState* L, vkBGPic* bgpic, bool rescale);
// Draws what [layer] shows through its matrix into [data] (bitmap layers).
int32_t DrawLayerByType(vkGraphicsState& gs, vkLayer* layer, vkLayerData* data, const double m[4], uint32_t flags);

// ---- Collisions ---------------------------------------------------------------

// One side of a collision test.
struct vkCollisionSide {
  int32_t x = 0, y = 0, width = 0, height = 0;  // on the picture
  const vkPlane* mask = nullptr;                // or none
  const vkPlane* alpha = nullptr;               // or none
  int32_t planeX = 0, planeY = 0;               // where the rectangle starts in the planes
  const vkClipRegion* clip = nullptr;           // its mask limits the side, when it has one
};
// 1 on contact: a side marks a pixel when each plane it has marks it.
int32_t TestCollision(const vkCollisionSide& a, const vkCollisionSide& b);
// The Collision command's test of [kind] on the arguments from stack index
// 2 on: *[result] 1 on contact. 0 or an error code.
int32_t CollisionOf(vkState* L, int32_t kind, int32_t* result);

// ---- The library ----------------------------------------------------------------

// Registers the "layers" commands and the hooks of the graphics state; 0 or
// an error code.
int OpenLayersLibrary(vkState* L);
// Frees every move queue and the batch rectangle list; returns 0.
int CloseLayersLibrary(vkState* L);
