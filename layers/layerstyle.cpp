// Layer styles. One table names every style key with the layer types that
// carry it, how its value is read and checked, and which kind of change it
// makes; GetLayerStyle walks it to fill a table and SetLayerAttributes walks
// it to read one. A layer's style is taken as a copy (its record as
// inserted, transform, look), the keys change the copy, and the changes are
// then applied by class: content (the layer drawn anew in its place),
// position, transformation, anchor, clip, z order and look. Every changed
// layer queues its old and new rectangles, so nothing it showed before is
// left behind; the queue is recomposed once at the end, also when a later
// pair fails.
#include "layers/layerstyle.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/errors.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/clipregions.h"
#include "graphics/displayoptions.h"
#include "graphics/displays.h"
#include "graphics/positions.h"
#include "graphics/shapes.h"
#include "layers/animlib.h"
#include "layers/layerrender.h"
#include "layers/layers.h"
#include "layers/moveobject.h"
#include "layers/shapelayers.h"
#include "layers/textlayers.h"
#include "text/fonts.h"
#include "text/textobjects.h"
#include "text/textlayout.h"

namespace {

namespace ot = vkObjectType;

// ---- Layer types as bits of the key table ----

constexpr uint32_t TypeBit(int32_t type) {
  switch (type) {
    case ot::BRUSH: return 1u << 0;
    case ot::BRUSHPART: return 1u << 1;
    case ot::BGPICPART: return 1u << 2;
    case ot::ANIM: return 1u << 3;
    case ot::TEXTOBJECT: return 1u << 4;
    case ot::TEXTOUT: return 1u << 5;
    case ot::PRINT: return 1u << 6;
    case ot::BOX: return 1u << 7;
    case ot::CIRCLE: return 1u << 8;
    case ot::ELLIPSE: return 1u << 9;
    case ot::LINE: return 1u << 10;
    case ot::POLYGON: return 1u << 11;
    case ot::ARC: return 1u << 12;
    default: return 0;
  }
}

constexpr uint32_t kBitmaps = TypeBit(ot::BRUSH) | TypeBit(ot::BRUSHPART) | TypeBit(ot::BGPICPART);
constexpr uint32_t kTexts = TypeBit(ot::TEXTOUT) | TypeBit(ot::PRINT);
constexpr uint32_t kShapes = TypeBit(ot::BOX) | TypeBit(ot::CIRCLE) | TypeBit(ot::ELLIPSE) | TypeBit(ot::LINE) |
                             TypeBit(ot::POLYGON) | TypeBit(ot::ARC);
constexpr uint32_t kObjects = kBitmaps | TypeBit(ot::ANIM) | TypeBit(ot::TEXTOBJECT);
constexpr uint32_t kAll = kObjects | kTexts | kShapes;

// ---- What a change touches ----

enum Change : uint32_t {
  kNoChange = 0,
  kContent = 1,     // the layer is drawn anew from its parameters
  kPosition = 2,    // it moves
  kTransform = 4,   // its matrix is built and rendered again
  kAnchor = 8,      // its anchor moved: placed again about it
  kClip = 16,       // its clip region changed
  kOrder = 32,      // its place in the list changed
  kLook = 64,       // hidden, transparency, tint: recomposed in place
};

// ---- The style of one layer, as a copy that the keys change ----

// Where a text layer keeps what it is laid out from.
struct TextView {
  vkTextLayout* layout = nullptr;
  std::string* font = nullptr;
  int32_t* fontSize = nullptr;
  int32_t* fontEngine = nullptr;
  int32_t* fontCache = nullptr;
  int32_t* cursorX = nullptr;
  int32_t* cursorY = nullptr;
  int32_t* rightMargin = nullptr;
};

vkTextLayout* LayoutOf(vkLayerData* data) { return TextLayerLayout(data); }
vkShapeRecord* ShapeOf(vkLayerData* data) { return ShapeLayerRecord(data); }

struct Style {
  int32_t type = 0;
  vkObjectId id;
  vkLayerDataPtr source;  // the record as inserted, without planes: part, frame, kind parameters
  int32_t x = 0, y = 0;  // logical position
  int32_t translateX = 0, translateY = 0;
  bool translated = false;
  int32_t z = 0;
  vkTransform transform;
  double anchorX = 0, anchorY = 0;
  int32_t transparency = 0, tint = 0;
  uint32_t tintColor = 0;
  int32_t hidden = 0;
  vkClipRegion* clip = nullptr;
  int32_t noClipTransform = 0;
  std::string name, group;
  // Text layers: the font as keys name it, and the print cursor and right margin.
  std::string fontName;
  int32_t fontSize = 0, fontEngine = 0, fontCache = 1;
  int32_t cursorX = 0, rightMargin = 0;
  // Scratch of the readers.
  TextView text;
  vkShapeRecord* shape = nullptr;
  bool hasText = false;
};


vkClipRegion* ClipOf(const vkLayer* layer) { return layer->inserted->clip; }

void ViewKind(Style* st);

// The style of [layer] as it stands; false when its record cannot be copied.
bool TakeStyle(vkLayer* layer, Style* st) {
  st->type = layer->type;
  st->id = layer->object;
  st->source = CopyLayerData(*layer->inserted);
  if (!st->source) return false;
  st->x = layer->inserted->x, st->y = layer->inserted->y;
  st->transform = layer->transform;
  st->anchorX = layer->anchorX, st->anchorY = layer->anchorY;
  st->transparency = layer->transparency, st->tint = layer->tint, st->tintColor = layer->tintColor;
  st->hidden = layer->hidden;
  st->clip = ClipOf(layer);
  st->noClipTransform = layer->noClipTransform;
  st->name = layer->name, st->group = layer->group;
  ViewKind(st);
  return true;
}

// Points the style's text and shape views at its record's kind.
void ViewKind(Style* st) {
  st->shape = ShapeOf(st->source.get());
  st->hasText = false;
  if (vkTextLayout* layout = LayoutOf(st->source.get())) {
    st->hasText = true;
    TextView& v = st->text;
    v.layout = layout;
    if (const vkFont* f = layout->style.font) {
      st->fontName = f->requestedName.empty() ? f->name : f->requestedName;
      st->fontSize = f->size, st->fontEngine = int32_t(f->engine);
    }
    st->cursorX = layout->leftMargin + layout->startX;
    st->rightMargin = layout->wrapWidth ? layout->leftMargin + layout->wrapWidth - 1 : 0;
    v.font = &st->fontName, v.fontSize = &st->fontSize, v.fontEngine = &st->fontEngine;
    v.fontCache = &st->fontCache, v.cursorX = &st->cursorX, v.cursorY = &st->y, v.rightMargin = &st->rightMargin;
  }
}

// ---- The key table ----

// How a key's value is read and checked.
enum class Value : uint8_t {
  Int,       // a whole number
  Number,    // a real number
  Colour,    // an RGB number
  Level,     // 0..255, values outside clamped
  Flag,      // 0 or 1 (any other number counts as 1)
  Special,   // read by the key's own reader
};

struct Ctx;

struct StyleKey {
  const char* name;
  uint32_t types;   // the layer types whose tables carry the key
  Value value;
  uint32_t change;  // what a new value changes
  int32_t error;    // a value the key refuses, a number that is not finite
  bool getOnly;     // reported, never read
  bool setOnly;     // read, never reported
  // Where the value lives in the style (Int, Level, Flag: int32_t; Number:
  // double; Colour: uint32_t); null when the layer has no such field.
  void* (*field)(Style& st);
  // Special keys: reads the value on top of the stack into the style (0 or
  // an error code), and pushes it for GetLayerStyle.
  int32_t (*read)(Ctx& c, const StyleKey& key);
  void (*push)(vkState* L, Style& st, const StyleKey& key);
};

struct Ctx {
  vkState* L;
  vkGraphicsState& gs;
  vkLayer* layer;
  Style& st;
  int table;  // stack index of the table read
  uint32_t changed = 0;
  int32_t contentChanges = 0;  // content keys whose value changed
  bool colourOnly = false;     // and the one that did is the colour
};


// The number on top of the stack; a non-number raises the field error, a
// number that is not finite is [key]'s error.
int32_t ReadNumber(Ctx& c, const StyleKey& key, double* out) {
  const double d = vmCheckNumberField(c.L, -1, key.name);
  if (!std::isfinite(d)) return key.error;
  *out = d;
  return 0;
}

// Notes a change of [key]'s value.
void Changed(Ctx& c, const StyleKey& key) {
  c.changed |= key.change;
  if (key.change & kContent) c.colourOnly = ++c.contentChanges == 1 && std::string_view(key.name) == "color";
}

template <typename T>
void Store(Ctx& c, const StyleKey& key, T* field, T value) {
  if (*field != value) Changed(c, key);
  *field = value;
}

// ---- Field locators ----

#define STYLE_FIELD(member) [](Style& st) -> void* { return &st.member; }

void* ColourField(Style& st) {
  if (st.hasText) return &st.text.layout->style.fontColour;
  if (st.shape) return &st.shape->request.color;
  return nullptr;
}
void* ShadowDirField(Style& st) {
  if (st.hasText) return &st.text.layout->style.shadowDirection;
  if (st.shape) return &st.shape->drawState.shadowDir;
  return nullptr;
}
void* ShadowColourField(Style& st) {
  if (st.hasText) return &st.text.layout->style.shadowColour;
  if (st.shape) return &st.shape->drawState.shadowColor;
  return nullptr;
}
void* ShadowSizeField(Style& st) {
  if (st.hasText) return &st.text.layout->style.shadowSize;
  if (st.shape) return &st.shape->drawState.shadowSize;
  return nullptr;
}
void* EdgeColourField(Style& st) {
  if (st.hasText) return &st.text.layout->style.edgeColour;
  if (st.shape) return &st.shape->drawState.edgeColor;
  return nullptr;
}
void* EdgeSizeField(Style& st) {
  if (st.hasText) return &st.text.layout->style.edgeSize;
  if (st.shape) return &st.shape->drawState.edgeSize;
  return nullptr;
}
#define TEXT_FIELD(expr) [](Style& st) -> void* { return st.hasText ? (void*)(expr) : nullptr; }
#define SHAPE_FIELD(member) [](Style& st) -> void* { return st.shape ? (void*)&st.shape->member : nullptr; }

// ---- Special readers and writers ----

void PushId(vkState* L, const vkObjectId& id) {
  if (id.handle) vmPushLightUserdata(L, id.handle);
  else vmPushNumber(L, id.number);
}

int32_t ReadType(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  const int32_t type = vkDoubleToInt32(d);
  if (!TypeBit(type)) return kErrWrongUsage;
  // A whole brush after a part, the first frame of an anim after anything else.
  if (type != c.st.type && (type == ot::BRUSH || type == ot::ANIM)) c.st.source->sourceX = c.st.source->sourceY = 0;
  // A text or a shape made of another kind of layer starts from the text
  // or draw state, at the layer's place; the keys read next fill it in.
  const int32_t x = c.st.source->x, y = c.st.source->y;
  if ((TypeBit(type) & kTexts) && !c.st.hasText) {
    const vkTextState& ts = GetTextState(c.L);
    vkTextLayout layout;
    layout.style = ts.style;
    layout.encoding = ts.defaultEncoding;
    vkLayerDataPtr made = NewTextLayerData(c.L, layout, x, y);
    if (!made) return kErrOutOfMemory;
    c.st.source = std::move(made);
    ViewKind(&c.st);
  } else if ((TypeBit(type) & kShapes) && !c.st.shape) {
    vkShapeRecord record;
    record.L = c.L;
    record.drawState = DrawLib(c.gs).state;
    record.request.type = type;
    record.request.x = x, record.request.y = y;
    record.request.color = 0xFFFFFF;
    vkLayerDataPtr made = NewShapeLayerData(record, x, y);
    if (!made) return kErrOutOfMemory;
    c.st.source = std::move(made);
    ViewKind(&c.st);
  }
  Store(c, key, &c.st.type, type);
  return 0;
}
void PushType(vkState* L, Style& st, const StyleKey&) { vmPushNumber(L, st.type); }

int32_t ReadId(Ctx& c, const StyleKey& key) {
  const vkObjectId id = CheckObjectId(c.L, vmGetTop(c.L));
  Store(c, key, &c.st.id, id);
  return 0;
}
void PushIdKey(vkState* L, Style& st, const StyleKey&) { PushId(L, st.id); }

// The part rectangle: giving one of its keys on a brush layer makes a part of it.
int32_t ReadPart(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  const int32_t v = vkDoubleToInt32(d);
  vkLayerData& s = *c.st.source;
  const std::string name = key.name;
  int32_t* field = name == "partx" ? &s.sourceX : name == "party" ? &s.sourceY : name == "partwidth" ? &s.width
                                                                                                      : &s.height;
  if ((field == &s.width || field == &s.height) && v < 1) return kErrSizeNotPositive;
  if ((field == &s.sourceX || field == &s.sourceY) && v < 0) return kErrNegativeCoords;
  if (*field == v) return 0;
  Store(c, key, field, v);
  if (c.st.type == ot::BRUSH) c.st.type = ot::BRUSHPART;
  return 0;
}
void PushPart(vkState* L, Style& st, const StyleKey& key) {
  const vkLayerData& s = *st.source;
  const std::string name = key.name;
  vmPushNumber(L, name == "partx" ? s.sourceX : name == "party" ? s.sourceY : name == "partwidth" ? s.width : s.height);
}

int32_t ReadFrame(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  // The anim the style shows (a new "id" is read before).
  int32_t count = 0;
  vkAnim* anim = nullptr;
  if (FindAnim(c.gs, c.st.id, &anim, kAnimFindOrphaned | kAnimFindNoDetach) == 0) count = anim->frameCount;
  const int32_t current = c.st.source->sourceX + 1;
  int32_t frame = vkDoubleToInt32(d);
  if (frame == 0) frame = current >= count ? 1 : current + 1;
  else if (frame == -1) frame = count;
  if (frame < 1 || frame > count) return kErrAnimFrameRange;
  Store(c, key, &c.st.source->sourceX, frame - 1);
  return 0;
}
void PushFrame(vkState* L, Style& st, const StyleKey&) { vmPushNumber(L, st.source->sourceX + 1); }

// "fontstyle" / "formstyle": a value with the normal bit resets the style to
// it, any other adds its bits; the "...clear" keys remove bits.
int32_t ReadStyleBits(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  const uint32_t v = vkDoubleToWord(d);
  const std::string name = key.name;
  const bool font = name.rfind("font", 0) == 0;
  const bool clear = name.size() > 5 && name.compare(name.size() - 5, 5, "clear") == 0;
  if (font && !c.st.hasText) return 0;
  if (!font && !c.st.shape) return 0;
  uint32_t bits = font ? c.st.text.layout->style.style : uint32_t(c.st.shape->drawState.formStyle);
  if (clear) bits &= ~v;
  else if (v & 1) bits = v;
  else bits |= v;
  if (font) Store(c, key, &c.st.text.layout->style.style, bits);
  else Store(c, key, &c.st.shape->drawState.formStyle, int32_t(bits));
  return 0;
}
void PushStyleBits(vkState* L, Style& st, const StyleKey&) {
  if (st.hasText) vmPushNumber(L, st.text.layout->style.style);
  else if (st.shape) vmPushNumber(L, st.shape->drawState.formStyle);
  else vmPushNumber(L, 0);
}

int32_t ReadMargin(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  const int32_t v = vkDoubleToInt32(d);
  if (v < 0) return key.error;
  if (!c.st.hasText) return 0;
  if (std::string(key.name) == "leftmargin") Store(c, key, &c.st.text.layout->leftMargin, v);
  else if (c.st.text.rightMargin) Store(c, key, c.st.text.rightMargin, v);
  return 0;
}
void PushMargin(vkState* L, Style& st, const StyleKey& key) {
  if (!st.hasText) vmPushNumber(L, 0);
  else if (std::string(key.name) == "leftmargin") vmPushNumber(L, st.text.layout->leftMargin);
  else vmPushNumber(L, st.text.rightMargin ? *st.text.rightMargin : 0);
}

// A cursor coordinate: special coordinates mean nothing here.
int32_t ReadCursor(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  const int32_t v = vkDoubleToInt32(d);
  if (v <= kPosBottomOut + 4999 && v >= kPosCenter - 4999) return kErrCoordinateConstant;
  if (!c.st.hasText || !c.st.text.cursorX) return 0;
  const bool isX = std::string(key.name) == "cursorx";
  // The text stands where the cursor stood: its y is the layer's.
  if (!isX && v != c.st.y) c.changed |= kPosition;
  if (isX) Store(c, key, c.st.text.cursorX, v);
  else c.st.y = v;
  return 0;
}
void PushCursor(vkState* L, Style& st, const StyleKey& key) {
  const int32_t* field = std::string(key.name) == "cursorx" ? st.text.cursorX : st.text.cursorY;
  vmPushNumber(L, st.hasText && field ? *field : 0);
}


// Tab stops: up to 32 numbers at the indices 0..., sorted ascending.
constexpr size_t kTabStops = 32;
int32_t ReadTabs(Ctx& c, const StyleKey& key) {
  vkState* L = c.L;
  const int t = vmGetTop(L);
  if (vmType(L, t) != VK_TTABLE) {
    SetErrorText(key.name);
    return kErrTableExpected;
  }
  std::vector<int32_t> tabs;
  for (int i = 0;; i++) {
    vmRawGetI(L, t, i);
    const int type = vmType(L, -1);
    if (type == VK_TNIL) {
      vmSetTop(L, -2);
      break;
    }
    if (tabs.size() == kTabStops) {
      vmSetTop(L, -2);
      return kErrInternalLimit;
    }
    if (type != VK_TNUMBER || !std::isfinite(vmToNumber(L, -1))) {
      vmSetTop(L, -2);
      SetErrorText(key.name);
      return kErrNumberFieldExpected;
    }
    tabs.push_back(vkDoubleToInt32(vmToNumber(L, -1)));
    vmSetTop(L, -2);
  }
  std::sort(tabs.begin(), tabs.end());
  if (!c.st.hasText) return 0;
  if (c.st.text.layout->tabs != tabs) Changed(c, key);
  c.st.text.layout->tabs = std::move(tabs);
  return 0;
}
void PushTabs(vkState* L, Style& st, const StyleKey&) {
  vmNewTable(L);
  if (!st.hasText) return;
  const std::vector<int32_t>& tabs = st.text.layout->tabs;
  for (size_t i = 0; i < tabs.size(); i++) {
    vmPushNumber(L, tabs[i]);
    vmRawSetI(L, -2, int(i));
  }
}

int32_t ReadString(Ctx& c, const StyleKey& key) {
  size_t len = 0;
  const char* s = vmCheckStringField(c.L, vmGetTop(c.L), &len, key.name);
  if (!c.st.hasText) return 0;
  const bool text = std::string(key.name) == "text";
  std::string* field = text ? &c.st.text.layout->text : c.st.text.font;
  if (!field) return 0;
  Store(c, key, field, std::string(s, len));
  return 0;
}
void PushString(vkState* L, Style& st, const StyleKey& key) {
  const std::string* field = !st.hasText ? nullptr : std::string(key.name) == "text" ? &st.text.layout->text : st.text.font;
  if (field) vmPushLString(L, field->data(), field->size());
  else vmPushString(L, "");
}

int32_t ReadVertices(Ctx& c, const StyleKey& key) {
  vkState* L = c.L;
  const int t = vmGetTop(L);
  if (vmType(L, t) != VK_TTABLE) {
    SetErrorText(key.name);
    return kErrTableExpected;
  }
  std::vector<vkPoint> points;
  int32_t w = 0, h = 0, mx = 0, my = 0;
  if (int32_t rc = ReadVertexTable(L, t, 0, &points, &w, &h, &mx, &my)) return rc;
  if (!c.st.shape) return 0;
  c.st.shape->request.points = std::move(points);
  c.st.shape->request.width = w, c.st.shape->request.height = h;
  Changed(c, key);
  return 0;
}
void PushVertexCount(vkState* L, Style& st, const StyleKey&) {
  vmPushNumber(L, st.shape ? double(st.shape->request.points.size()) : 0);
}

int32_t ReadPosition(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  const int32_t v = vkDoubleToInt32(d);
  const std::string name = key.name;
  if (name == "translatex" || name == "translatey") {
    (name == "translatex" ? c.st.translateX : c.st.translateY) = v;
    c.st.translated = true;
    if (v != 0) c.changed |= kPosition;
    return 0;
  }
  if (v == kStyleKeep) return 0;
  vkLayerData* in = c.layer->inserted;
  const int32_t resolved = name == "x" ? ResolveOutputX(c.gs, v, in->width, c.st.anchorX)
                                        : ResolveOutputY(c.gs, v, in->height, c.st.anchorY);
  Store(c, key, name == "x" ? &c.st.x : &c.st.y, resolved);
  return 0;
}
void PushPosition(vkState* L, Style& st, const StyleKey& key) { vmPushNumber(L, key.name[0] == 'x' ? st.x : st.y); }

// "width" / "height": pixels, or a percentage of the object's size; 0 the object's own.
int32_t ReadSize(Ctx& c, const StyleKey& key) {
  const bool isWidth = std::string(key.name) == "width";
  const int32_t object = isWidth ? c.layer->inserted->width : c.layer->inserted->height;
  double d = 0;
  OptFieldNumberOrPercent(c.L, c.table, key.name, object, true, nullptr, &d, nullptr);
  if (!std::isfinite(d)) return key.error;
  const int32_t v = vkDoubleToInt32(std::nearbyint(d));
  if (v < 0) return key.error;
  if (c.st.transform.explicitFlag) return 0;
  int32_t* field = isWidth ? &c.st.transform.width : &c.st.transform.height;
  // 0 and the object's own size make the same matrix.
  const int32_t was = *field == 0 ? object : *field;
  if ((v == 0 ? object : v) != was) c.changed |= key.change;
  *field = v;
  return 0;
}

void PushSize(vkState* L, Style& st, const StyleKey& key) {
  const bool isWidth = std::string(key.name) == "width";
  const int32_t given = isWidth ? st.transform.width : st.transform.height;
  vmPushNumber(L, given ? given : isWidth ? st.source->width : st.source->height);
}

int32_t ReadScale(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  if (d == 0.0) return key.error;
  if (c.st.transform.explicitFlag) return 0;
  Store(c, key, std::string(key.name) == "scalex" ? &c.st.transform.scaleX : &c.st.transform.scaleY, d);
  return 0;
}

void PushScale(vkState* L, Style& st, const StyleKey& key) {
  vmPushNumber(L, std::string(key.name) == "scalex" ? st.transform.scaleX : st.transform.scaleY);
}

int32_t ReadRotate(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  if (c.st.transform.explicitFlag) return 0;
  Store(c, key, &c.st.transform.rotate, int32_t(std::fmod(std::trunc(d), 360.0)));
  return 0;
}

void PushRotate(vkState* L, Style& st, const StyleKey&) { vmPushNumber(L, st.transform.rotate); }

// An explicit matrix replaces rotation, scales and size. The identity
// beside rotation or scale keys, as GetLayerStyle reports a layer without
// an explicit matrix, asks for nothing: a table read back changes nothing.
int32_t ReadMatrix(Ctx& c, const StyleKey& key) {
  vkState* L = c.L;
  double m[4] = {1, 0, 0, 1};
  OptFieldMatrix(L, c.table, key.name, m, nullptr);
  for (double v : m)
    if (!std::isfinite(v)) return key.error;
  if (m[0] == 0.0 || m[3] == 0.0) return key.error;
  vkTransform& t = c.st.transform;
  const bool identity = m[0] == 1.0 && m[1] == 0.0 && m[2] == 0.0 && m[3] == 1.0;
  if (identity && !c.layer->transform.explicitFlag) {
    bool others = false;
    for (const char* name : {"rotate", "scalex", "scaley", "width", "height"}) {
      vmPushString(L, name);
      vmGetTable(L, c.table);
      others = others || vmType(L, -1) != VK_TNIL;
      vmSetTop(L, -2);
    }
    if (others) return 0;
  }
  if (!t.explicitFlag || !std::equal(m, m + 4, t.explicitMatrix)) c.changed |= key.change;
  std::copy(m, m + 4, t.explicitMatrix);
  t.explicitFlag = 1;
  t.rotate = 0, t.scaleX = t.scaleY = 1.0, t.width = t.height = 0;
  return 0;
}
void PushMatrix(vkState* L, Style& st, const StyleKey&) {
  const vkTransform& t = st.transform;
  const double identity[4] = {1, 0, 0, 1};
  const double* m = t.explicitFlag ? t.explicitMatrix : identity;
  vmNewTable(L);
  for (int k = 0; k < 4; k++) {
    vmPushNumber(L, m[k]);
    vmRawSetI(L, -2, k);
  }
}

int32_t ReadAnchor(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  if (d < 0.0 || d > 1.0) return key.error;
  Store(c, key, std::string(key.name) == "anchorx" ? &c.st.anchorX : &c.st.anchorY, d);
  return 0;
}

void PushAnchor(vkState* L, Style& st, const StyleKey& key) {
  vmPushNumber(L, std::string(key.name) == "anchorx" ? st.anchorX : st.anchorY);
}

int32_t ReadClipRegion(Ctx& c, const StyleKey& key) {
  vkState* L = c.L;
  const int t = vmGetTop(L);
  vkClipRegion* clip = nullptr;
  if (!(vmType(L, t) == VK_TNUMBER && vkDoubleToInt32(vmToNumber(L, t)) == -1)) {
    const vkObjectId id = CheckObjectId(L, t);
    clip = FindClipRegion(c.gs, id);
    if (!clip) {
      if (id.handle) return kErrObjectNotFound;
      SetErrorNumber(id.number);
      return kErrNoClipRegion;
    }
  }
  Store(c, key, &c.st.clip, clip);
  return 0;
}
void PushClipRegion(vkState* L, Style& st, const StyleKey&) {
  if (!st.clip) vmPushNumber(L, -1);
  else if (st.clip->idHandle) vmPushLightUserdata(L, st.clip->idHandle);
  else vmPushNumber(L, st.clip->idNumber);
}

int32_t ReadOrder(Ctx& c, const StyleKey& key) {
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  const int32_t z = vkDoubleToInt32(d);
  const int32_t count = CountLayers(c.layer->bgpic);
  const int32_t was = GetLayerIndex(c.gs, c.layer);
  c.st.z = z;
  if ((z >= 1 && z <= count ? z : count) != was) c.changed |= key.change;
  return 0;
}

void PushName(vkState* L, Style& st, const StyleKey&) { vmPushString(L, st.name.c_str()); }
void PushGroup(vkState* L, Style& st, const StyleKey&) { vmPushString(L, st.group.c_str()); }

constexpr uint32_t kPrint = TypeBit(ot::PRINT);
constexpr uint32_t kTextOut = TypeBit(ot::TEXTOUT);
constexpr uint32_t kTextAndShapes = kTexts | kShapes;

// The keys, in the order GetLayerStyle reports them.
const StyleKey kStyleKeys[] = {
    {"type", kAll, Value::Special, kContent, kErrWrongUsage, false, false, nullptr, ReadType, PushType},
    {"id", kObjects, Value::Special, kContent, kErrWrongUsage, false, false, nullptr, ReadId, PushIdKey},
    {"partx", kBitmaps, Value::Special, kContent, kErrWrongUsage, false, false, nullptr, ReadPart, PushPart},
    {"party", kBitmaps, Value::Special, kContent, kErrWrongUsage, false, false, nullptr, ReadPart, PushPart},
    {"partwidth", kBitmaps, Value::Special, kContent, kErrSizeNotPositive, false, false, nullptr, ReadPart, PushPart},
    {"partheight", kBitmaps, Value::Special, kContent, kErrSizeNotPositive, false, false, nullptr, ReadPart, PushPart},
    {"frame", TypeBit(ot::ANIM), Value::Special, kContent, kErrAnimFrameRange, false, false, nullptr, ReadFrame,
     PushFrame},
    {"color", kTextAndShapes, Value::Colour, kContent, kErrWrongUsage, false, false, ColourField, nullptr, nullptr},
    {"fontstyle", kTexts, Value::Special, kContent, kErrWrongUsage, false, false, nullptr, ReadStyleBits,
     PushStyleBits},
    {"fontstyleclear", kTexts, Value::Special, kContent, kErrWrongUsage, false, true, nullptr, ReadStyleBits,
     nullptr},
    {"shadowdir", kTextAndShapes, Value::Int, kContent, kErrWrongUsage, false, false, ShadowDirField, nullptr,
     nullptr},
    {"shadowcolor", kTextAndShapes, Value::Colour, kContent, kErrWrongUsage, false, false, ShadowColourField,
     nullptr, nullptr},
    {"shadowsize", kTextAndShapes, Value::Int, kContent, kErrWrongUsage, false, false, ShadowSizeField, nullptr,
     nullptr},
    {"edgecolor", kTextAndShapes, Value::Colour, kContent, kErrWrongUsage, false, false, EdgeColourField, nullptr,
     nullptr},
    {"edgesize", kTextAndShapes, Value::Int, kContent, kErrWrongUsage, false, false, EdgeSizeField, nullptr,
     nullptr},
    {"encoding", kTexts, Value::Int, kContent, kErrWrongUsage, false, false,
     TEXT_FIELD(&st.text.layout->encoding), nullptr, nullptr},
    {"align", kTextOut, Value::Int, kContent, kErrWrongUsage, false, false, TEXT_FIELD(&st.text.layout->align),
     nullptr, nullptr},
    {"leftmargin", kPrint, Value::Special, kContent, kErrWrongUsage, false, false, nullptr, ReadMargin, PushMargin},
    {"rightmargin", kTexts, Value::Special, kContent, kErrWrongUsage, false, false, nullptr, ReadMargin, PushMargin},
    {"cursorx", kPrint, Value::Special, kContent, kErrCoordinateConstant, false, false, nullptr, ReadCursor,
     PushCursor},
    {"cursory", kPrint, Value::Special, kContent, kErrCoordinateConstant, false, false, nullptr, ReadCursor,
     PushCursor},
    {"tabs", kPrint, Value::Special, kContent, kErrInternalLimit, false, false, nullptr, ReadTabs, PushTabs},
    {"fontsize", kTexts, Value::Int, kContent, kErrWrongUsage, false, false, TEXT_FIELD(st.text.fontSize), nullptr,
     nullptr},
    {"font", kTexts, Value::Special, kContent, kErrWrongUsage, false, false, nullptr, ReadString, PushString},
    {"fontengine", kTexts, Value::Int, kContent, kErrWrongUsage, false, true, TEXT_FIELD(st.text.fontEngine),
     nullptr, nullptr},
    {"fontcache", kTexts, Value::Int, kNoChange, kErrWrongUsage, false, true, TEXT_FIELD(st.text.fontCache),
     nullptr, nullptr},
    {"text", kTexts, Value::Special, kContent, kErrWrongUsage, false, false, nullptr, ReadString, PushString},
    {"formstyle", kShapes, Value::Special, kContent, kErrWrongUsage, false, false, nullptr, ReadStyleBits,
     PushStyleBits},
    {"formstyleclear", kShapes, Value::Special, kContent, kErrWrongUsage, false, true, nullptr, ReadStyleBits,
     nullptr},
    {"fillstyle", kShapes, Value::Int, kContent, kErrWrongUsage, false, false, SHAPE_FIELD(drawState.fillStyle),
     nullptr, nullptr},
    {"gradientstyle", kShapes, Value::Int, kContent, kErrWrongUsage, false, false,
     SHAPE_FIELD(drawState.gradientStyle), nullptr, nullptr},
    {"gradientangle", kShapes, Value::Int, kContent, kErrWrongUsage, false, false,
     SHAPE_FIELD(drawState.gradientAngle), nullptr, nullptr},
    {"gradientstartcolor", kShapes, Value::Colour, kContent, kErrWrongUsage, false, false,
     SHAPE_FIELD(drawState.gradientStart), nullptr, nullptr},
    {"gradientendcolor", kShapes, Value::Colour, kContent, kErrWrongUsage, false, false,
     SHAPE_FIELD(drawState.gradientEnd), nullptr, nullptr},
    {"texturebrush", kShapes, Value::Int, kContent, kErrWrongUsage, false, false,
     SHAPE_FIELD(drawState.texture.number), nullptr, nullptr},
    {"texturex", kShapes, Value::Int, kContent, kErrWrongUsage, false, false, SHAPE_FIELD(drawState.textureX),
     nullptr, nullptr},
    {"texturey", kShapes, Value::Int, kContent, kErrWrongUsage, false, false, SHAPE_FIELD(drawState.textureY),
     nullptr, nullptr},
    {"outlinethickness", kShapes, Value::Int, kContent, kErrWrongUsage, false, false,
     SHAPE_FIELD(drawState.outlineThickness), nullptr, nullptr},
    {"sizex", TypeBit(ot::BOX), Value::Int, kContent, kErrSizeNotPositive, false, false, SHAPE_FIELD(request.width),
     nullptr, nullptr},
    {"sizey", TypeBit(ot::BOX), Value::Int, kContent, kErrSizeNotPositive, false, false,
     SHAPE_FIELD(request.height), nullptr, nullptr},
    {"roundlevel", TypeBit(ot::BOX), Value::Int, kContent, kErrWrongUsage, false, false,
     SHAPE_FIELD(request.roundlevel), nullptr, nullptr},
    {"radius", TypeBit(ot::CIRCLE), Value::Int, kContent, kErrSizeNotPositive, false, false, SHAPE_FIELD(request.rx),
     nullptr, nullptr},
    {"radiusa", TypeBit(ot::ELLIPSE) | TypeBit(ot::ARC), Value::Int, kContent, kErrSizeNotPositive, false, false,
     SHAPE_FIELD(request.rx), nullptr, nullptr},
    {"radiusb", TypeBit(ot::ELLIPSE) | TypeBit(ot::ARC), Value::Int, kContent, kErrSizeNotPositive, false, false,
     SHAPE_FIELD(request.ry), nullptr, nullptr},
    {"startangle", TypeBit(ot::ARC), Value::Int, kContent, kErrWrongUsage, false, false, SHAPE_FIELD(request.start),
     nullptr, nullptr},
    {"endangle", TypeBit(ot::ARC), Value::Int, kContent, kErrWrongUsage, false, false, SHAPE_FIELD(request.end),
     nullptr, nullptr},
    {"clockwise", TypeBit(ot::ARC), Value::Flag, kContent, kErrWrongUsage, false, false,
     SHAPE_FIELD(request.clockwise), nullptr, nullptr},
    {"x1", TypeBit(ot::LINE), Value::Int, kContent, kErrWrongUsage, false, true, SHAPE_FIELD(x1), nullptr, nullptr},
    {"y1", TypeBit(ot::LINE), Value::Int, kContent, kErrWrongUsage, false, true, SHAPE_FIELD(y1), nullptr, nullptr},
    {"x2", TypeBit(ot::LINE), Value::Int, kContent, kErrWrongUsage, false, true, SHAPE_FIELD(x2), nullptr, nullptr},
    {"y2", TypeBit(ot::LINE), Value::Int, kContent, kErrWrongUsage, false, true, SHAPE_FIELD(y2), nullptr, nullptr},
    {"thickness", TypeBit(ot::LINE), Value::Int, kContent, kErrSizeNotPositive, false, true,
     SHAPE_FIELD(thickness), nullptr, nullptr},
    {"vertices", TypeBit(ot::POLYGON), Value::Special, kContent, kErrWrongUsage, false, true, nullptr,
     ReadVertices, nullptr},
    {"numvertices", TypeBit(ot::POLYGON), Value::Special, kNoChange, kErrWrongUsage, true, false, nullptr, nullptr,
     PushVertexCount},
    {"x", kAll, Value::Special, kPosition, kErrWrongUsage, false, false, nullptr, ReadPosition, PushPosition},
    {"y", kAll, Value::Special, kPosition, kErrWrongUsage, false, false, nullptr, ReadPosition, PushPosition},
    {"translatex", kAll, Value::Special, kPosition, kErrWrongUsage, false, true, nullptr, ReadPosition, nullptr},
    {"translatey", kAll, Value::Special, kPosition, kErrWrongUsage, false, true, nullptr, ReadPosition, nullptr},
    {"z", kAll, Value::Special, kOrder, kErrWrongUsage, false, true, nullptr, ReadOrder, nullptr},
    {"width", kAll, Value::Special, kTransform, kErrSizeNotPositive, false, false, nullptr, ReadSize, PushSize},
    {"height", kAll, Value::Special, kTransform, kErrSizeNotPositive, false, false, nullptr, ReadSize, PushSize},
    {"scalex", kAll, Value::Special, kTransform, kErrSizeNotPositive, false, false, nullptr, ReadScale, PushScale},
    {"scaley", kAll, Value::Special, kTransform, kErrSizeNotPositive, false, false, nullptr, ReadScale, PushScale},
    {"rotate", kAll, Value::Special, kTransform, kErrWrongUsage, false, false, nullptr, ReadRotate, PushRotate},
    {"transform", kAll, Value::Special, kTransform, kErrWrongUsage, false, false, nullptr, ReadMatrix, PushMatrix},
    {"anchorx", kAll, Value::Special, kAnchor, kErrWrongUsage, false, false, nullptr, ReadAnchor, PushAnchor},
    {"anchory", kAll, Value::Special, kAnchor, kErrWrongUsage, false, false, nullptr, ReadAnchor, PushAnchor},
    {"smoothscale", kAll, Value::Flag, kTransform, kErrWrongUsage, false, false, STYLE_FIELD(transform.smooth),
     nullptr, nullptr},
    {"transparency", kAll, Value::Level, kLook, kErrWrongUsage, false, false, STYLE_FIELD(transparency), nullptr,
     nullptr},
    {"tint", kAll, Value::Level, kLook, kErrWrongUsage, false, false, STYLE_FIELD(tint), nullptr, nullptr},
    {"tintcolor", kAll, Value::Colour, kLook, kErrWrongUsage, false, false, STYLE_FIELD(tintColor), nullptr,
     nullptr},
    {"hidden", kAll, Value::Flag, kLook, kErrWrongUsage, false, false, STYLE_FIELD(hidden), nullptr, nullptr},
    {"clipregion", kAll, Value::Special, kClip, kErrWrongUsage, false, false, nullptr, ReadClipRegion,
     PushClipRegion},
    {"nocliptransform", kAll, Value::Flag, kClip, kErrWrongUsage, false, true, STYLE_FIELD(noClipTransform),
     nullptr, nullptr},
    {"group", kAll, Value::Special, kNoChange, kErrWrongUsage, true, false, nullptr, nullptr, PushGroup},
    {"name", kAll, Value::Special, kNoChange, kErrWrongUsage, true, false, nullptr, nullptr, PushName},
};

// Reads the value of [key] (on top of the stack) into the style.
int32_t ReadKey(Ctx& c, const StyleKey& key) {
  if (key.read) return key.read(c, key);
  void* field = key.field(c.st);
  double d = 0;
  if (int32_t rc = ReadNumber(c, key, &d)) return rc;
  switch (key.value) {
    case Value::Int: {
      const int32_t v = vkDoubleToInt32(d);
      if (key.error == kErrSizeNotPositive && v < 1) return key.error;
      if (std::string(key.name) == "encoding" && (v < 0 || v > 1)) return key.error;
      if (field) Store(c, key, static_cast<int32_t*>(field), v);
      break;
    }
    case Value::Number:
      if (field) Store(c, key, static_cast<double*>(field), d);
      break;
    case Value::Colour:
      // The top byte (a text colour's transparency) stays.
      if (field) {
        uint32_t* colour = static_cast<uint32_t*>(field);
        Store(c, key, colour, (*colour & 0xFF000000u) | (vkDoubleToWord(d) & 0xFFFFFFu));
      }
      break;
    case Value::Level:
      if (field) Store(c, key, static_cast<int32_t*>(field), int32_t(std::clamp(d, 0.0, 255.0)));
      break;
    case Value::Flag:
      if (field) Store(c, key, static_cast<int32_t*>(field), d != 0.0 ? 1 : 0);
      break;
    case Value::Special:
      break;
  }
  return 0;
}

// Pushes the value of [key] for GetLayerStyle; false when the layer has none.
bool PushKey(vkState* L, const StyleKey& key, Style& st) {
  if (key.push) {
    key.push(L, st, key);
    return true;
  }
  if (!key.field) return false;
  void* field = key.field(st);
  if (!field) return false;
  switch (key.value) {
    case Value::Number: vmPushNumber(L, *static_cast<double*>(field)); break;
    case Value::Colour: vmPushNumber(L, *static_cast<uint32_t*>(field) & 0xFFFFFFu); break;
    default: vmPushNumber(L, *static_cast<int32_t*>(field)); break;
  }
  return true;
}

// ---- Reading a table into a layer's style ----

// Reads the keys of [table] that the style's (new) type carries.
int32_t ReadStyleTable(Ctx& c) {
  // The rows of the key table by name.
  static const std::unordered_map<std::string_view, size_t> index = [] {
    std::unordered_map<std::string_view, size_t> m;
    for (size_t i = 0; i < std::size(kStyleKeys); i++) m.emplace(kStyleKeys[i].name, i);
    return m;
  }();
  vkState* L = c.L;
  const int base = vmGetTop(L);
  // The keys the table holds, read in the key table's order: the type
  // first, so that the keys read after it are the new type's.
  std::vector<size_t> present;
  vmPushNil(L);
  while (vmNext(L, c.table)) {
    if (vmType(L, -2) == VK_TSTRING) {
      const auto it = index.find(std::string_view(vmToString(L, -2), vmStrLen(L, -2)));
      if (it != index.end()) present.push_back(it->second);
    }
    vmSetTop(L, -2);
  }
  vmSetTop(L, base);
  std::sort(present.begin(), present.end());
  for (size_t i : present) {
    const StyleKey& key = kStyleKeys[i];
    if (key.getOnly) continue;
    if (key.read != ReadType && !(key.types & TypeBit(c.st.type))) continue;
    vmPushString(L, key.name);
    vmGetTable(L, c.table);
    const int32_t rc = ReadKey(c, key);
    vmSetTop(L, base);
    if (rc) {
      if (rc == kErrNumberFieldExpected || rc == kErrTableExpected) SetErrorText(key.name);
      return rc;
    }
  }
  return 0;
}

// Puts what the keys changed of a text or shape into its record: a font
// named anew is opened, the cursor and margins become the layout's, a
// curve's size follows its radii. 0 or an error code.
int32_t CommitKindKeys(Ctx& c) {
  Style& st = c.st;
  if (st.hasText) {
    vkTextLayout& layout = *st.text.layout;
    // The font the layout holds, as the keys name it.
    std::string name;
    int32_t size = 0, engine = 0;
    if (const vkFont* f = layout.style.font) {
      name = f->requestedName.empty() ? f->name : f->requestedName;
      size = f->size, engine = int32_t(f->engine);
    }
    if (st.fontName != name || st.fontSize != size || st.fontEngine != engine) {
      vkFont* font = nullptr;
      if (uint32_t rc = OpenFontByName(c.L, st.fontName.c_str(), st.fontSize, st.fontEngine, uint32_t(st.fontCache),
                                       false, &font))
        return int32_t(rc);
      layout.style.font = font;
      c.changed |= kContent;
      c.contentChanges++, c.colourOnly = false;
    }
    const int32_t left = layout.leftMargin;
    const bool outside = st.cursorX < left || (st.rightMargin && st.cursorX > st.rightMargin);
    layout.startX = outside ? 0 : st.cursorX - left;
    layout.wrapWidth = st.rightMargin ? std::max(0, st.rightMargin - left + 1) : 0;
    ClampTextStyle(&layout.style);
  }
  if (vkShapeRecord* r = st.shape) {
    vkShapeRequest& rq = r->request;
    if (st.type == ot::CIRCLE) rq.ry = rq.rx;
    if (st.type == ot::CIRCLE || st.type == ot::ELLIPSE || st.type == ot::ARC) {
      rq.width = int32_t(std::min<int64_t>(2 * int64_t(rq.rx) + 1, INT32_MAX));
      rq.height = int32_t(std::min<int64_t>(2 * int64_t(rq.ry) + 1, INT32_MAX));
    }
    rq.type = st.type;
    ClampFormStyle(&r->drawState);
  }
  return 0;
}

// Whether the table being read has [name].
bool Has(Ctx& c, const char* name) {
  vmPushString(c.L, name);
  vmGetTable(c.L, c.table);
  const bool has = vmType(c.L, -1) != VK_TNIL;
  vmSetTop(c.L, -2);
  return has;
}

// A new type needs what the old one cannot give: the object shown, the
// text, a box's size, radii, angles, vertices or a line's ends. 0 or 1014.
int32_t CheckTypeChange(Ctx& c) {
  const int32_t from = c.layer->type, to = c.st.type;
  if (from == to) return 0;
  auto need = [&](std::initializer_list<const char*> names) {
    for (const char* n : names)
      if (!Has(c, n)) return false;
    return true;
  };
  bool ok = true;
  const uint32_t bit = TypeBit(to);
  const uint32_t brushes = TypeBit(ot::BRUSH) | TypeBit(ot::BRUSHPART);
  if (bit & kObjects) ok = need({"id"}) || ((bit & brushes) && (TypeBit(from) & brushes));
  else if (bit & kTexts) ok = (TypeBit(from) & kTexts) || need({"text"});
  else if (to == ot::BOX) ok = need({"sizex", "sizey"});
  else if (to == ot::CIRCLE) ok = from == ot::ELLIPSE || from == ot::ARC || need({"radius"});
  else if (to == ot::ELLIPSE) ok = from == ot::ARC || from == ot::CIRCLE || need({"radiusa", "radiusb"});
  else if (to == ot::ARC)
    ok = (from == ot::CIRCLE || from == ot::ELLIPSE || need({"radiusa", "radiusb"})) && need({"startangle", "endangle"});
  else if (to == ot::POLYGON) ok = need({"vertices"});
  else if (to == ot::LINE) ok = need({"x1", "y1", "x2", "y2"});
  return ok ? 0 : kErrNotEnoughArgs;
}

// ---- Applying a style ----

struct Rect {
  int32_t x = 0, y = 0, w = 0, h = 0;
};

Rect ShownRect(const vkLayer* layer) {
  const vkLayerData* s = layer->onScreen;
  return {s->screenX, s->screenY, s->screenWidth, s->screenHeight};
}

bool Visible(const vkLayer* layer) { return !layer->hidden && !layer->pending; }

// Queues a changed rectangle: in the display's dirty list while the
// displayed picture is the output, else in the batch list.
void Queue(vkGraphicsState& gs, vkRectList& batch, const Rect& r) {
  if (r.w < 1 || r.h < 1) return;
  vkDisplay* d = gs.CurrentDisplay;
  if (d && d->renderTarget == kTargetBGPic) AppendRect(d->dirtyRects, r.x, r.y, r.w, r.h);
  else AppendRect(batch, r.x, r.y, r.w, r.h);
}

// Frees a record the layer no longer refers to.
void DropRecord(vkLayer* layer, vkLayerData* record) {
  if (record && record != layer->inserted && record != layer->transformed && record != layer->onScreen)
    delete record;
}

// Renders the layer's matrix again; an identity without display scaling
// goes back to the planes as inserted.
int32_t RenderMatrix(vkGraphicsState& gs, vkLayer* layer) {
  ApplyLayerTransform(&layer->transform, layer->inserted->width, layer->inserted->height);
  if (IsIdentity(layer->transform) && !DisplayScalingActive(gs.CurrentDisplay, layer->bgpic)) {
    vkLayerData* tr = layer->transformed;
    vkLayerData* on = layer->onScreen;
    layer->transformed = layer->onScreen = layer->inserted;
    DropRecord(layer, tr);
    if (on != tr) DropRecord(layer, on);
    return 0;
  }
  return RenderTransformedLayer(gs, layer, kRenderWithMatrix);
}

// Places the record as inserted about the layer's anchor (every type but
// lines; those stand where their ends are).
void PlaceAboutAnchor(vkLayer* layer) {
  vkLayerData* in = layer->inserted;
  if (layer->type == ot::LINE) return;
  in->anchoredX = in->screenX = in->x - vkDoubleToInt32(in->width * layer->anchorX);
  in->anchoredY = in->screenY = in->y - vkDoubleToInt32(in->height * layer->anchorY);
}

// Sets every record's clip region as inserted to [clip].
void SetClip(vkLayer* layer, vkClipRegion* clip) {
  vkLayerData* records[3] = {layer->inserted, layer->transformed, layer->onScreen};
  for (vkLayerData* d : records) {
    if (d->ownsClip) {
      delete d->clip;
      d->ownsClip = false;
    }
    d->clip = clip;
  }
}

// Draws the layer anew from the changed record in its place, showing the
// style's object as its type; *[layer] becomes the new layer. On failure
// the old layer stays as it was.
int32_t RedrawContent(vkState* L, vkLayer** layer, Style& st) {
  vkGraphicsState& gs = GraphicsState(L);
  vkLayer* old = *layer;
  const int32_t position = GetLayerIndex(gs, old);
  if (position < 1) return kErrLayerOutOfRange;
  const int32_t type = old->type;
  const vkObjectId object = old->object;
  // Another whole object takes nothing of the old one's record but its
  // place (and an anim's frame).
  if (!(st.id == object && st.type == type) && (st.type == ot::BRUSH || st.type == ot::ANIM || st.type == ot::TEXTOBJECT)) {
    vkLayerDataPtr fresh = st.type == ot::TEXTOBJECT ? NewTextObjectLayerData(L) : vkLayerDataPtr(new (std::nothrow) vkLayerData);
    if (!fresh) return kErrOutOfMemory;
    fresh->x = st.source->x, fresh->y = st.source->y;
    if (st.type == ot::ANIM) fresh->sourceX = st.source->sourceX;
    st.source = std::move(fresh);
  }
  vkLayerData& source = *st.source;
  // A text object is drawn from its record.
  void* const record = old->record;
  if (st.type == ot::TEXTOBJECT && !(st.id == object && type == ot::TEXTOBJECT)) {
    vkTextObject* o = nullptr;
    if (int32_t rc = FindTextObject(L, st.id, &o, 0)) return rc;
    old->record = o;
  }
  old->type = st.type, old->object = st.id;
  // Mixed and tinted layers would be recomposed at once; the caller queues
  // their rectangles with the rest, so they are drawn plain and get their
  // look back after.
  const int32_t transparency = old->transparency, tint = old->tint;
  old->transparency = old->tint = 0;
  vkLayer* made = nullptr;
  const uint32_t flags = kDrawReplace | (old->hidden ? kDrawHidden : 0);
  const int32_t rc = DrawLayerByType(L, old, position, &source, flags, &made);
  vkLayer* now = rc == 0 && made ? made : old;
  now->transparency = transparency, now->tint = tint;
  if (rc) {
    old->type = type, old->object = object, old->record = record;
    return rc;
  }
  if (made) *layer = made;
  else old->type = type, old->object = object, old->record = record;  // nothing draws this type
  return 0;
}

// A printed text of one colour (no shadow, edge, colour font or style
// tags) that only changes its colour keeps its pixels: they are painted in
// the new colour where the text covers them. False when the text must be
// laid out anew.
bool Recolour(Ctx& c) {
  vkLayer* layer = c.layer;
  const Style& st = c.st;
  if (!c.colourOnly || c.contentChanges != 1 || !st.hasText || st.type != layer->type) return false;
  vkLayerData* in = layer->inserted;
  vkTextLayout* shown = TextLayerLayout(in);
  const vkTextLayout& wanted = *st.text.layout;
  if (!shown || !in->bitmap || !in->mask || in->bitmap->width != in->width || in->bitmap->height != in->height)
    return false;
  if (wanted.style.style & (kStyleShadow | kStyleEdge)) return false;
  if (const vkFont* f = wanted.style.font; f && (f->colourImage || !f->pendingPixels.empty())) return false;
  if (wanted.text.find('[') != std::string::npos) return false;
  if ((shown->style.fontColour ^ wanted.style.fontColour) & 0xFF000000u) return false;
  const uint32_t rgb = wanted.style.fontColour & 0xFFFFFF;
  vkBitMap* b = in->bitmap.get();
  const vkPlane* m = in->mask.get();
  for (int32_t y = 0; y < b->height; y++) {
    uint32_t* row = reinterpret_cast<uint32_t*>(b->pixels + size_t(y) * size_t(b->bytesPerRow));
    const uint8_t* bits = m->data + size_t(y) * size_t(m->bytesPerRow);
    for (int32_t x = 0; x < b->width; x++)
      if (bits[x >> 3] & (0x80 >> (x & 7))) row[x] = (row[x] & 0xFF000000u) | rgb;
  }
  shown->style.fontColour = wanted.style.fontColour;
  return true;
}

// Applies the changes in [c] to its layer; the old and new rectangles go to the queue.
int32_t ApplyStyle(Ctx& c, vkRectList& batch, uint32_t* flushKinds) {
  vkGraphicsState& gs = c.gs;
  vkLayer* layer = c.layer;
  Style& st = c.st;
  const Rect before = ShownRect(layer);
  const bool wasVisible = Visible(layer);
  // 5. The look.
  layer->hidden = st.hidden;
  layer->transparency = st.transparency, layer->tint = st.tint, layer->tintColor = st.tintColor;
  const bool anchorMoved = (c.changed & kAnchor) != 0;
  layer->anchorX = layer->transform.anchorX = st.anchorX;
  layer->anchorY = layer->transform.anchorY = st.anchorY;
  int32_t rc = 0;
  // A failure further on leaves the look given so far: it is shown too.
  auto fail = [&](int32_t code) {
    if (wasVisible) Queue(gs, batch, before);
    if (Visible(layer)) Queue(gs, batch, ShownRect(layer));
    return code;
  };
  // 6. Content, drawn with the new transformation. A size that was the old
  // object's own stands for the new object's own.
  bool redrawn = (c.changed & kContent) != 0;
  if (redrawn && Recolour(c)) {
    // The matrix draws the recoloured text anew below.
    redrawn = false;
    if (layer->transformed != layer->inserted) c.changed |= kTransform;
  }
  if (redrawn) {
    const int32_t type = layer->type;
    vkTransform t = st.transform;
    if (!(st.id == layer->object && st.type == type)) {
      if (t.width == layer->inserted->width) t.width = 0;
      if (t.height == layer->inserted->height) t.height = 0;
    }
    t.anchorX = layer->anchorX, t.anchorY = layer->anchorY;
    const vkTransform saved = layer->transform;
    layer->transform = t;
    if ((rc = RedrawContent(c.L, &layer, st)) != 0) {
      layer->transform = saved;
      return fail(rc);
    }
    c.layer = layer;
    if (type == ot::BRUSH || type == ot::BRUSHPART) *flushKinds |= kFlushBrushes;
    else if (type == ot::ANIM) *flushKinds |= kFlushAnims;
    else if (type == ot::TEXTOBJECT) *flushKinds |= kFlushTextObjects;
    else if (type == ot::BGPICPART) *flushKinds |= kFlushBGPics;
  }
  // 7. Position.
  if (c.changed & kPosition) {
    int64_t x = st.x, y = st.y;
    if (st.translated) x = int64_t(layer->inserted->x) + st.translateX, y = int64_t(layer->inserted->y) + st.translateY;
    x = std::clamp<int64_t>(x, INT32_MIN, INT32_MAX), y = std::clamp<int64_t>(y, INT32_MIN, INT32_MAX);
    vkRectList placed;  // the rectangles are queued below
    SetLayerPosition(c.L, layer, nullptr, int32_t(x), int32_t(y), 0, &placed);
  }
  // Anchor, clip and matrix.
  if (anchorMoved) PlaceAboutAnchor(layer);
  if (c.changed & kClip) {
    SetClip(layer, st.clip);
    layer->noClipTransform = st.noClipTransform;
  }
  if ((c.changed & (kAnchor | kClip)) || (!redrawn && (c.changed & kTransform))) {
    const vkTransform saved = layer->transform;
    vkTransform t = redrawn ? layer->transform : st.transform;
    t.anchorX = layer->anchorX, t.anchorY = layer->anchorY;
    layer->transform = t;
    if (!IsIdentity(layer->transform) || !IsIdentity(saved) || layer->transformed != layer->inserted ||
        (c.changed & kTransform)) {
      if ((rc = RenderMatrix(gs, layer)) != 0) {
        layer->transform = saved;
        return fail(rc);
      }
    }
  }
  // The z position.
  if (c.changed & kOrder) MoveLayerInList(layer, st.z);
  // 6-9. What it showed and what it shows.
  if (c.changed != kNoChange) {
    BroadcastAsyncDrawMessage(gs, kAsyncLayerChanged, layer);
    if (wasVisible) Queue(gs, batch, before);
    if (Visible(layer)) Queue(gs, batch, ShownRect(layer));
  }
  return 0;
}

// Whether an effect runs on a layer of the picture (its rectangles wait for it).
bool EffectRunning(const vkBGPic* bgpic) {
  return std::any_of(bgpic->layers.begin(), bgpic->layers.end(), [](const vkLayer* l) { return l->effectFlag; });
}

// Recomposes the queue (unless [noFlush] or the picture is the output) and
// frees the objects replaced layers no longer show.
void Finish(vkGraphicsState& gs, vkBGPic* bgpic, vkRectList& batch, bool noFlush, uint32_t flushKinds) {
  const vkDisplay* d = gs.CurrentDisplay;
  if (!noFlush && d && d->renderTarget != kTargetBGPic && !EffectRunning(bgpic)) {
    FlushRectList(gs, batch);
    batch.clear();
  }
  if (flushKinds) FlushLayerCaches(gs, flushKinds);
}

// One pair: the layers the argument at [layerArg] selects (a group's members
// collected before any changes the order), each given the table at [table].
int32_t ApplyPair(vkState* L, vkBGPic* bgpic, int layerArg, int table, vkRectList& batch, uint32_t* flushKinds) {
  vkGraphicsState& gs = GraphicsState(L);
  if (vmType(L, table) != VK_TTABLE) {
    SetErrorNumber(table);
    return kErrTableExpected;
  }
  std::vector<vkLayer*> members;
  if (int32_t rc = CollectLayers(L, layerArg, bgpic, &members)) return rc;
  for (vkLayer* layer : members) {
    Style st;
    if (!TakeStyle(layer, &st)) return kErrOutOfMemory;
    Ctx c{L, gs, layer, st, table};
    if (int32_t rc = ReadStyleTable(c)) return rc;
    if (int32_t rc = CheckTypeChange(c)) return rc;
    if (int32_t rc = CommitKindKeys(c)) return rc;
    if (int32_t rc = ApplyStyle(c, batch, flushKinds)) return rc;
  }
  return 0;
}

}  // namespace

