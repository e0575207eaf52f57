// The "anim" script library: loading, creating, copying, changing and
// showing anims, frames to and from brushes, frame delays, the attribute
// queries of anims, the hooks through which the pictures, the layers and
// the output targets reach anim frames, the opener and the shutdown step.
#include "layers/anims.h"

#include <algorithm>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/libraries.h"
#include "engine/objecthandles.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/attributes.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/outputtargets.h"
#include "layers/animlib.h"
#include "pixel/bitmapops.h"
#include "pixel/copykernels.h"
#include "runtime/context.h"
#include "runtime/doscommands.h"

namespace {

vkGraphicsState& Gs(vkState* L) { return GraphicsState(L); }
int32_t IntArg(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }
int32_t OptIntArg(vkState* L, int i, int32_t def) { return vkDoubleToInt32(vmOptNumber(L, i, def)); }

// The anim of argument [i], as the script sees it (no orphans).
int32_t AnimArg(vkState* L, int i, vkAnim** out) { return FindAnim(Gs(L), CheckObjectId(L, i), out, 0); }

// Finds the anim for a command that changes it: 1340 for the active output
// target, then the lock and copy-before-modify.
int32_t AnimForChange(vkState* L, vkObjectId id, vkAnim** out) {
  vkGraphicsState& gs = Gs(L);
  vkAnim* a = nullptr;
  if (int32_t rc = FindAnim(gs, id, &a, 0)) return rc;
  if (IsActiveAnim(gs, *a)) return kErrActiveAnim;
  return FindAnim(gs, id, out, kAnimFindChange);
}

// A brush made of [planes] under [request] with a colour key; its handle
// pushed for an automatic id.
int MakeBrush(vkState* L, vkIdRequest request, vkPlanes planes, int32_t key) {
  vkGraphicsState& gs = Gs(L);
  if (!request.automatic)
    if (int32_t rc = FreeBrushById(gs, vkObjectId{request.number, nullptr}, false)) return rc;
  vkBrush& b = AddBrushRecord(gs, request, std::move(planes), key);
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, b.id.handle);
  return 1;
}

// ---- Loading and creating ----

int cmdLoadAnim(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkAnim* a = nullptr;
  return LoadAnimFile(L, false, &a);
}

int cmdCreateAnim(vkState* L) {
  CheckArgCount(L, 6, 8);
  vkFrameSource rq;
  rq.target = OptObjectId(L, 1);
  rq.sourceKind = kObjectBrush;
  rq.source = CheckObjectId(L, 2);
  rq.hasSource = true;
  rq.frameWidth = IntArg(L, 3), rq.frameHeight = IntArg(L, 4);
  rq.frames = IntArg(L, 5), rq.framesPerRow = IntArg(L, 6);
  rq.x = OptIntArg(L, 7, 0), rq.y = OptIntArg(L, 8, 0);
  rq.argCount = 7;
  vkAnim* a = nullptr;
  if (int32_t rc = CreateFramesFromSource(L, rq, &a)) return rc;
  return PushAnimId(L, rq.target, *a);
}

int cmdCopyAnim(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = Gs(L);
  const vkObjectId sourceId = CheckObjectId(L, 1);
  const vkIdRequest request = OptObjectId(L, 2);
  vkAnim* source = nullptr;
  if (int32_t rc = FindAnim(gs, sourceId, &source, 0)) return rc;
  if (!request.automatic) {
    if (sourceId == vkObjectId{request.number, nullptr}) return kErrWrongUsage;
    if (int32_t rc = FreeAnimById(gs, vkObjectId{request.number, nullptr}, false)) return rc;
  }
  vkAnim* copy = nullptr;
  if (int32_t rc = CloneAnim(gs, *source, NewObjectId(request), &copy)) return rc;
  return PushAnimId(L, request, *copy);
}

int cmdFreeAnim(vkState* L) {
  CheckArgCount(L, 1, 1);
  return FreeAnimById(Gs(L), CheckObjectId(L, 1), true);
}

