// Clip regions in the graphics state's list, and their three script
// commands. Regions are found by number or handle and never while deleted;
// before a region's record goes, ForgetClipRegion clears it from every
// picture and sprite that holds it.
#include "graphics/clipregions.h"

#include "engine/objecthandles.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/bgpics.h"
#include "graphics/geometry.h"
#include "graphics/positions.h"
#include "graphics/safeblt.h"
#include "pixel/blit.h"

namespace {

// Region types of CreateClipRegion.
inline constexpr int32_t kClipBox = 14;
inline constexpr int32_t kClipShape = 28;

bool InUseByLayer(const vkGraphicsState& gs, const vkClipRegion* r) { return gs.regionInUse && gs.regionInUse(gs, r); }

// Clears [region] from one picture: as its active region and from its
// sprites; returns the union of the sprites that drew through it.
bool ForgetIn(vkBGPic* pic, const vkClipRegion* region, int64_t box[4]) {
  if (!pic) return false;
  if (pic->activeClip == region) pic->activeClip = nullptr;
  bool any = false;
  for (vkSpriteInstance& s : pic->sprites) {
    if (s.clipRegion != region) continue;
    s.clipRegion = nullptr;
    const int64_t r[4] = {s.x, s.y, int64_t(s.x) + s.width, int64_t(s.y) + s.height};
    if (!any) std::copy(r, r + 4, box);
    box[0] = std::min(box[0], r[0]), box[1] = std::min(box[1], r[1]);
    box[2] = std::max(box[2], r[2]), box[3] = std::max(box[3], r[3]);
    any = true;
  }
  return any;
}

// Every record that may hold a region lets go of it; sprites of the current
// display that were clipped by it are shown again unclipped.
void ForgetClipRegion(vkGraphicsState& gs, const vkClipRegion* region) {
  int64_t box[4] = {0, 0, 0, 0};
  ForgetIn(gs.CurrentBGPic, region, box);
  if (gs.fallbackDisplay) ForgetIn(gs.fallbackDisplay->bgpic, region, box);
  for (const vkBGPicPtr& pic : gs.BGPicList) ForgetIn(pic.get(), region, box);
  for (const vkDisplayPtr& owned : gs.DisplayList) {
    vkDisplay* d = owned.get();
    int64_t b[4];
    if (!ForgetIn(d->bgpic, region, b) || d != gs.CurrentDisplay || !d->bgpic || !d->screenBuffer) continue;
    const vkBGPic* pic = d->bgpic;
    const int64_t x1 = std::max<int64_t>(b[0], 0), y1 = std::max<int64_t>(b[1], 0);
    const int64_t x2 = std::min<int64_t>(b[2], pic->width), y2 = std::min<int64_t>(b[3], pic->height);
    if (x2 <= x1 || y2 <= y1) continue;
    RedrawRect(gs, d, d->screenBuffer, int32_t(x1), int32_t(y1), int32_t(x2 - x1), int32_t(y2 - y1), kRedrawAll);
    BltToWindow(gs, d->screenBuffer, int32_t(x1), int32_t(y1), d, int32_t(x1), int32_t(y1), int32_t(x2 - x1),
                int32_t(y2 - y1), 1);
  }
}

// The region's identifier error: 1041 for a handle, else 1215 with the number.
int32_t NotFound(vkObjectId id) {
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoClipRegion;
}

// Sets the current display's text cursor and margins to [left] .. [right].
void PlaceTextCursor(vkGraphicsState& gs, int32_t left, int32_t right) {
  vkDisplay* d = gs.CurrentDisplay;
  if (!d) return;
  d->textCursorX = left, d->textCursorY = 0;
  d->textMarginLeft = left, d->textMarginRight = right;
}

}  // namespace

vkClipRegion* FindClipRegion(vkGraphicsState& gs, vkObjectId id) {
  for (vkClipRegion& r : gs.clipRegions)
    if (!r.deleted && r.idNumber == id.number && r.idHandle == id.handle) return &r;
  return nullptr;
}