int32_t SetLayerAttributes(vkState* L, int first, int count, bool noFlush) {
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkBGPic* bgpic = LayerPicture(gs);
  vkRectList& batch = LayersState(L).batch;
  batch.clear();
  uint32_t flushKinds = 0;
  int32_t rc = 0;
  try {
    for (int i = 0; i + 1 < count && rc == 0; i += 2)
      rc = ApplyPair(L, bgpic, first + i, first + i + 1, batch, &flushKinds);
  } catch (...) {
    // A raised error shows what the earlier layers became all the same.
    Finish(gs, bgpic, batch, noFlush, flushKinds);
    throw;
  }
  Finish(gs, bgpic, batch, noFlush, flushKinds);
  return rc;
}

int32_t SetLayerPosFrame(vkState* L, vkLayer* layer, int32_t x, int32_t y, int32_t frame, bool noFlush) {
  vkGraphicsState& gs = GraphicsState(L);
  const int top = vmGetTop(L);
  if (!layer->name.empty()) vmPushString(L, layer->name.c_str());
  else vmPushNumber(L, GetLayerIndex(gs, layer));
  vmNewTable(L);
  SetFieldInt(L, "x", x);
  SetFieldInt(L, "y", y);
  SetFieldInt(L, "frame", frame);
  const int32_t rc = SetLayerAttributes(L, top + 1, 2, noFlush);
  vmSetTop(L, top);
  return rc;
}

