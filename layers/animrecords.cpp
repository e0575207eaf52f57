// Anim records: the list in the graphics state, lookups with their errors,
// copy-before-modify for anims that layers show, frame access and delays,
// clones, freeing with orphans, and building new anims from anim files,
// pictures, brushes and other anims.
#include <algorithm>
#include <cstring>

#include "base/catalog.h"
#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "engine/attributes.h"
#include "engine/objecthandles.h"
#include "engine/vmapi.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/outputtargets.h"
#include "layers/animlib.h"
#include "pixel/bitmapops.h"
#include "pixel/copykernels.h"
#include "pixel/picturefile.h"
#include "runtime/console.h"
#include "runtime/context.h"
#include "runtime/doscommands.h"

vkAnimList& Anims(vkGraphicsState& gs) {
  if (!gs.anims) gs.anims = std::make_shared<vkAnimList>();
  return *gs.anims;
}

namespace {

constexpr uint32_t kCatalogLoadingAnim = 98;

bool ShownByLayer(vkGraphicsState& gs, const vkAnim& anim) {
  const vkBrushList& hooks = Brushes(gs);
  return hooks.shownByLayer && hooks.shownByLayer(gs, kObjectAnim, &anim);
}

// Layers that show [anim] move to an orphaned clone, so that they keep the
// frames while the script's anim changes.
int32_t DetachFromLayers(vkGraphicsState& gs, vkAnim& anim) {
  if (!ShownByLayer(gs, anim)) return 0;
  vkAnim* copy = nullptr;
  if (int32_t rc = CloneAnim(gs, anim, vkObjectId{0, NewObjectHandle()}, &copy)) return rc;
  copy->orphaned = true;
  if (Brushes(gs).repointLayers) Brushes(gs).repointLayers(gs, kObjectAnim, &anim, copy);
  return 0;
}

int32_t NotFound(vkObjectId id) {
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoAnim;
}

vkBitmapSource SourceOf(const vkPlanes& p, int32_t width, int32_t height) {
  return vkBitmapSource{p.bitmap.get(), p.mask.get(), p.alpha.get(), width, height};
}

// Decodes frame [frame] of a disk anim at its decoded size.
int32_t DecodeFrame(const vkAnim& anim, int32_t frame, vkPlanes* out) {
  vkBufferPtr<uint32_t> words(ReadAnimFrame(anim.reader.get(), frame));
  if (!words) return kErrAnimFrame;
  vkBitMap* b = nullptr;
  vkPlane* m = nullptr;
  if (uint32_t rc = CreateBitMapFromARGB(words.get(), anim.transparentColor, anim.decodedWidth, anim.decodedHeight,
                                         anim.decodedWidth, &b, &m))
    return int32_t(rc);
  *out = vkPlanes{vkBitMapPtr(b), vkPlanePtr(m), nullptr};
  return 0;
}

// A grid of frames cut from [src]: [perRow] frames of width x height per
// row from (x, y), left to right, then top to bottom.
int32_t CutGrid(const vkBitmapSource& src, const vkFrameSource& rq, std::vector<vkPlanes>* frames) {
  const int32_t count = rq.frames;
  const int32_t perRow = rq.framesPerRow < 1 ? count : rq.framesPerRow;
  if (rq.argCount < 7 || rq.frameWidth < 1 || rq.frameHeight < 1 || count < 1) return kErrWrongUsage;
  const int64_t rows = (int64_t(count) + perRow - 1) / perRow;
  if (rq.x < 0 || rq.y < 0) return kErrNegativeCoords;
  if (int64_t(rq.x) + int64_t(rq.frameWidth) * perRow > src.width ||
      int64_t(rq.y) + rows * rq.frameHeight > src.height)
    return kErrBrushSizeMismatch;
  frames->reserve(size_t(count));
  for (int32_t i = 0; i < count; i++) {
    const int32_t fx = rq.x + (i % perRow) * rq.frameWidth, fy = rq.y + (i / perRow) * rq.frameHeight;
    vkPlanes p;
    if (int32_t rc = CopyPlanesRect(src, fx, fy, rq.frameWidth, rq.frameHeight, &p)) return rc;
    frames->push_back(std::move(p));
  }
  return 0;
}

}  // namespace

