// Text objects: the list of the run, lookup with copy-before-modify for the
// layers that show an object, the commands that create, copy, show, scale,
// rotate and free them, the TEXTOBJECT attributes, and the shutdown step
// that frees them before the fonts their layouts name.
#include "text/textobjects.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/brushes.h"
#include "graphics/graphicsstate.h"
#include "graphics/objecttypes.h"
#include "graphics/positions.h"
#include "runtime/context.h"
#include "text/lineinput.h"
#include "text/textlib.h"
#include "text/textstate.h"

namespace {

int32_t IntArg(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }

int32_t NotFound(vkObjectId id) {
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoTextObject;
}

bool Matches(const vkTextObject& o, vkObjectId id) {
  return id.handle ? o.id.handle == id.handle : (o.id.handle == nullptr && o.id.number == id.number);
}

// Whether a layer shows [o] (no layers library: none does).
bool ShownByLayer(vkState* L, const vkTextObject& o) {
  vkGraphicsState& gs = GraphicsState(L);
  vkBrushList& hooks = Brushes(gs);
  return hooks.shownByLayer && hooks.shownByLayer(gs, vkObjectType::TEXTOBJECT, &o);
}

// A copy of [source]'s planes, sizes, offsets, layout and transform; 0 or 1000.
int32_t CloneTextObject(const vkTextObject& source, vkTextObject* out) {
  vkBitmapSource src{source.bitmap.get(), source.mask.get(), source.alpha.get(), source.width, source.height};
  vkPlanes copy;
  if (int32_t rc = CopyPlanesRect(src, 0, 0, source.width, source.height, &copy)) return rc;
  out->bitmap = std::move(copy.bitmap);
  out->mask = std::move(copy.mask);
  out->alpha = std::move(copy.alpha);
  out->width = source.width, out->height = source.height;
  out->createdWidth = source.createdWidth, out->createdHeight = source.createdHeight;
  out->offsetX = source.offsetX, out->offsetY = source.offsetY;
  out->layout = source.layout;
  out->transform = source.transform;
  return 0;
}

// A deleted record owned by the layers alone: no number, its own address
// as handle so that no script id reaches it.
void MarkDeleted(vkTextObject& o) {
  o.deleted = true;
  o.id = vkObjectId{0, &o};
}

// Every layer that shows [o] is given a deleted copy of its own.
int32_t DetachFromLayers(vkState* L, vkTextObject& o) {
  if (!ShownByLayer(L, o)) return 0;
  vkTextObjectList& list = TextObjects(L);
  vkTextObject clone;
  if (int32_t rc = CloneTextObject(o, &clone)) return rc;
  vkTextObject& kept = list.objects.emplace_back(std::move(clone));
  MarkDeleted(kept);
  vkGraphicsState& gs = GraphicsState(L);
  Brushes(gs).repointLayers(gs, vkObjectType::TEXTOBJECT, &o, &kept);
  return 0;
}

void Unlink(vkState* L, const vkTextObject* o) {
  TextObjects(L).objects.remove_if([&](const vkTextObject& r) { return &r == o; });
}

// Puts [picture] into [o] as its planes and size.
void TakePicture(vkTextObject& o, vkTextPicture& picture) {
  o.bitmap = std::move(picture.bitmap);
  o.mask = std::move(picture.mask);
  o.alpha = std::move(picture.alpha);
  o.width = picture.width, o.height = picture.height;
  o.offsetX = picture.offsetX, o.offsetY = picture.offsetY;
}

// The tab stops printing uses on the current output.
std::vector<int32_t> CurrentTabs(vkState* L) {
  if (vkDisplay* d = OutputDisplay(GraphicsState(L))) return d->tabStops;
  return TextRunState(L).cursor.tabs;
}

// Gives the new object to the script: its handle when the system chose.
int PushCreated(vkState* L, const vkIdRequest& request, vkTextObject& o) {
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, o.id.handle);
  return 1;
}

// Appends [o] under [request], replacing the script's object of that
// number; 0 or the error of freeing the old one (nothing is added then).
int32_t AddTextObject(vkState* L, const vkIdRequest& request, vkTextObject&& o, vkTextObject** out) {
  if (!request.automatic)
    if (int32_t rc = FreeTextObjectById(L, vkObjectId{request.number, nullptr}, false)) return rc;
  vkTextObject& added = TextObjects(L).objects.emplace_back(std::move(o));
  added.id = request.automatic ? vkObjectId{0, &added} : vkObjectId{request.number, nullptr};
  *out = &added;
  return 0;
}

// ---- Commands ------------------------------------------------------------------

