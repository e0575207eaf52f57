// The moveobject library. A move is set up once (speeds, steps, direction,
// the wave of a sine move) and then stepped, one step per displayed frame:
// each step advances both axes by the rules of its phase, changes phase on
// arrival (the bounce and damped swings around the end point, the snap at
// the end of a wave), draws the object at its new place and turns an anim's
// or sprite's frame when its time has come. With layers off the object is
// drawn into the display over a copy of the background taken at the start,
// touching only the rectangle that covers the old and the new place.
#include "layers/moveobject.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <numbers>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "graphics/outputtargets.h"
#include "graphics/positions.h"
#include "graphics/safeblt.h"
#include "graphics/sprites.h"
#include "layers/animlib.h"
#include "layers/layerrender.h"
#include "layers/layers.h"
#include "layers/movequeues.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "platform/vkos_events.h"

namespace {

namespace ot = vkObjectType;

// Directions, clockwise from north (y grows downwards).
enum : int32_t { kNorth, kNorthEast, kEast, kSouthEast, kSouth, kSouthWest, kWest, kNorthWest };

// Pixels per step of the speed constants, and the time between two frames
// of the anim speed constants.
constexpr int32_t kNormalSpeed = -1, kFastSpeed = -2, kSlowSpeed = -3, kDefaultSpeed = -4;

int32_t StepOfSpeed(int32_t speed) {
  switch (speed) {
    case kFastSpeed: return 15;
    case kNormalSpeed: return 10;
    case kSlowSpeed: return 5;
    default: return speed >= 1 ? speed : 0;
  }
}

int32_t MillisOfAnimSpeed(int32_t speed, int32_t type) {
  switch (speed) {
    case kNormalSpeed: return 60;
    case kFastSpeed: return 0;
    case kSlowSpeed: return 160;
    case kDefaultSpeed: return type == ot::ANIM ? kDefaultSpeed : 60;
    default: return speed >= 0 ? speed * 20 : 0;
  }
}

// Steps over [distance] at [speed]: the whole part, one more for a rest.
int32_t StepsOver(int32_t distance, int32_t speed) { return distance / speed + (distance % speed ? 1 : 0); }

int32_t SlowAmount(int32_t step) { return std::max(step / 10 + (step % 10 >= 5 ? 1 : 0), 1); }

bool EastOrWest(const vkMoveObject& m) { return m.direction == kEast || m.direction == kWest; }
bool IsWave(const vkMoveObject& m) { return m.fx == kMoveSine || m.fx == kMoveBigSine; }
bool IsCurve(const vkMoveObject& m) { return m.fx == kMoveLowerCurve || m.fx == kMoveUpperCurve; }

// +1 when the axis runs forward (x east, y south), -1 backward, 0 still.
int32_t XSense(int32_t direction) {
  if (direction == kNorthEast || direction == kEast || direction == kSouthEast) return 1;
  if (direction == kSouthWest || direction == kWest || direction == kNorthWest) return -1;
  return 0;
}
int32_t YSense(int32_t direction) {
  if (direction == kSouthEast || direction == kSouth || direction == kSouthWest) return 1;
  if (direction == kNorthEast || direction == kNorth || direction == kNorthWest) return -1;
  return 0;
}

// The swing targets of phases 1 to 8, in bounce units past the end point
// along the direction of travel (negative: before it).
constexpr int32_t kSwing[9] = {0, 16, -8, 4, -2, 1, 0, 8, 0};

// One leg of a swing on one axis: phases 1, 3, 5 and 7 run forward along
// the direction of travel ([sense]), the others back. The coordinate moves
// by [step] toward [target] and has arrived once it reached or passed it;
// one already there or beyond does not move.
bool SwingAxis(int32_t& v, int32_t target, int32_t sense, int32_t phase, int32_t step) {
  const int32_t d = (phase % 2 == 1 ? 1 : -1) * sense;
  if ((int64_t(v) - target) * d >= 0) return true;
  v += d * step;
  return (int64_t(v) - target) * d >= 0;
}

// Phase 0 on one axis: forward by the step, slowing down near the end for
// SMOOTHOUT, with one extra pixel while the remainder lasts on the axis
// that does not lead; clamped at the end. True when it is there.
bool TravelAxis(vkMoveObject& m, int32_t& v, int32_t end, int32_t sense, int32_t& step, int32_t zone, int32_t slow,
                bool takesRemainder) {
  if (sense == 0) return true;
  if (m.fx == kMoveSmoothOut && std::abs(int64_t(end) - v) <= zone) step = std::max(step - slow, 1);
  int64_t next = int64_t(v) + int64_t(sense) * step;
  if (takesRemainder && m.remainderSpent < m.remainder) {
    next += sense;
    m.remainderSpent++;
  }
  if ((sense > 0 && next >= end) || (sense < 0 && next <= end)) next = end;
  v = int32_t(next);
  return v == end;
}

vkGraphicsState& Gs(vkMoveObject* m) { return GraphicsState(m->L); }

// The planes of the object as it is to be drawn now.
int32_t LoadPlanes(vkMoveObject* m) {
  if (m->planes.bitmap) return 0;
  if (m->type == ot::ANIM && m->anim) {
    m->ownedFrame = vkPlanes{};
    return GetAnimFrameBitmap(Gs(m), *m->anim, m->frame, false, false, &m->ownedFrame, &m->planes);
  }
  return 0;
}

// Copies the display's background buffer, as it is shown now, into the
// move's background copy, with a work buffer of the same size.
int32_t AllocMoveBuffers(vkMoveObject* m) {
  m->work.reset();
  m->background.reset();
  const vkDisplay* d = Gs(m).CurrentDisplay;
  if (!d || !d->bgpic || !d->backBuffer) return kErrWrongUsage;
  const int32_t w = d->bgpic->width, h = d->bgpic->height;
  m->work.reset(AllocArgbBitMap(w, h));
  m->background.reset(AllocArgbBitMap(w, h));
  if (!m->work || !m->background) return kErrOutOfMemory;
  BltBitMap(d->backBuffer, 0, 0, m->background.get(), 0, 0, std::min(w, d->backBuffer->width),
            std::min(h, d->backBuffer->height));
  BltBitMap(m->background.get(), 0, 0, m->work.get(), 0, 0, w, h);
  return 0;
}

// Draws the object at its place into the display: the old and new places'
// union is restored from the background copy in the work buffer, the object
// drawn over it there, and the union copied to the display.
int32_t DrawIntoDisplay(vkMoveObject* m) {
  vkGraphicsState& gs = Gs(m);
  vkDisplay* d = gs.CurrentDisplay;
  if (!d || !d->bgpic || !m->work || !m->background) return 0;
  const int32_t pw = d->bgpic->width, ph = d->bgpic->height;
  int64_t left = std::min(m->x, m->previousX), top = std::min(m->y, m->previousY);
  int64_t w = std::abs(int64_t(m->x) - m->previousX) + m->width;
  int64_t h = std::abs(int64_t(m->y) - m->previousY) + m->height;
  if (left < 0) w += left, left = 0;
  if (top < 0) h += top, top = 0;
  w = std::min<int64_t>(w, pw - left), h = std::min<int64_t>(h, ph - top);
  if (int32_t rc = LoadPlanes(m)) return rc;
  if (w > 0 && h > 0) {
    vkBlitRequest restore;
    restore.src = m->background.get();
    restore.sx = restore.dx = int32_t(left), restore.sy = restore.dy = int32_t(top);
    restore.dst = m->work.get();
    restore.width = int32_t(w), restore.height = int32_t(h);
    restore.srcWidth = restore.dstWidth = m->work->width;
    restore.srcHeight = restore.dstHeight = m->work->height;
    restore.flags = kBlitIgnoreClip | kBlitNoSprites;
    SafeBlt(gs, restore);
    if (m->planes.bitmap) {
      vkBlitRequest object;
      object.src = m->planes.bitmap;
      object.dst = m->work.get();
      object.dx = m->x, object.dy = m->y;
      object.width = m->planes.width, object.height = m->planes.height;
      object.srcWidth = m->planes.width, object.srcHeight = m->planes.height;
      object.dstWidth = m->work->width, object.dstHeight = m->work->height;
      object.mask = m->planes.mask, object.alpha = m->planes.alpha;
      object.flags = kBlitIgnoreClip | kBlitNoSprites;
      SafeBlt(gs, object);
    }
    vkBlitRequest shown;
    shown.src = m->work.get();
    shown.sx = shown.dx = int32_t(left), shown.sy = shown.dy = int32_t(top);
    shown.width = int32_t(w), shown.height = int32_t(h);
    shown.srcWidth = m->work->width, shown.srcHeight = m->work->height;
    shown.dstWidth = pw, shown.dstHeight = ph;
    shown.flags = kBlitBackground | m->extraBlitFlags;
    shown.clip = d->bgpic->activeClip;
    SafeBlt(gs, shown);
  }
  m->previousX = m->x, m->previousY = m->y;
  return 0;
}

void AddMillis(vkTimeValue* t, int64_t ms) {
  const vkTimeValue add{uint32_t(ms / 1000), uint32_t(ms % 1000 * 1000)};
  vkosAddTimeValue(t, &add);
}

int64_t FrameDelay(vkMoveObject* m) {
  if (m->animSpeed == kDefaultSpeed && m->anim) return QueryAnimFrameDelay(*m->anim, m->frame);
  return std::max(m->animSpeed, 0);
}

// Turns the frame of an anim or sprite when its time has come.
void TurnFrame(vkMoveObject* m) {
  if (m->frameCount == 0) return;
  vkTimeValue now;
  vkosGetTimeValue(&now);
  if (m->frameChanged) {
    m->frameChanged = false;
    AddMillis(&m->nextFrame, FrameDelay(m));
  }
  if (vkosCmpTimeValue(&m->nextFrame, &now) >= 0) return;
  m->frame = m->frame + 1 >= m->frameCount ? 0 : m->frame + 1;
  m->nextFrame = now;
  m->ownedFrame = vkPlanes{};
  if (m->type == ot::ANIM) m->planes = vkBitmapSource{};
  m->frameChanged = true;
}

// The layer a layer move works on, found again by its position.
vkLayer* MovedLayer(vkMoveObject* m) {
  const vkDisplay* d = Gs(m).CurrentDisplay;
  return d && d->bgpic ? GetNthLayer(d->bgpic, m->id.number) : nullptr;
}

void PlaceLayer(vkMoveObject* m, vkLayer* layer, int32_t x, int32_t y) {
  SetLayerPosition(m->L, layer, nullptr, x, y, 0, nullptr);
}

// The topmost layer of the displayed picture that shows the move's object,
// or, when none does, the object shown as a new top layer at the start
// point through its own display command. The move then works on that
// layer by its position.
int32_t TakeLayerOf(vkMoveObject* m) {
  vkGraphicsState& gs = Gs(m);
  const vkDisplay* d = gs.CurrentDisplay;
  const std::vector<vkLayer*>& layers = d->bgpic->layers;
  int32_t position = 0;
  for (int32_t i = int32_t(layers.size()); i >= 1 && position == 0; i--) {
    const vkLayer* l = layers[size_t(i - 1)];
    if (l->type == m->type && l->object == m->id) position = i;
  }
  if (position == 0) {
    const char* command = m->type == ot::BRUSH ? "DisplayBrush" : m->type == ot::ANIM ? "DisplayAnimFrame"
                                                                                     : "DisplayTextObject";
    const vkScriptArg id = m->id.handle ? vkScriptArg::ofPointer(m->id.handle) : vkScriptArg::ofInt(m->id.number);
    uint32_t rc = 0;
    if (m->type == ot::ANIM)
      rc = CallScriptFunction(m->L, command, 0, {id, vkScriptArg::ofInt(m->x), vkScriptArg::ofInt(m->y),
                                                 vkScriptArg::ofInt(1)});
    else
      rc = CallScriptFunction(m->L, command, 0, {id, vkScriptArg::ofInt(m->x), vkScriptArg::ofInt(m->y)});
    if (rc) return int32_t(rc);
    position = int32_t(d->bgpic->layers.size());
  }
  m->type = ot::LAYER;
  m->id = vkObjectId{position, nullptr};
  vkLayer* layer = MovedLayer(m);
  if (!layer) return kErrLayerOutOfRange;
  m->width = layer->inserted->width, m->height = layer->inserted->height;
  PlaceLayer(m, layer, m->x, m->y);
  return 0;
}

int32_t Step(vkMoveObject* m, int32_t* finished) {
  *finished = 0;
  int32_t& s = m->xStep;
  const int32_t u = m->bounceUnit;
  const int32_t xs = XSense(m->direction), ys = YSense(m->direction);
  bool xThere = true, yThere = true;
  // The x axis, and y where a curve sets it.
  if (xs != 0) {
    if (EastOrWest(*m) && IsWave(*m) && (m->phase == 0 || m->phase == 9)) {
      m->y = vkDoubleToInt32(m->table[size_t(m->wave)]);
      m->x += xs * s;
      m->wave += m->waveIncrement;
      if (m->wave > kMoveWaveSteps - 1) m->wave -= kMoveWaveSteps;
      if ((xs > 0 && m->x > m->x2) || (xs < 0 && m->x < m->x2)) m->x = m->x2;
      xThere = m->x == m->x2;
    } else if (EastOrWest(*m) && IsCurve(*m)) {
      m->distance += s;
      m->x += xs * s;
      const int32_t v = vkDoubleToInt32(std::sin((m->distance + 1) * m->table[0]) * 150.0);
      m->y = m->fx == kMoveLowerCurve ? m->y2 + v : m->y2 - v;
      if ((xs > 0 && m->x > m->x2) || (xs < 0 && m->x < m->x2)) m->x = m->x2;
      xThere = m->x == m->x2;
    } else if (m->phase == 0) {
      const bool yLeads = !(m->width > m->height);
      xThere = TravelAxis(*m, m->x, m->x2, xs, s, m->xZone, m->xSlow, yLeads && xs != 0 && ys != 0);
    } else {
      xThere = SwingAxis(m->x, m->x2 + xs * kSwing[m->phase] * u, xs, m->phase, s);
    }
  }
  // The y axis: east and west moves leave it to the curves.
  if (ys != 0) {
    if (m->phase == 0) {
      const bool xLeads = m->width > m->height;
      yThere = TravelAxis(*m, m->y, m->y2, ys, m->yStep, m->yZone, m->ySlow, xLeads && xs != 0);
    } else if (m->phase != 9) {
      yThere = SwingAxis(m->y, m->y2 + ys * kSwing[m->phase] * u, ys, m->phase, s);
    }
  }
  // Phase changes.
  switch (m->phase) {
    case 0:
      if (EastOrWest(*m) && IsCurve(*m)) {
        if (m->x == m->x2) m->y = m->y2, *finished = 1;
      } else if (EastOrWest(*m) && IsWave(*m)) {
        if (m->x == m->x2) m->phase = 9;
      } else if (m->x == m->x2 && m->y == m->y2) {
        if (m->fx == kMoveBounce) m->phase = 1;
        else if (m->fx == kMoveDamped) m->phase = 7, s -= s / 4;
        else *finished = 1;
      }
      break;
    case 1: case 2: case 3: case 4: case 7:
      if (xThere && yThere) s -= s / 2, m->phase = m->phase == 7 ? 8 : m->phase + 1;
      break;
    case 5:
      if (xThere && yThere) m->phase = 6, s = 1;
      break;
    case 6: case 8:
      if (xThere && yThere) m->x = m->x2, m->y = m->y2, *finished = 1;
      break;
    case 9:
      m->y = m->y2, *finished = 1;
      break;
  }
  s = std::max(s, 1);
  // Drawing.
  if (m->type == ot::SPRITE) {
    if (int32_t rc = PlaceSprite(m->L, m->id, m->x, m->y, m->frame + 1)) return rc;
  } else if (m->type == ot::LAYER) {
    if (vkLayer* layer = MovedLayer(m)) PlaceLayer(m, layer, m->x, m->y);
  } else if (int32_t rc = DrawIntoDisplay(m)) {
    return rc;
  }
  TurnFrame(m);
  return 0;
}

int32_t StepHook(void* user, int32_t* finished) { return MoveStep(static_cast<vkMoveObject*>(user), finished); }
void FreeHook(void* user, int32_t) { MoveAsyncFree(static_cast<vkMoveObject*>(user)); }

struct MoveDeleter {
  void operator()(vkMoveObject* m) const { MoveAsyncFree(m); }
};
using vkMovePtr = std::unique_ptr<vkMoveObject, MoveDeleter>;

// Finds the object, takes its planes and size and locks it while it moves.
int32_t TakeObject(vkMoveObject* m) {
  vkGraphicsState& gs = Gs(m);
  switch (m->type) {
    case ot::BRUSH: {
      vkBrush* b = nullptr;
      if (int32_t rc = FindBrush(gs, m->id, &b, 0)) return rc;
      m->planes = BrushSource(*b);
      m->width = b->width, m->height = b->height;
      m->lockCount = &b->lockCount;
      break;
    }
    case ot::ANIM: {
      vkAnim* a = nullptr;
      if (int32_t rc = FindAnim(gs, m->id, &a, 0)) return rc;
      m->anim = a;
      m->width = a->width, m->height = a->height;
      m->frameCount = a->frameCount;
      m->lockCount = &a->lockCount;
      break;
    }
    case ot::TEXTOBJECT: {
      const vkBitmapSourceHook source = Brushes(gs).textObjectSource;
      if (!source) return kErrWrongUsage;
      if (int32_t rc = source(m->L, ot::TEXTOBJECT, m->id, 0, &m->planes)) return rc;
      m->width = m->planes.width, m->height = m->planes.height;
      break;
    }
    case ot::SPRITE: {
      vkSprite* s = nullptr;
      if (int32_t rc = FindSprite(gs, m->id, &s, 0)) return rc;
      m->width = s->width, m->height = s->height;
      m->frameCount = s->FrameCount();
      m->lockCount = &s->locked;
      break;
    }
    default:
      return kErrWrongUsage;
  }
  if (m->lockCount) ++*m->lockCount;
  return 0;
}

// Steps, wave and slow-down of the move from its start to its end.
void PlanSteps(vkMoveObject* m, int32_t speed) {
  const int32_t dx = std::abs(m->x2 - m->x), dy = std::abs(m->y2 - m->y);
  if (m->x2 > m->x) m->direction = m->y2 == m->y ? kEast : m->y2 > m->y ? kSouthEast : kNorthEast;
  else if (m->x2 < m->x) m->direction = m->y2 == m->y ? kWest : m->y2 > m->y ? kSouthWest : kNorthWest;
  else m->direction = m->y2 > m->y ? kSouth : kNorth;
  m->xStep = m->bounceUnit = m->yStep = speed;
  if (EastOrWest(*m) && IsWave(*m)) {
    const vkDisplay* d = Gs(m).CurrentDisplay;
    const double amplitude = m->fx == kMoveSine ? 50.0 : double((d && d->bgpic ? d->bgpic->height : 0) / 2);
    for (int32_t i = 0; i < kMoveWaveSteps; i++) m->table[size_t(i)] = amplitude * std::sin(0.08 * (i + 1)) + m->y;
    m->waveIncrement = std::max(speed / 4, 1);
    m->wave = kMoveWaveSteps - int32_t((int64_t(StepsOver(dx, speed)) * m->waveIncrement) % kMoveWaveSteps);
    if (m->wave > kMoveWaveSteps - 1) m->wave -= kMoveWaveSteps;
  } else if (EastOrWest(*m) && IsCurve(*m)) {
    m->table[0] = std::numbers::pi / double(dx);
    m->distance = 0;
  } else if (dx != 0 && dy != 0) {
    if (m->width > m->height) {
      const int32_t n = StepsOver(dx, speed);
      m->yStep = dy / n, m->remainder = dy % n;
    } else {
      const int32_t n = StepsOver(dy, speed);
      m->xStep = m->bounceUnit = dx / n, m->remainder = dx % n;
    }
  }
  m->xSlow = SlowAmount(m->xStep), m->xZone = 6 * m->xStep;
  m->ySlow = SlowAmount(m->yStep), m->yZone = 6 * m->yStep;
}

// Reads the arguments every move command shares into [m]; 0 or an error.
int32_t ParseMoveArgs(vkState* L, int32_t type, vkMoveObject* m, int32_t* speed, int32_t* animSpeed) {
  const bool framed = type == ot::ANIM || type == ot::SPRITE;
  CheckArgCount(L, 5, framed ? 8 : 7);
  const int n = vmGetTop(L);
  m->L = L, m->type = type;
  m->id = type == ot::LAYER ? vkObjectId{GetLayerArg(L, 1), nullptr} : CheckObjectId(L, 1);
  m->x = vkDoubleToInt32(vmCheckNumber(L, 2)), m->y = vkDoubleToInt32(vmCheckNumber(L, 3));
  m->x2 = vkDoubleToInt32(vmCheckNumber(L, 4)), m->y2 = vkDoubleToInt32(vmCheckNumber(L, 5));
  *speed = kNormalSpeed, *animSpeed = kNormalSpeed;
  if (n == 6 && vmType(L, 6) == VK_TTABLE) {
    int32_t async = 0;
    OptFieldInt(L, 6, "fx", &m->fx, nullptr);
    OptFieldInt(L, 6, "speed", speed, nullptr);
    OptFieldInt(L, 6, "animspeed", animSpeed, nullptr);
    OptFieldInt(L, 6, "async", &async, nullptr);
    m->async = async != 0;
    return 0;
  }
  if (n >= 6) *speed = vkDoubleToInt32(vmCheckNumber(L, 6));
  if (n >= 7) {
    const int32_t seventh = vkDoubleToInt32(vmCheckNumber(L, 7));
    if (framed) *animSpeed = seventh;
    else m->fx = seventh;
  }
  if (n >= 8) m->fx = vkDoubleToInt32(vmCheckNumber(L, 8));
  return 0;
}

int MoveCommand(vkState* L, int32_t type) {
  vkMovePtr m(new (std::nothrow) vkMoveObject);
  if (!m) return kErrOutOfMemory;
  int32_t speed = 0, animSpeed = 0;
  if (int32_t rc = ParseMoveArgs(L, type, m.get(), &speed, &animSpeed)) return rc;
  m->xStep = speed;  // RunMove reads the requested speeds from here
  m->animSpeed = animSpeed;
  return RunMove(m.release());
}

int cmdMoveBrush(vkState* L) { return MoveCommand(L, ot::BRUSH); }
int cmdMoveAnim(vkState* L) { return MoveCommand(L, ot::ANIM); }
int cmdMoveTextObject(vkState* L) { return MoveCommand(L, ot::TEXTOBJECT); }
int cmdMoveLayer(vkState* L) { return MoveCommand(L, ot::LAYER); }
int cmdMoveSprite(vkState* L) { return MoveCommand(L, ot::SPRITE); }

const vkCommandDef kMoveCommands[] = {
    {"MoveBrush", cmdMoveBrush},   {"MoveAnim", cmdMoveAnim}, {"MoveTextObject", cmdMoveTextObject},
    {"MoveLayer", cmdMoveLayer},   {"MoveSprite", cmdMoveSprite}, {nullptr, nullptr},
};

const vkConstantDef kMoveConstants[] = {
    {"BOUNCE", nullptr, kMoveBounce},         {"SMOOTHOUT", nullptr, kMoveSmoothOut},
    {"DAMPED", nullptr, kMoveDamped},         {"SINE", nullptr, kMoveSine},
    {"BIGSINE", nullptr, kMoveBigSine},       {"LOWERCURVE", nullptr, kMoveLowerCurve},
    {"UPPERCURVE", nullptr, kMoveUpperCurve}, {nullptr, nullptr, 0},
};

}  // namespace