int cmdIsAnim(vkState* L) {
  CheckArgCount(L, 1, 1);
  const std::string file = ResolveLinkedFile(L, dos::TextArg(L, 1).c_str(), 0, nullptr);
  vmPushNumber(L, IsAnimFile(file.c_str()));
  ErrorInfo().errorNumber = 0;
  return 1;
}

// ---- Frames and brushes ----

int cmdGetAnimFrame(vkState* L) {
  CheckArgCount(L, 3, 3);
  const vkIdRequest request = OptObjectId(L, 1);
  const int32_t frame = IntArg(L, 2);
  vkAnim* a = nullptr;
  if (int32_t rc = AnimArg(L, 3, &a)) return rc;
  if (frame < 1 || frame > a->frameCount) return kErrAnimFrameRange;
  vkPlanes planes;
  vkBitmapSource src;
  if (int32_t rc = GetAnimFrameBitmap(Gs(L), *a, frame - 1, true, false, &planes, &src)) return rc;
  return MakeBrush(L, request, std::move(planes), a->transparentColor);
}

int cmdLoadAnimFrame(vkState* L) {
  CheckArgCount(L, 3, 4);
  const vkIdRequest request = OptObjectId(L, 1);
  int32_t frame = IntArg(L, 2);
  const std::string file = ResolveLinkedFile(L, dos::TextArg(L, 3).c_str(), 0, nullptr);
  const int32_t key = vmGetTop(L) >= 4 && vmType(L, 4) != VK_TNIL ? int32_t(vmCheckUnsigned(L, 4) & 0xFFFFFF) : -1;
  vkAnimReader* opened = nullptr;
  int32_t width = 0, height = 0, count = 0;
  if (int32_t rc = OpenAnimFile(file.c_str(), &opened, &width, &height, &count)) return rc;
  vkAnimReaderPtr reader(opened);
  if (frame == -1) frame = count;
  if (frame < 1 || frame > count) return kErrAnimFrameRange;
  vkBufferPtr<uint32_t> words(ReadAnimFrame(reader.get(), frame - 1));
  if (!words) return kErrAnimFrame;
  vkBitMap* b = nullptr;
  vkPlane* m = nullptr;
  if (CreateBitMapFromARGB(words.get(), key, width, height, width, &b, &m)) return kErrOutOfMemory;
  return MakeBrush(L, request, vkPlanes{vkBitMapPtr(b), vkPlanePtr(m), nullptr}, key);
}

int cmdDisplayAnimFrame(vkState* L) {
  CheckArgCount(L, 4, 5);
  vkDisplayRequest rq;
  rq.type = kObjectAnim;
  rq.id = CheckObjectId(L, 1);
  rq.x = IntArg(L, 2), rq.y = IntArg(L, 3);
  rq.frame = IntArg(L, 4) - 1;
  rq.optionsIndex = vmGetTop(L) >= 5 ? 5 : 0;
  return DisplayBitmapObject(L, rq);
}

int cmdSetAnimFrameDelay(vkState* L) {
  CheckArgCount(L, 3, 3);
  vkAnim* a = nullptr;
  if (int32_t rc = AnimArg(L, 1, &a)) return rc;
  const int32_t frame = IntArg(L, 2), delay = IntArg(L, 3);
  if (delay < 0) return kErrWrongUsage;
  if (frame < 1 || frame > a->frameCount) return kErrAnimFrameRange;
  a->delays.resize(size_t(a->frameCount), kNoFrameDelay);
  a->delays[size_t(frame - 1)] = uint32_t(delay);
  return 0;
}

// ---- Changing anims ----