int CmdSetLayerStyle(vkState* L) {
  CheckArgCount(L, 2, 0);
  const int count = vmGetTop(L);
  if (count % 2) return kErrNotEnoughArgs;
  return SetLayerAttributes(L, 1, count, false);
}

int CmdGetLayerStyle(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkLayer* layer = GetNthLayer(LayerPicture(gs), GetLayerArg(L, 1));
  if (!layer) return kErrLayerOutOfRange;
  Style st;
  if (!TakeStyle(layer, &st)) return kErrOutOfMemory;
  vmNewTable(L);
  const uint32_t bit = TypeBit(layer->type);
  for (const StyleKey& key : kStyleKeys) {
    if (key.setOnly || !(key.types & bit)) continue;
    vmPushString(L, key.name);
    if (PushKey(L, key, st)) vmSetTable(L, -3);
    else vmSetTop(L, -2);
  }
  return 1;
}

namespace {

// The thin wrappers: the named arguments become a table for the layer at
// argument 1, applied by SetLayerAttributes.
struct WrapperKey {
  const char* name;
  int arg;  // argument index of the value
};

int ApplyWrapper(vkState* L, std::initializer_list<WrapperKey> keys, int optional = 0) {
  const int top = vmGetTop(L);
  vmPushValue(L, 1);
  vmNewTable(L);
  for (const WrapperKey& k : keys) {
    if (k.arg > top) continue;
    vmPushString(L, k.name);
    vmPushValue(L, k.arg);
    vmSetTable(L, -3);
  }
  (void)optional;
  const int32_t rc = SetLayerAttributes(L, top + 1, 2, false);
  vmSetTop(L, top);
  return rc;
}

}  // namespace