int cmdCreateTextObject(vkState* L) {
  CheckArgCount(L, 2, 5);
  const vkIdRequest request = OptObjectId(L, 1);
  size_t length = 0;
  const char* text = vmCheckString(L, 2, &length);
  const int n = vmGetTop(L);
  const vkTextState& ts = GetTextState(L);
  vkTextObject o;
  o.layout.style = ts.style;
  o.layout.text.assign(text, length);
  o.layout.align = n >= 3 ? IntArg(L, 3) : kAlignLeft;
  o.layout.wrapWidth = n >= 4 ? IntArg(L, 4) : 0;
  o.layout.encoding = n >= 5 ? IntArg(L, 5) : ts.defaultEncoding;
  if (o.layout.wrapWidth < 0 || o.layout.encoding < 0 || o.layout.encoding > ENCODING_UTF8) return kErrWrongUsage;
  o.layout.tabs = CurrentTabs(L);
  vkTextPicture picture;
  if (uint32_t code = LayoutText(L, &o.layout, false, &picture)) return int(code);
  // Later layouts (scaled, rotated) break lines and take tabs as this one did.
  o.layout.wrapTableSet = o.layout.wrapWidth > 0;
  o.layout.tabTableSet = true;
  TakePicture(o, picture);
  o.createdWidth = o.width, o.createdHeight = o.height;
  vkTextObject* added = nullptr;
  if (int32_t rc = AddTextObject(L, request, std::move(o), &added)) return rc;
  return PushCreated(L, request, *added);
}

int cmdCopyTextObject(vkState* L) {
  CheckArgCount(L, 2, 2);
  const vkObjectId source = CheckObjectId(L, 1);
  const vkIdRequest request = OptObjectId(L, 2);
  if (!request.automatic && source == vkObjectId{request.number, nullptr}) return kErrWrongUsage;
  vkTextObject* o = nullptr;
  if (int32_t rc = FindTextObject(L, source, &o, 0)) return rc;
  vkTextObject copy;
  if (int32_t rc = CloneTextObject(*o, &copy)) return rc;
  vkTextObject* added = nullptr;
  if (int32_t rc = AddTextObject(L, request, std::move(copy), &added)) return rc;
  return PushCreated(L, request, *added);
}

int cmdDisplayTextObject(vkState* L) {
  CheckArgCount(L, 3, 4);
  const vkObjectId id = CheckObjectId(L, 1);
  const int32_t x = IntArg(L, 2), y = IntArg(L, 3);
  return DrawTextObject(L, id, x, y, vmGetTop(L) >= 4 ? 4 : 0);
}

int cmdFreeTextObject(vkState* L) {
  CheckArgCount(L, 1, 1);
  return FreeTextObjectById(L, CheckObjectId(L, 1), true);
}

// Lays [o] out anew under [t]; the object changes only when that succeeds.
int32_t Relayout(vkState* L, vkTextObject& o, const vkTransform& t) {
  vkTextPicture picture;
  if (uint32_t code = LayoutTextObject(L, o.layout, t, &picture)) return int32_t(code);
  TakePicture(o, picture);
  o.transform = t;
  return 0;
}

int cmdScaleTextObject(vkState* L) {
  CheckArgCount(L, 3, 3);
  const vkObjectId id = CheckObjectId(L, 1);
  vkTextObject* o = nullptr;
  if (int32_t rc = FindTextObject(L, id, &o, 0)) return rc;
  int32_t width = vkDoubleToInt32(CheckNumberOrPercent(L, 2, o->createdWidth, true, nullptr));
  int32_t height = vkDoubleToInt32(CheckNumberOrPercent(L, 3, o->createdHeight, true, nullptr));
  if (int32_t rc = ResolveKeepAspect(o->createdWidth, o->createdHeight, &width, &height)) return rc;
  if (int32_t rc = FindTextObject(L, id, &o, kTextObjectFindChange)) return rc;
  vkTransform t = o->transform;
  t.width = width, t.height = height;
  BuildTransformMatrix(&t, width, height, o->createdWidth, o->createdHeight, 1.0, 1.0, t.rotate);
  return Relayout(L, *o, t);
}

int cmdRotateTextObject(vkState* L) {
  CheckArgCount(L, 2, 2);
  const vkObjectId id = CheckObjectId(L, 1);
  const double angle = vmCheckNumber(L, 2);
  vkTextObject* o = nullptr;
  if (int32_t rc = FindTextObject(L, id, &o, kTextObjectFindChange)) return rc;
  vkTransform t = o->transform;
  t.rotate = vkDoubleToInt32(std::fmod(angle, 360.0));
  BuildTransformMatrix(&t, t.width, t.height, o->createdWidth, o->createdHeight, 1.0, 1.0, t.rotate);
  return Relayout(L, *o, t);
}