bool IsActiveAnim(vkGraphicsState& gs, const vkAnim& anim) {
  return IsSelectedObject(gs, vkObjectType::ANIM, &anim);
}

int32_t FindAnim(vkGraphicsState& gs, vkObjectId id, vkAnim** out, uint32_t flags) {
  vkAnim* found = nullptr;
  for (vkAnim& a : Anims(gs).anims) {
    if (a.orphaned && !(flags & kAnimFindOrphaned)) continue;
    if (a.id == id) {
      found = &a;
      break;
    }
  }
  if (!found) return NotFound(id);
  if (flags & kAnimFindChange) {
    if (found->lockCount != 0) return kErrObjectLocked;
    if (!(flags & kAnimFindNoDetach))
      if (int32_t rc = DetachFromLayers(gs, *found)) return rc;
  }
  *out = found;
  return 0;
}

int32_t GetAnimFrameBitmap(vkGraphicsState& gs, vkAnim& anim, int32_t frame, bool copy, bool keepDecodedSize,
                           vkPlanes* owned, vkBitmapSource* out) {
  if (frame < 0 || frame >= anim.frameCount) return kErrAnimFrameRange;
  if (anim.fromDisk) {
    if (int32_t rc = DecodeFrame(anim, frame, owned)) return rc;
    if (!keepDecodedSize && (anim.width != anim.decodedWidth || anim.height != anim.decodedHeight)) {
      vkPlanes scaled;
      if (int32_t rc = ScalePlanes(gs, SourceOf(*owned, anim.decodedWidth, anim.decodedHeight), anim.width,
                                   anim.height, anim.smooth, &scaled))
        return rc;
      *owned = std::move(scaled);
      *out = SourceOf(*owned, anim.width, anim.height);
    } else {
      *out = SourceOf(*owned, anim.decodedWidth, anim.decodedHeight);
    }
    return 0;
  }
  const vkBitmapSource own = SourceOf(anim.frames[size_t(frame)], anim.width, anim.height);
  if (!copy) {
    *out = own;
    return 0;
  }
  if (int32_t rc = CopyPlanesRect(own, 0, 0, anim.width, anim.height, owned)) return rc;
  *out = SourceOf(*owned, anim.width, anim.height);
  return 0;
}

uint32_t QueryAnimFrameDelay(const vkAnim& anim, int32_t frame) {
  if (frame < 0 || frame >= anim.frameCount) return 0;
  if (size_t(frame) < anim.delays.size() && anim.delays[size_t(frame)] != kNoFrameDelay)
    return anim.delays[size_t(frame)];
  if (anim.fromDisk && anim.reader) return uint32_t(std::max(0, GetAnimFrameDelay(anim.reader.get(), frame)));
  return 0;
}

int32_t CloneAnim(vkGraphicsState& gs, const vkAnim& source, vkObjectId id, vkAnim** out) {
  vkAnim copy;
  if (source.fromDisk) {
    vkAnimReader* reader = nullptr;
    int32_t w = 0, h = 0, n = 0;
    if (int32_t rc = OpenAnimFile(source.fileName.c_str(), &reader, &w, &h, &n)) return rc;
    copy.reader.reset(reader);
    if (w != source.decodedWidth || h != source.decodedHeight || n != source.frameCount) return kErrAnimFrame;
    copy.fileName = source.fileName;
  } else {
    copy.frames.reserve(source.frames.size());
    for (const vkPlanes& f : source.frames) {
      vkPlanes p;
      if (int32_t rc = CopyPlanesRect(SourceOf(f, source.width, source.height), 0, 0, source.width, source.height,
                                      &p))
        return rc;
      copy.frames.push_back(std::move(p));
    }
  }
  copy.id = id;
  copy.width = source.width, copy.height = source.height;
  copy.decodedWidth = source.decodedWidth, copy.decodedHeight = source.decodedHeight;
  copy.frameCount = source.frameCount;
  copy.fromDisk = source.fromDisk;
  copy.transparentColor = source.transparentColor;
  copy.delays = source.delays;
  *out = &Anims(gs).anims.emplace_back(std::move(copy));
  return 0;
}