int cmdScaleAnim(vkState* L) {
  CheckArgCount(L, 3, 4);
  vkGraphicsState& gs = Gs(L);
  const vkObjectId id = CheckObjectId(L, 1);
  vkAnim* a = nullptr;
  if (int32_t rc = FindAnim(gs, id, &a, 0)) return rc;
  if (IsActiveAnim(gs, *a)) return kErrActiveAnim;
  if (a->lockCount != 0) return kErrObjectLocked;
  int32_t width = vkDoubleToInt32(CheckNumberOrPercent(L, 2, a->width, true, nullptr));
  int32_t height = vkDoubleToInt32(CheckNumberOrPercent(L, 3, a->height, true, nullptr));
  const bool smooth = OptIntArg(L, 4, 0) != 0;
  if (int32_t rc = ResolveKeepAspect(a->width, a->height, &width, &height)) return rc;
  if (width == a->width && height == a->height) return 0;
  if (int32_t rc = FindAnim(gs, id, &a, kAnimFindChange)) return rc;
  if (a->fromDisk) {
    a->width = width, a->height = height, a->smooth = smooth;
    a->lentFrame = vkPlanes{};
    a->lentIndex = -1;
    return 0;
  }
  std::vector<vkPlanes> scaled;
  scaled.reserve(a->frames.size());
  for (const vkPlanes& f : a->frames) {
    vkPlanes p;
    const vkBitmapSource src{f.bitmap.get(), f.mask.get(), f.alpha.get(), a->width, a->height};
    if (int32_t rc = ScalePlanes(gs, src, width, height, smooth, &p)) return rc;
    scaled.push_back(std::move(p));
  }
  a->frames = std::move(scaled);
  a->width = a->decodedWidth = width;
  a->height = a->decodedHeight = height;
  a->smooth = smooth;
  return 0;
}

// A blank frame like the first one: colour 0, a mask all set and an alpha
// plane all 255 where frame 1 has them.
int32_t BlankFrame(const vkAnim& a, vkPlanes* out) {
  out->bitmap.reset(AllocArgbBitMap(a.width, a.height));
  if (!out->bitmap) return kErrOutOfMemory;
  FillPixelRect32(out->bitmap->pixels, out->bitmap->bytesPerRow / 4, 0, 0, a.width, a.height, 0);
  const vkPlanes& first = a.frames.front();
  if (first.mask) {
    out->mask.reset(AllocMaskPlane(a.width, a.height, false));
    if (!out->mask) return kErrOutOfMemory;
    FillMaskRect(out->mask.get(), 0, 0, a.width, a.height, 0);
  }
  if (first.alpha) {
    out->alpha.reset(AllocAlphaPlane(a.width, a.height, false));
    if (!out->alpha) return kErrOutOfMemory;
    FillAlphaRect(out->alpha.get(), 0, 0, a.width, a.height, 255);
  }
  return 0;
}

int cmdModifyAnimFrames(vkState* L) {
  CheckArgCount(L, 2, 3);
  const vkObjectId id = CheckObjectId(L, 1);
  const int32_t count = IntArg(L, 2), position = OptIntArg(L, 3, 0);
  vkAnim* a = nullptr;
  if (int32_t rc = AnimForChange(L, id, &a)) return rc;
  return ChangeAnimFrames(*a, count, position);
}

}  // namespace

int32_t ChangeAnimFrames(vkAnim& anim, int32_t count, int32_t position) {
  vkAnim* a = &anim;
  if (a->fromDisk) return kErrDiskAnim;
  const int64_t frames = a->frameCount;
  if (count == 0 || count <= -frames || position < 0 || (count > 0 && position > frames + 1) ||
      (count < 0 && int64_t(position) - count > frames + 1))
    return kErrWrongUsage;
  const int64_t at = position > 0 ? position - 1 : count > 0 ? frames : frames + count;
  std::vector<vkPlanes> next;
  std::vector<uint32_t> delays;
  a->delays.resize(size_t(frames), kNoFrameDelay);
  if (count > 0) {
    std::vector<vkPlanes> blank(static_cast<size_t>(count));
    for (vkPlanes& p : blank)
      if (int32_t rc = BlankFrame(*a, &p)) return rc;
    next.reserve(size_t(frames + count));
    for (int64_t i = 0; i < at; i++) next.push_back(std::move(a->frames[size_t(i)]));
    for (vkPlanes& p : blank) next.push_back(std::move(p));
    for (int64_t i = at; i < frames; i++) next.push_back(std::move(a->frames[size_t(i)]));
    delays = a->delays;
    delays.insert(delays.begin() + at, size_t(count), kNoFrameDelay);
  } else {
    for (int64_t i = 0; i < frames; i++)
      if (i < at || i >= at - count) {
        next.push_back(std::move(a->frames[size_t(i)]));
        delays.push_back(a->delays[size_t(i)]);
      }
  }
  a->frames = std::move(next);
  a->delays = std::move(delays);
  a->frameCount = int32_t(a->frames.size());
  return 0;
}