const vkCommandDef kTextObjectCommands[] = {
    {"CreateTextObject", cmdCreateTextObject},
    {"DisplayTextObject", cmdDisplayTextObject},
    {"FreeTextObject", cmdFreeTextObject},
    {"InKeyStr", cmdInKeyStr},
    {"ScaleTextObject", cmdScaleTextObject},
    {"CopyTextObject", cmdCopyTextObject},
    {"RotateTextObject", cmdRotateTextObject},
    {nullptr, nullptr},
};

// ---- Attributes and planes for the other libraries -------------------------------

int32_t CountTextObjectsOf(vkState* L) { return CountTextObjects(L); }

int QueryTextObject(vkState* L, int32_t attribute) {
  vkTextObject* o = nullptr;
  if (int32_t rc = FindTextObject(L, CheckObjectId(L, 2), &o, 0)) return rc;
  const vkFont* font = o->layout.style.font ? o->layout.style.font : FontState(L).builtin.get();
  double value = 0;
  switch (attribute) {
    case ATTRWIDTH: value = o->width; break;
    case ATTRHEIGHT: value = o->height; break;
    case ATTRFONTASCENDER: value = font->baseline; break;
    case ATTRFONTDESCENDER: value = font->height - font->baseline; break;
    case ATTRFONTNAME: vmPushLString(L, font->name.data(), font->name.size()); return 1;
    case ATTRFONTSIZE: value = font->size; break;
    case ATTRFONTSCALABLE: value = font->scalable ? 1 : 0; break;
    case ATTRFONTAA: value = font->antialias ? 1 : 0; break;
    case ATTRTEXT: vmPushLString(L, o->layout.text.data(), o->layout.text.size()); return 1;
    default: return kErrUnknownAttribute;
  }
  vmPushNumber(L, value);
  return 1;
}

// The planes of a text object for the brush library (ConvertToBrush) and
// the drawing core.
int32_t TextObjectSource(vkState* L, int32_t, vkObjectId id, int32_t frame, vkBitmapSource* out) {
  vkTextObject* o = nullptr;
  if (frame != 0) return kErrAnimFrameRange;  // one picture, frame 1
  if (int32_t rc = FindTextObject(L, id, &o, 0)) return rc;
  *out = vkBitmapSource{o->bitmap.get(), o->mask.get(), o->alpha.get(), o->width, o->height};
  return 0;
}

}  // namespace

vkTextObjectList& TextObjects(vkState* L) {
  vkTextRunState& trs = TextRunState(L);
  if (!trs.objects) trs.objects = std::make_shared<vkTextObjectList>();
  return *trs.objects;
}

int32_t FindTextObject(vkState* L, vkObjectId id, vkTextObject** out, uint32_t flags) {
  *out = nullptr;
  vkTextObjectList& list = TextObjects(L);
  auto it = std::find_if(list.objects.begin(), list.objects.end(), [&](const vkTextObject& o) {
    return Matches(o, id) && (!o.deleted || (flags & kTextObjectFindDeleted));
  });
  if (it == list.objects.end()) return NotFound(id);
  if (flags & kTextObjectFindChange) {
    if (it->lockCount) return kErrObjectLocked;
    if (!(flags & kTextObjectFindNoDetach))
      if (int32_t rc = DetachFromLayers(L, *it)) return rc;
  }
  *out = &*it;
  return 0;
}

int32_t DrawTextObject(vkState* L, vkObjectId id, int32_t x, int32_t y, int optionsIndex) {
  vkTextObject* o = nullptr;
  if (int32_t rc = FindTextObject(L, id, &o, 0)) return rc;
  vkGraphicsState& gs = GraphicsState(L);
  // The object's picture already carries its own scale and rotation: the
  // options transform that picture further.
  vkTransform t;
  vkLayerOptions options;
  if (optionsIndex) {
    const int32_t smooth = (o->layout.style.style & kStyleAntialias) ? 1 : 0;
    if (int32_t rc = ParseDisplayTags(L, optionsIndex, o->width, o->height, o->width, o->height, smooth, &t,
                                      &options, kTagsInit | kTagsNeedTable))
      return rc;
  }
  // The position is the text's: the picture lies at its offsets from it.
  int32_t shownW = o->width, shownH = o->height;
  GetDisplayedSize(t, o->width, o->height, &shownW, &shownH);
  vkDisplayRequest rq;
  rq.type = vkObjectType::TEXTOBJECT;
  rq.id = o->id;
  rq.x = ResolveOutputX(gs, x, shownW, t.anchorX) + o->offsetX;
  rq.y = ResolveOutputY(gs, y, shownH, t.anchorY) + o->offsetY;
  // The alpha plane, where there is one, carries the shape, as for printing.
  const vkPlane* alpha = o->alpha.get();
  const vkBitmapSource src{o->bitmap.get(), alpha ? nullptr : o->mask.get(), alpha, o->width, o->height};
  rq.source = &src;
  rq.transform = &t;
  rq.layerOptions = &options;
  return DisplayBitmapObject(L, rq);
}