int32_t FreeAnimById(vkGraphicsState& gs, vkObjectId id, bool report) {
  vkAnim* a = nullptr;
  if (int32_t rc = FindAnim(gs, id, &a, 0)) {
    if (!report) ErrorInfo().errorNumber = 0;
    return report ? rc : 0;
  }
  if (IsActiveAnim(gs, *a)) return kErrActiveAnim;
  if (a->lockCount != 0) return kErrObjectLocked;
  if (ShownByLayer(gs, *a)) {
    if (Brushes(gs).repointLayers) Brushes(gs).repointLayers(gs, kObjectAnim, a, a);
    a->orphaned = true;
    a->id = vkObjectId{0, NewObjectHandle()};
    return 0;
  }
  Anims(gs).anims.remove_if([a](const vkAnim& x) { return &x == a; });
  return 0;
}

void FreeOrphanedAnims(vkGraphicsState& gs) {
  Anims(gs).anims.remove_if([&gs](const vkAnim& a) { return a.orphaned && a.lockCount == 0 && !ShownByLayer(gs, a); });
}

int32_t CountAnims(vkGraphicsState& gs) { return int32_t(Anims(gs).anims.size()); }

int32_t RebuildAnimBitmaps(vkGraphicsState&) { return 0; }

int PushAnimId(vkState* L, vkIdRequest request, const vkAnim& anim) {
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, anim.id.handle);
  return 1;
}

int32_t CreateFramesFromSource(vkState* L, vkFrameSource& rq, vkAnim** out) {
  vkGraphicsState& gs = GraphicsState(L);
  vkAnim anim;
  anim.transparentColor = rq.transparentColor;
  int32_t width = 0, height = 0;
  switch (rq.sourceKind) {
    case kObjectAnim:
      if (rq.reader) {
        width = rq.readerWidth, height = rq.readerHeight;
        anim.frameCount = rq.readerFrames;
        if (anim.frameCount < 1) return kErrUnknownAnim;
        anim.delays.assign(size_t(anim.frameCount), kNoFrameDelay);
        if (rq.fromDisk) {
          anim.fromDisk = true;
          anim.reader = std::move(rq.reader);
          anim.fileName = rq.fileName;
          break;
        }
        anim.frames.reserve(size_t(anim.frameCount));
        for (int32_t i = 0; i < anim.frameCount; i++) {
          vkBufferPtr<uint32_t> words(ReadAnimFrame(rq.reader.get(), i));
          if (!words) return kErrAnimFrame;
          vkBitMap* b = nullptr;
          vkPlane* m = nullptr;
          if (uint32_t rc = CreateBitMapFromARGB(words.get(), rq.transparentColor, width, height, width, &b, &m))
            return int32_t(rc);
          anim.frames.push_back(vkPlanes{vkBitMapPtr(b), vkPlanePtr(m), nullptr});
          anim.delays[size_t(i)] = uint32_t(std::max(0, GetAnimFrameDelay(rq.reader.get(), i)));
        }
      } else {
        if (rq.argCount > 3) return kErrTooManyArgs;
        vkAnim* src = nullptr;
        if (int32_t rc = FindAnim(gs, rq.source, &src, 0)) return rc;
        width = src->width, height = src->height;
        anim.frameCount = src->frameCount;
        anim.transparentColor = src->transparentColor;
        anim.delays = src->delays;
        anim.delays.resize(size_t(anim.frameCount), kNoFrameDelay);
        for (int32_t i = 0; i < src->frameCount; i++) {
          vkPlanes p;
          vkBitmapSource s;
          if (int32_t rc = GetAnimFrameBitmap(gs, *src, i, true, false, &p, &s)) return rc;
          if (src->fromDisk) anim.delays[size_t(i)] = QueryAnimFrameDelay(*src, i);
          anim.frames.push_back(std::move(p));
        }
      }
      break;
    case kObjectBrush: {
      vkBitmapSource src;
      if (rq.hasSource) {
        vkBrush* b = nullptr;
        if (int32_t rc = FindBrush(gs, rq.source, &b, kBrushFindPixels)) return rc;
        src = BrushSource(*b);
        if (anim.transparentColor == -1) anim.transparentColor = b->transparentColor;
      } else {
        if (!rq.picture.bitmap) return kErrWrongUsage;
        src = SourceOf(rq.picture, rq.picture.bitmap->width, rq.picture.bitmap->height);
      }
      if (rq.argCount < 4) {
        vkPlanes p;
        if (rq.hasSource) {
          if (int32_t rc = CopyPlanesRect(src, 0, 0, src.width, src.height, &p)) return rc;
        } else {
          p = std::move(rq.picture);
        }
        width = src.width, height = src.height;
        anim.frames.push_back(std::move(p));
      } else {
        if (int32_t rc = CutGrid(src, rq, &anim.frames)) return rc;
        width = rq.frameWidth, height = rq.frameHeight;
      }
      anim.frameCount = int32_t(anim.frames.size());
      anim.delays.assign(anim.frames.size(), kNoFrameDelay);
      break;
    }
    case kObjectTextObject: {
      if (rq.argCount > 3) return kErrTooManyArgs;
      const vkBitmapSourceHook find = Brushes(gs).textObjectSource;
      if (!find) return kErrWrongUsage;
      vkBitmapSource src;
      if (int32_t rc = find(L, kObjectTextObject, rq.source, 0, &src)) return rc;
      vkPlanes p;
      if (int32_t rc = CopyPlanesRect(src, 0, 0, src.width, src.height, &p)) return rc;
      width = src.width, height = src.height;
      anim.frames.push_back(std::move(p));
      anim.frameCount = 1;
      anim.delays.assign(1, kNoFrameDelay);
      break;
    }
    default:
      return kErrWrongUsage;
  }
  if (!rq.target.automatic)
    if (int32_t rc = FreeAnimById(gs, vkObjectId{rq.target.number, nullptr}, false)) return rc;
  anim.id = NewObjectId(rq.target);
  anim.width = anim.decodedWidth = width;
  anim.height = anim.decodedHeight = height;
  *out = &Anims(gs).anims.emplace_back(std::move(anim));
  return 0;
}