int RunMove(vkMoveObject* record) {
  vkMovePtr m(record);
  vkGraphicsState& gs = Gs(m.get());
  vkDisplay* d = gs.CurrentDisplay;
  if (!m->effectDriven) {
    if (int32_t rc = OutputTargetError(gs)) return rc;
    if (!d || !d->bgpic) return kErrWrongUsage;
  }
  const bool layersOn = d && d->layersOn;
  if (m->type == ot::SPRITE && (layersOn || (d && d->bgpic && !d->bgpic->layers.empty()))) return kErrLayersMustBeOff;
  const int32_t speed = StepOfSpeed(m->xStep);
  if (speed < 1) return kErrWrongUsage;
  m->animSpeed = MillisOfAnimSpeed(m->animSpeed, m->type);
  if (!m->effectDriven) {
    double anchorX = 0, anchorY = 0;
    if (m->type == ot::LAYER) {
      if (!layersOn) return kErrLayersRequired;
      const vkLayer* layer = MovedLayer(m.get());
      if (!layer) return kErrLayerOutOfRange;
      m->width = layer->inserted->width, m->height = layer->inserted->height;
      anchorX = layer->anchorX, anchorY = layer->anchorY;
      for (int32_t* v : {&m->x, &m->x2}) if (*v == kUseLayerPosition) *v = layer->inserted->x;
      for (int32_t* v : {&m->y, &m->y2}) if (*v == kUseLayerPosition) *v = layer->inserted->y;
    } else if (int32_t rc = TakeObject(m.get())) {
      return rc;
    }
    m->x = ResolveSpecialX(m->x, m->width, d->bgpic->width, 0, anchorX);
    m->x2 = ResolveSpecialX(m->x2, m->width, d->bgpic->width, 0, anchorX);
    m->y = ResolveSpecialY(m->y, m->height, d->bgpic->height, 0, anchorY);
    m->y2 = ResolveSpecialY(m->y2, m->height, d->bgpic->height, 0, anchorY);
    if (m->x == m->x2 && m->y == m->y2) return 0;
    if (layersOn && m->type != ot::LAYER)
      if (int32_t rc = TakeLayerOf(m.get())) return rc;
  } else if (m->x == m->x2 && m->y == m->y2) {
    m->x = m->x2 - 10, m->y = m->y2 - 10;
  }
  m->previousX = m->x, m->previousY = m->y;
  PlanSteps(m.get(), speed);
  if (m->type == ot::SPRITE) {
    if (int32_t rc = PlaceSprite(m->L, m->id, m->x, m->y, m->frame + 1)) return rc;
  } else if (m->type == ot::LAYER) {
    if (vkLayer* layer = MovedLayer(m.get())) PlaceLayer(m.get(), layer, m->x, m->y);
    m->frameCount = 0;
  } else if (d && d->bgpic) {
    m->pictureWidth = d->bgpic->width, m->pictureHeight = d->bgpic->height;
    if (int32_t rc = AllocMoveBuffers(m.get())) return rc;
  }
  vkosGetTimeValue(&m->nextFrame);
  AddMillis(&m->nextFrame, FrameDelay(m.get()));
  if (m->effectDriven) {
    m->step = MoveStep;
    m->release = MoveAsyncFree;
    (void)m.release();
    return 0;
  }
  if (m->async) {
    void* handle = nullptr;
    vkMoveObject* raw = m.release();
    if (int32_t rc = CreateAsyncDraw(gs, ADF_MOVEOBJECT, StepHook, nullptr, FreeHook, nullptr, raw, &handle)) {
      MoveAsyncFree(raw);
      return rc;
    }
    vmPushLightUserdata(raw->L, handle);
    return 1;
  }
  for (int32_t finished = 0; !finished;) {
    if (vkosPumpEvents(m->L) != 0) break;
    vkDisplay* now = gs.CurrentDisplay;
    if (now && now->bgpic && m->type != ot::SPRITE && m->type != ot::LAYER &&
        (now->bgpic->width != m->pictureWidth || now->bgpic->height != m->pictureHeight)) {
      m->pictureWidth = now->bgpic->width, m->pictureHeight = now->bgpic->height;
      if (!now->scaling && !now->layersOn)
        if (int32_t rc = AllocMoveBuffers(m.get())) return rc;
    }
    if (int32_t rc = MoveStep(m.get(), &finished)) return rc;
    FlushDisplayFrame(gs);
  }
  return 0;
}

int32_t MoveStep(vkMoveObject* move, int32_t* finished) { return Step(move, finished); }

void MoveAsyncFree(vkMoveObject* move) {
  if (!move) return;
  if (move->lockCount && *move->lockCount > 0) --*move->lockCount;
  move->lockCount = nullptr;
  move->work.reset();
  move->background.reset();
  move->ownedFrame = vkPlanes{};
  move->planes = vkBitmapSource{};
  if (!move->effectDriven) delete move;
}

int OpenMoveObjectLibrary(vkState* L) {
  vmRegisterFunctions(L, nullptr, kMoveCommands, 0);
  vmRegisterConstants(L, kMoveConstants);
  return RegisterLibrary(L, kMoveCommands, "moveobject");
}