int32_t FreeTextObjectById(vkState* L, vkObjectId id, bool report) {
  vkTextObject* o = nullptr;
  if (int32_t rc = FindTextObject(L, id, &o, 0)) return report ? rc : 0;
  if (o->lockCount) return kErrObjectLocked;
  if (ShownByLayer(L, *o)) {
    vkGraphicsState& gs = GraphicsState(L);
    Brushes(gs).repointLayers(gs, vkObjectType::TEXTOBJECT, o, o);
    MarkDeleted(*o);
    return 0;
  }
  Unlink(L, o);
  return 0;
}

int32_t CountTextObjects(vkState* L) {
  const vkTextObjectList& list = TextObjects(L);
  return int32_t(std::count_if(list.objects.begin(), list.objects.end(), [](const vkTextObject& o) {
    return !o.deleted;
  }));
}

void PurgeDeletedTextObjects(vkState* L) {
  TextObjects(L).objects.remove_if([&](const vkTextObject& o) { return o.deleted && !ShownByLayer(L, o); });
}

uint32_t LayoutTextObject(vkState* L, const vkTextLayout& stored, const vkTransform& t, vkTextPicture* out) {
  vkTextLayout layout = stored;
  vkFont* font = layout.style.font ? layout.style.font : FontState(L).builtin.get();
  const double* m = t.matrix;
  vkTransform rest = t;
  // A scalable font scaled without rotation draws at the new size itself,
  // with its margins, tab stops and shadow and edge sizes scaled alike;
  // only a mirroring is left for the drawing.
  if (!IsIdentity(t) && font->scalable && m[1] == 0.0 && m[2] == 0.0) {
    const double sx = std::fabs(m[0]), sy = std::fabs(m[3]);
    auto scaled = [sx](int32_t v) { return vkDoubleToInt32(std::round(v * sx)); };
    ScaleFont(font, sx, sy);
    layout.wrapWidth = scaled(layout.wrapWidth);
    layout.leftMargin = scaled(layout.leftMargin);
    for (int32_t& tab : layout.tabs) tab = scaled(tab);
    layout.style.shadowSize = scaled(layout.style.shadowSize);
    layout.style.edgeSize = scaled(layout.style.edgeSize);
    ClampTextStyle(&layout.style);
    InitTransform(&rest);
    rest.matrix[0] = m[0] < 0 ? -1.0 : 1.0;
    rest.matrix[3] = m[3] < 0 ? -1.0 : 1.0;
  }
  vkTextPicture drawn;
  if (uint32_t code = LayoutText(L, &layout, false, &drawn)) return code;  // resets the font's scale
  if (IsIdentity(rest)) {
    *out = std::move(drawn);
    return 0;
  }
  vkTextPicture made;
  int32_t w = 0, h = 0;
  if (int32_t rc = TransformBitmapPlanes(GraphicsState(L), drawn.bitmap.get(), drawn.mask.get(), drawn.alpha.get(),
                                         0, 0, drawn.width, drawn.height, rest, &made.bitmap, &made.mask,
                                         &made.alpha, &w, &h))
    return uint32_t(rc);
  made.width = w, made.height = h;
  made.offsetX = drawn.offsetX, made.offsetY = drawn.offsetY;
  made.layoutWidth = drawn.layoutWidth;
  *out = std::move(made);
  return 0;
}

int OpenTextObjectLibrary(vkState* L) {
  vmRegisterFunctions(L, nullptr, kTextObjectCommands, 0);
  if (int rc = RegisterLibrary(L, kTextObjectCommands, "text")) return rc;
  RegisterAttributeProvider(L, vkObjectType::TEXTOBJECT, {CountTextObjectsOf, QueryTextObject});
  Brushes(GraphicsState(L)).textObjectSource = TextObjectSource;
  return 0;
}

int FreeAllTextObjectsAndFonts(vkState* L) {
  if (!L) return 0;
  vkProgramContext& context = ProgramContext(L);
  if (!context.text) return 0;
  if (context.text->objects) context.text->objects->objects.clear();
  FreeAllFonts(context.text->fonts);
  context.text->text.style.font = nullptr;
  context.text->engineStarted = false;  // asked again, the engines start anew
  return 0;
}