int32_t LoadAnimFile(vkState* L, bool diskPlayback, vkAnim** out) {
  vkGraphicsState& gs = GraphicsState(L);
  vkFrameSource rq;
  std::string file;
  int32_t loadAlpha = 0, fromDisk = 0, cacheAlpha = 0;
  std::string cache, cachedLoad;
  if (diskPlayback) {
    rq.target = vkIdRequest{0, true};
    file = dos::TextArg(L, 1);
    if (vmGetTop(L) >= 6 && vmType(L, 6) != VK_TNIL) rq.transparentColor = int32_t(vmCheckUnsigned(L, 6) & 0xFFFFFF);
    fromDisk = 1;
  } else {
    rq.target = OptObjectId(L, 1);
    file = ResolveLinkedFile(L, dos::TextArg(L, 2).c_str(), 0, nullptr);
    if (vmGetTop(L) >= 3 && vmType(L, 3) == VK_TTABLE) {
      uint32_t key = 0;
      if (OptFieldUnsigned(L, 3, "transparency", &key, nullptr)) rq.transparentColor = int32_t(key & 0xFFFFFF);
      OptFieldInt(L, 3, "loadalpha", &loadAlpha, nullptr);
      OptFieldInt(L, 3, "x", &rq.x, nullptr);
      OptFieldInt(L, 3, "y", &rq.y, nullptr);
      OptFieldInt(L, 3, "width", &rq.frameWidth, nullptr);
      OptFieldInt(L, 3, "height", &rq.frameHeight, nullptr);
      OptFieldInt(L, 3, "fpr", &rq.framesPerRow, nullptr);
      OptFieldInt(L, 3, "frames", &rq.frames, nullptr);
      OptFieldInt(L, 3, "fromdisk", &fromDisk, nullptr);
      OptFieldString(L, 3, "cache", &cache, nullptr);
      OptFieldString(L, 3, "cachedload", &cachedLoad, nullptr);
      OptFieldInt(L, 3, "cachealpha", &cacheAlpha, nullptr);
      if (loadAlpha == 1) cacheAlpha = 0;
    } else if (vmGetTop(L) >= 3 && vmType(L, 3) != VK_TNIL) {
      rq.transparentColor = int32_t(vmCheckUnsigned(L, 3) & 0xFFFFFF);
    }
    if (loadAlpha && rq.transparentColor != -1) return kErrMaskAndAlpha;
    if (rq.frames != 0 && fromDisk) return kErrWrongUsage;
    if (!rq.target.automatic)
      if (int32_t rc = FreeAnimById(gs, vkObjectId{rq.target.number, nullptr}, false)) return rc;
    PrintStatus(L, GetCatalogText(kCatalogLoadingAnim), file.c_str(), true);
  }
  rq.fromDisk = fromDisk != 0;
  rq.fileName = file;

  // While the preloads run, pictures may come from and go into the image cache.
  int32_t preloading = 0;
  if (!diskPlayback) GetAttrs(L, nullptr, {{ATTR_SCRIPTPHASE, &preloading}});
  const vkImageCacheEntry* cached = nullptr;
  if (preloading && !cachedLoad.empty())
    for (const vkImageCacheEntry& e : gs.imageCache)
      if (e.name == cachedLoad) cached = &e;

  vkAnimReader* reader = nullptr;
  if (!cached && rq.frames == 0 &&
      OpenAnimFile(file.c_str(), &reader, &rq.readerWidth, &rq.readerHeight, &rq.readerFrames) == 0) {
    rq.reader.reset(reader);
    rq.sourceKind = kObjectAnim;
  } else {
    ErrorInfo().errorNumber = 0;
    vkBufferPtr<uint32_t> pixels;
    vkPlanePtr alpha;
    int32_t w = 0, h = 0;
    const bool keepAlpha = loadAlpha || (preloading && cacheAlpha && !cache.empty());
    if (cached) {
      w = cached->width, h = cached->height;
      pixels.reset(static_cast<uint32_t*>(AllocateArray(size_t(w) * size_t(h), 4, false)));
      if (!pixels) return kErrOutOfMemory;
      std::memcpy(pixels.get(), cached->pixels.get(), size_t(w) * size_t(h) * 4);
      if (loadAlpha && cached->alpha) {
        alpha.reset(CopyAlphaPlane(cached->alpha.get(), w, h));
        if (!alpha) return kErrOutOfMemory;
      }
    } else {
      uint32_t* words = nullptr;
      vkPlane* plane = nullptr;
      if (uint32_t rc = LoadPictureFile(file.c_str(), loadAlpha ? PICTURE_ALPHA_REQUIRE
                                                                : keepAlpha ? PICTURE_ALPHA_KEEP : PICTURE_ALPHA_DROP,
                                        &words, keepAlpha ? &plane : nullptr, nullptr, nullptr, &w, &h))
        return int32_t(rc);
      pixels.reset(words);
      alpha.reset(plane);
      if (preloading && !cache.empty()) {
        vkImageCacheEntry e;
        e.name = cache;
        e.width = w, e.height = h;
        e.pixels.reset(static_cast<uint32_t*>(AllocateArray(size_t(w) * size_t(h), 4, false)));
        if (!e.pixels) return kErrOutOfMemory;
        std::memcpy(e.pixels.get(), pixels.get(), size_t(w) * size_t(h) * 4);
        if (cacheAlpha && alpha) e.alpha.reset(CopyAlphaPlane(alpha.get(), w, h));
        gs.imageCache.push_back(std::move(e));
      }
      if (!loadAlpha) alpha.reset();
    }
    rq.picture.alpha = std::move(alpha);
    vkBitMap* b = nullptr;
    vkPlane* m = nullptr;
    if (uint32_t rc = CreateBitMapFromARGB(pixels.get(), rq.transparentColor, w, h, w, &b, &m)) return int32_t(rc);
    rq.picture.bitmap.reset(b);
    rq.picture.mask.reset(m);
    rq.sourceKind = kObjectBrush;
    rq.fromDisk = false;
  }
  rq.argCount = rq.frameWidth > 0 && rq.frameHeight > 0 ? 7 : 3;
  if (int32_t rc = CreateFramesFromSource(L, rq, out)) return rc;
  PrintDone(L);
  return PushAnimId(L, rq.target, **out);
}