namespace {

int cmdSelectAnim(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkAnim* a = nullptr;
  if (int32_t rc = AnimArg(L, 1, &a)) return rc;
  const int32_t frame = IntArg(L, 2);
  const int32_t mode = OptIntArg(L, 3, SELMODE_NORMAL);
  if (mode < SELMODE_NORMAL || mode > SELMODE_LAYERS) return kErrWrongUsage;
  return SelectOutputTarget(L, vkObjectType::ANIM, a->id, kTargetBrush, frame, mode);
}

const vkCommandDef kAnimCommands[] = {
    {"PlayAnim", cmdPlayAnim},
    {"FreeAnim", cmdFreeAnim},
    {"ScaleAnim", cmdScaleAnim},
    {"PlayAnimDisk", cmdPlayAnimDisk},
    {"LoadAnimFrame", cmdLoadAnimFrame},
    {"LoadAnim", cmdLoadAnim},
    {"IsAnim", cmdIsAnim},
    {"CreateAnim", cmdCreateAnim},
    {"CopyAnim", cmdCopyAnim},
    {"GetAnimFrame", cmdGetAnimFrame},
    {"DisplayAnimFrame", cmdDisplayAnimFrame},
    {"ModifyAnimFrames", cmdModifyAnimFrames},
    {"SelectAnim", cmdSelectAnim},
    {"SaveAnim", cmdSaveAnim},
    {"BeginAnimStream", cmdBeginAnimStream},
    {"WriteAnimFrame", cmdWriteAnimFrame},
    {"FinishAnimStream", cmdFinishAnimStream},
    {"SetAnimFrameDelay", cmdSetAnimFrameDelay},
    {nullptr, nullptr},
};

const vkConstantDef kAnimConstants[] = {
    {"ANMFMT_GIF", nullptr, kAnimFormatGif},
    {"ANMFMT_MJPEG", nullptr, kAnimFormatMjpeg},
    {nullptr, nullptr, 0},
};

// ---- What others reach anims through ----

// The planes of frame [frame] (0-based) for drawing or copying. Disk anims
// lend the frame decoded last, so that a repeated frame is not decoded again.
int32_t AnimSource(vkState* L, int32_t, vkObjectId id, int32_t frame, vkBitmapSource* out) {
  vkGraphicsState& gs = Gs(L);
  vkAnim* a = nullptr;
  // An orphan is reached only by the layers that show it.
  if (int32_t rc = FindAnim(gs, id, &a, kAnimFindOrphaned)) return rc;
  if (frame < 0 || frame >= a->frameCount) return kErrAnimFrameRange;
  if (!a->fromDisk) return GetAnimFrameBitmap(gs, *a, frame, false, false, nullptr, out);
  if (a->lentIndex != frame) {
    vkPlanes decoded;
    if (int32_t rc = GetAnimFrameBitmap(gs, *a, frame, false, false, &decoded, out)) return rc;
    a->lentFrame = std::move(decoded);
    a->lentIndex = frame;
  }
  *out = vkBitmapSource{a->lentFrame.bitmap.get(), a->lentFrame.mask.get(), a->lentFrame.alpha.get(), a->width,
                        a->height};
  return 0;
}

// The output targets' lookup of an anim frame (1-based) to draw into.
int32_t FindAnimTarget(vkState* L, vkDisplay*, vkObjectId id, int32_t index, bool forDrawing, vkTargetObject* out) {
  vkGraphicsState& gs = Gs(L);
  vkAnim* a = nullptr;
  if (int32_t rc = FindAnim(gs, id, &a, forDrawing ? kAnimFindChange : 0)) return rc;
  if (a->fromDisk) return kErrDiskAnim;
  if (index < 1 || index > a->frameCount) return kErrAnimFrameRange;
  vkPlanes& f = a->frames[size_t(index - 1)];
  *out = vkTargetObject{a, f.bitmap.get(), f.mask.get(), f.alpha.get(), a->width, a->height};
  return 0;
}

void ReplaceAnimPlanes(vkGraphicsState&, void* record, int32_t index, vkPlane* mask, vkPlane* alpha) {
  vkPlanePtr m(mask), al(alpha);
  vkAnim* a = static_cast<vkAnim*>(record);
  if (!a || index < 1 || index > int32_t(a->frames.size())) return;
  a->frames[size_t(index - 1)].mask = std::move(m);
  a->frames[size_t(index - 1)].alpha = std::move(al);
}

int32_t CountAnimsOf(vkState* L) {
  int32_t n = 0;
  for (const vkAnim& a : Anims(Gs(L)).anims)
    if (!a.orphaned) n++;
  return n;
}

int QueryAnim(vkState* L, int32_t attribute) {
  vkAnim* a = nullptr;
  if (int32_t rc = AnimArg(L, 2, &a)) return rc;
  const vkPlanes* first = a->fromDisk || a->frames.empty() ? nullptr : &a->frames.front();
  double value = 0;
  switch (attribute) {
    case ATTRWIDTH: value = a->width; break;
    case ATTRHEIGHT: value = a->height; break;
    case ATTRTRANSPARENTCOLOR: value = a->transparentColor; break;
    case ATTRNUMFRAMES: value = a->frameCount; break;
    case ATTRHASMASK: value = first && first->mask ? 1 : 0; break;
    case ATTRHASALPHA: value = first && first->alpha ? 1 : 0; break;
    case ATTRFRAMEDELAY: {
      const int32_t frame = OptIntArg(L, 4, 1);
      if (frame < 1 || frame > a->frameCount) return kErrAnimFrameRange;
      value = QueryAnimFrameDelay(*a, frame - 1);
      break;
    }
    default: return kErrUnknownAttribute;
  }
  vmPushNumber(L, value);
  return 1;
}

}  // namespace

int OpenAnimLibrary(vkState* L) {
  vkGraphicsState& gs = Gs(L);
  Anims(gs);
  Brushes(gs).animSource = AnimSource;
  gs.layerTargets.anim.find = FindAnimTarget;
  gs.layerTargets.anim.replacePlanes = ReplaceAnimPlanes;
  RegisterAttributeProvider(L, vkObjectType::ANIM, {CountAnimsOf, QueryAnim});
  vmRegisterFunctions(L, nullptr, kAnimCommands, 0);
  vmRegisterConstants(L, kAnimConstants);
  return RegisterLibrary(L, kAnimCommands, "anim");
}

int FreeAllAnims(vkState* L) {
  if (!L) return 0;
  vkGraphicsState& gs = Gs(L);
  if (!gs.anims) return 0;
  // Playbacks still stepped by the script release their anims first.
  gs.asyncDraws.objects.remove_if([](const std::unique_ptr<vkAsyncDraw>& d) {
    if (d->kind != ADF_ANIM) return false;
    if (d->free) d->free(d->userData, 0);
    return true;
  });
  gs.anims->anims.clear();
  gs.anims->streams.clear();  // each writer completes its file as it goes
  return 0;
}