int CmdSetLayerAnchor(vkState* L) {
  CheckArgCount(L, 3, 3);
  vmCheckNumber(L, 2), vmCheckNumber(L, 3);
  return ApplyWrapper(L, {{"anchorx", 2}, {"anchory", 3}});
}

int CmdSetLayerTransparency(vkState* L) {
  CheckArgCount(L, 2, 2);
  vmCheckNumber(L, 2);
  return ApplyWrapper(L, {{"transparency", 2}});
}

int CmdSetLayerTint(vkState* L) {
  CheckArgCount(L, 3, 3);
  vmCheckNumber(L, 2), vmCheckNumber(L, 3);
  return ApplyWrapper(L, {{"tintcolor", 2}, {"tint", 3}});
}

int CmdRotateLayer(vkState* L) {
  CheckArgCount(L, 2, 3);
  vmCheckNumber(L, 2);
  return ApplyWrapper(L, {{"rotate", 2}, {"smoothscale", 3}});
}

int CmdScaleLayer(vkState* L) {
  CheckArgCount(L, 3, 4);
  return ApplyWrapper(L, {{"width", 2}, {"height", 3}, {"smoothscale", 4}});
}

int CmdTransformLayer(vkState* L) {
  CheckArgCount(L, 5, 6);
  const int top = vmGetTop(L);
  double m[4] = {1, 0, 0, 1};
  for (int k = 0; k < 4; k++) m[k] = vmCheckNumber(L, 2 + k);
  vmPushValue(L, 1);
  vmNewTable(L);
  vmPushString(L, "transform");
  vmNewTable(L);
  for (int k = 0; k < 4; k++) {
    vmPushNumber(L, m[k]);
    vmRawSetI(L, -2, k);
  }
  vmSetTable(L, -3);
  if (top >= 6) SetFieldNumber(L, "smoothscale", vmCheckNumber(L, 6));
  const int32_t rc = SetLayerAttributes(L, top + 1, 2, false);
  vmSetTop(L, top);
  return rc;
}