int32_t CreateClipRegion(vkGraphicsState& gs, vkIdRequest id, int32_t x, int32_t y, int32_t width, int32_t height,
                         const vkPlane* shape, vkClipRegion** out) {
  if (!id.automatic)
    if (int32_t rc = DeleteClipRegion(gs, vkObjectId{id.number, nullptr}, false)) return rc;
  if (width < 1 || height < 1) return kErrWrongUsage;
  if (int64_t(x) + width < 1 || int64_t(y) + height < 1) return kErrWrongUsage;
  // Cut what lies left of or above the target; the region owns a copy of
  // the visible part of the shape.
  vkClipRegion r;
  r.x = x, r.y = y, r.width = width, r.height = height;
  vkPlanePtr visible;
  if (int32_t rc = ClipMaskRect(r.x, r.y, r.width, r.height, shape, true, visible)) return rc;
  if (shape) {
    r.mask = std::move(visible);
    r.maskBytesPerRow = r.mask->bytesPerRow;
    if (gs.scratch.empty()) gs.scratch.push_back(std::make_unique<vkBlitScratch>());
    vkBlitScratch& s = *gs.scratch.front();
    if (!s.data) {
      s.data.reset(static_cast<uint8_t*>(AllocateBytes(kClipScratchStart, false)));
      if (!s.data) return kErrOutOfMemory;
      s.capacity = kClipScratchStart;
    }
  }
  r.idNumber = id.automatic ? 0 : id.number;
  vkClipRegion& made = gs.clipRegions.emplace_back(std::move(r));
  if (id.automatic) made.idHandle = NewObjectHandle();
  if (out) *out = &made;
  return 0;
}

int32_t SetClipRegion(vkGraphicsState& gs, vkObjectId id) {
  vkDisplay* d = gs.CurrentDisplay;
  if (d && (d->renderTarget == kTargetMask || d->renderTarget == kTargetAlphaChannel)) return kErrWrongUsage;
  vkBGPic* target = gs.CurrentBGPic;
  if (!id.handle && (id.number == 0 || id.number == -1)) {
    if (target) target->activeClip = nullptr;
    PlaceTextCursor(gs, 0, target ? target->width - 1 : 0);
    return 0;
  }
  vkClipRegion* r = FindClipRegion(gs, id);
  if (!r) return NotFound(id);
  if (!target || int64_t(r->x) + r->width > target->width || int64_t(r->y) + r->height > target->height)
    return kErrClipRegionFit;
  target->activeClip = r;
  PlaceTextCursor(gs, r->x, r->x + r->width - 1);
  return 0;
}

int32_t DeleteClipRegion(vkGraphicsState& gs, vkObjectId id, bool report) {
  vkClipRegion* r = FindClipRegion(gs, id);
  if (!r) return report ? NotFound(id) : 0;
  ForgetClipRegion(gs, r);
  if (InUseByLayer(gs, r)) {
    r->deleted = true, r->idNumber = 0, r->idHandle = r;
    return 0;
  }
  gs.clipRegions.remove_if([r](const vkClipRegion& c) { return &c == r; });
  return 0;
}

void PurgeClipRegions(vkGraphicsState& gs) {
  gs.clipRegions.remove_if([&gs](const vkClipRegion& r) { return r.deleted && !InUseByLayer(gs, &r); });
}

void FreeAllClipRegions(vkGraphicsState& gs) {
  for (const vkClipRegion& r : gs.clipRegions) ForgetClipRegion(gs, &r);
  gs.clipRegions.clear();
}

// ---- script commands ---------------------------------------------------------

