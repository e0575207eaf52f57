// Scrolls: the object slides in from outside the display (or out, when
// hiding a layer) by an object move the effect owns and steps once a frame.
// One routine serves the eight ids: the row's anchor says from which sides
// the object comes (left or right, top or bottom, or along the other axis
// in place). The move decides when it has arrived.
#include <new>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "graphics/objecttypes.h"
#include "layers/layers.h"
#include "layers/moveobject.h"

namespace {

struct vkScroll : vkFXPrivate {
  vkMoveObject move;
  bool started = false;
};

// Where the object stands outside the display for the row's anchor.
void Outside(const vkFXState& s, int32_t* x, int32_t* y) {
  const int32_t ax = s.row->variant % 3, ay = s.row->variant / 3;
  *x = ax == 0 ? -s.width : ax == 2 ? s.spaceWidth : s.x;
  *y = ay == 0 ? -s.height : ay == 2 ? s.spaceHeight : s.y;
}

// An effect-driven move of [layer]'s position from (x, y) to (x2, y2) in
// one step, without showing anything of it.
void PlaceLayerAt(vkFXState& s, int32_t x, int32_t y, int32_t x2, int32_t y2) {
  vkMoveObject m;
  m.L = s.L, m.effectDriven = true, m.type = vkObjectType::LAYER, m.id = vkObjectId{GetLayerIndex(*s.gs, s.layer), nullptr};
  m.width = s.width, m.height = s.height;
  m.x = x, m.y = y, m.x2 = x2, m.y2 = y2;
  m.xStep = 1 << 24;
  if (m.id.number < 1 || RunMove(&m) != 0) return;
  for (int32_t finished = 0, guard = 0; !finished && guard < 64; guard++)
    if (MoveStep(&m, &finished) != 0) break;
  MoveAsyncFree(&m);
}

}  // namespace

int32_t FXScrollSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkScroll;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  vkMoveObject& m = p->move;
  m.L = s.L, m.effectDriven = true;
  m.width = s.width, m.height = s.height;
  m.fx = s.parameter == kFXRandomParameter ? 0 : s.parameter;
  m.xStep = s.speed;  // the move turns the named speeds into its own steps
  if (s.layer) {
    s.layer->hidden = 0;
    m.type = vkObjectType::LAYER;
    m.id = vkObjectId{GetLayerIndex(*s.gs, s.layer), nullptr};
    s.savedX = s.layer->inserted->x, s.savedY = s.layer->inserted->y;
  } else {
    m.type = vkObjectType::NOOBJECT;
    m.planes = vkBitmapSource{s.source, s.sourceMask, s.sourceAlpha, s.width, s.height};
  }
  int32_t outX, outY;
  Outside(s, &outX, &outY);
  if (s.reverse)
    m.x = s.x, m.y = s.y, m.x2 = outX, m.y2 = outY;
  else
    m.x = outX, m.y = outY, m.x2 = s.x, m.y2 = s.y;
  const vkDisplay* d = s.gs->CurrentDisplay;
  if (s.operation == vkObjectType::BGPIC && d && d->layersOn) m.extraBlitFlags = 64;
  if (int32_t rc = RunMove(&m)) return rc;
  p->started = true;
  return 0;
}

int32_t FXScrollDraw(vkFXState& s, int32_t, bool fromScratch, bool* last) {
  if (fromScratch) return 0;
  int32_t finished = 0;
  const int32_t rc = MoveStep(&s.Private<vkScroll>().move, &finished);
  if (finished) *last = true;
  return rc;
}

void FXScrollCleanup(vkFXState& s, int32_t) {
  vkScroll& p = s.Private<vkScroll>();
  if (s.layer && p.started) {
    // The layer goes back to where it stood (hidden, when it was hidden).
    const vkLayerData* now = s.layer->inserted;
    if (now->x != s.savedX || now->y != s.savedY) PlaceLayerAt(s, now->x, now->y, s.savedX, s.savedY);
  }
  if (p.started) MoveAsyncFree(&p.move);
  p.started = false;
}