namespace {

// CreateClipRegion(id, #BOX, x, y, width, height) or (id, #SHAPE, brush, x, y).
int CmdCreateClipRegion(vkState* L) {
  CheckArgCount(L, 2, 0);
  const vkIdRequest id = OptObjectId(L, 1);
  const int32_t type = vkDoubleToInt32(vmCheckNumber(L, 2));
  vkGraphicsState& gs = GraphicsState(L);
  int32_t x = 0, y = 0, width = 0, height = 0;
  const vkPlane* shape = nullptr;
  if (type == kClipBox) {
    x = vkDoubleToInt32(vmCheckNumber(L, 3)), y = vkDoubleToInt32(vmCheckNumber(L, 4));
    width = vkDoubleToInt32(vmCheckNumber(L, 5)), height = vkDoubleToInt32(vmCheckNumber(L, 6));
  } else if (type == kClipShape) {
    // The region takes the brush's size and a copy of its mask.
    vkBrushView brush;
    if (int32_t rc = FindBrushView(L, CheckObjectId(L, 3), &brush)) return rc;
    if (!brush.mask) return kErrBrushNoMask;
    x = vkDoubleToInt32(vmCheckNumber(L, 4)), y = vkDoubleToInt32(vmCheckNumber(L, 5));
    width = brush.width, height = brush.height, shape = brush.mask;
  } else {
    return kErrWrongUsage;
  }
  // Special positions resolve against the target, or its active region when
  // the target has no width of its own.
  const vkBGPic* t = gs.CurrentBGPic;
  int32_t spaceW = t ? t->scaledWidth : 0, spaceH = t ? t->scaledHeight : 0, ox = 0, oy = 0;
  if (t && spaceW == 0 && t->activeClip) spaceW = t->activeClip->width, ox = t->activeClip->x;
  if (t && spaceH == 0 && t->activeClip) spaceH = t->activeClip->height, oy = t->activeClip->y;
  x = ResolveSpecialX(x, width, spaceW, ox, 0);
  y = ResolveSpecialY(y, height, spaceH, oy, 0);
  vkClipRegion* made = nullptr;
  if (int32_t rc = CreateClipRegion(gs, id, x, y, width, height, shape, &made)) return rc;
  if (!id.automatic) return 0;
  vmPushLightUserdata(L, made->idHandle);
  return 1;
}

int CmdSetClipRegion(vkState* L) {
  CheckArgCount(L, 1, 1);
  return SetClipRegion(GraphicsState(L), CheckObjectId(L, 1));
}

int CmdFreeClipRegion(vkState* L) {
  CheckArgCount(L, 1, 1);
  return DeleteClipRegion(GraphicsState(L), CheckObjectId(L, 1), true);
}

const vkCommandDef kClipRegionCommands[] = {{"CreateClipRegion", CmdCreateClipRegion},
                                            {"SetClipRegion", CmdSetClipRegion},
                                            {"FreeClipRegion", CmdFreeClipRegion},
                                            {nullptr, nullptr}};

}  // namespace

const vkCommandDef* ClipRegionCommandTable() { return kClipRegionCommands; }

namespace {

int32_t CountClipRegions(vkState* L) {
  int32_t n = 0;
  for (const vkClipRegion& r : GraphicsState(L).clipRegions) n += r.deleted ? 0 : 1;
  return n;
}

int QueryClipRegion(vkState* L, int32_t attribute) {
  const vkObjectId id = CheckObjectId(L, 2);
  const vkClipRegion* r = FindClipRegion(GraphicsState(L), id);
  if (!r) return NotFound(id);
  double value = 0;
  switch (attribute) {
    case ATTRXPOS: value = r->x; break;
    case ATTRYPOS: value = r->y; break;
    case ATTRWIDTH: value = r->width; break;
    case ATTRHEIGHT: value = r->height; break;
    default: return kErrUnknownAttribute;
  }
  vmPushNumber(L, value);
  return 1;
}

}  // namespace

void RegisterClipRegionCommands(vkState* L) {
  vmRegisterFunctions(L, nullptr, kClipRegionCommands, 0);
  RegisterAttributeProvider(L, vkObjectType::CLIPREGION, {CountClipRegions, QueryClipRegion});
}
