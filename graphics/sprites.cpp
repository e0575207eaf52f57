// Sprites: the records, their frames, the on-screen records of each picture
// and the "sprite" commands. Whatever changes on screen is refreshed at once
// from the display's background with the sprites drawn over it; freeing a
// sprite takes its on-screen records off every picture that holds one.
#include "graphics/sprites.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstddef>
#include <string>

#include "base/catalog.h"
#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/libraries.h"
#include "engine/objecthandles.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/outputtargets.h"
#include "graphics/positions.h"
#include "graphics/safeblt.h"
#include "pixel/animfiles.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "pixel/copykernels.h"
#include "pixel/picturefile.h"
#include "pixel/simd.h"
#include "runtime/console.h"
#include "runtime/context.h"
#include "runtime/doscommands.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

vkSpriteList& Sprites(vkGraphicsState& gs) {
  if (!gs.sprites) gs.sprites = std::make_shared<vkSpriteList>();
  return *gs.sprites;
}

int32_t vkSprite::FrameCount() const {
  if (links.empty()) return int32_t(frames.size());
  int32_t n = 0;
  for (const vkSprite* s : links) n += s->FrameCount();
  return n;
}

namespace {

constexpr uint32_t kCatalogLoadingSprite = 262;
constexpr int32_t kKeepAspect = 100000;

vkGraphicsState& Gs(vkState* L) { return GraphicsState(L); }
int32_t IntArg(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }

int32_t NotFound(vkObjectId id) {
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoSprite;
}

int32_t NotShown(vkObjectId id) {
  if (id.handle) return kErrSpriteHandleNotShown;
  SetErrorNumber(id.number);
  return kErrSpriteNotShown;
}

// The pictures that may hold on-screen records: those the displays show and
// the current output.
std::vector<vkBGPic*> AllPictures(vkGraphicsState& gs) {
  std::vector<vkBGPic*> pics;
  auto add = [&pics](vkBGPic* p) {
    if (p && std::find(pics.begin(), pics.end(), p) == pics.end()) pics.push_back(p);
  };
  for (const auto& d : gs.DisplayList) add(d->bgpic);
  add(OutputPicture(gs));
  return pics;
}

// The display that shows [pic], or null.
vkDisplay* ShowingDisplay(vkGraphicsState& gs, vkBGPic* pic) {
  for (const auto& d : gs.DisplayList)
    if (d->bgpic == pic) return d.get();
  vkDisplay* cur = gs.CurrentDisplay;
  return cur && cur->bgpic == pic ? cur : nullptr;
}

// ---- The shown sprites of a picture ----
// Each shown sprite's rectangle is kept beside its record, so that a refresh
// tests eight of them at a time; every change to a picture's sprites goes
// through these, which first make the rectangles anew when the records were
// changed elsewhere (a picture's sprites cleared).

void SetBox(vkSpriteBoxes& b, size_t i, const vkSpriteInstance& s) {
  constexpr int64_t kMax = INT32_MAX;
  b.x1[i] = s.x, b.y1[i] = s.y;
  b.x2[i] = int32_t(std::min<int64_t>(int64_t(s.x) + s.width, kMax));
  b.y2[i] = int32_t(std::min<int64_t>(int64_t(s.y) + s.height, kMax));
}

void ResizeBoxes(vkSpriteBoxes& b, size_t n) {
  for (std::vector<int32_t>* edge : {&b.x1, &b.y1, &b.x2, &b.y2}) edge->resize(n);
}

void SyncBoxes(vkBGPic* pic) {
  if (pic->spriteBoxes.x1.size() == pic->sprites.size()) return;
  ResizeBoxes(pic->spriteBoxes, pic->sprites.size());
  for (size_t i = 0; i < pic->sprites.size(); i++) SetBox(pic->spriteBoxes, i, pic->sprites[i]);
}

const vkSpriteInstance& AppendShown(vkBGPic* pic, const vkSpriteInstance& added) {
  SyncBoxes(pic);
  pic->sprites.push_back(added);
  ResizeBoxes(pic->spriteBoxes, pic->sprites.size());
  SetBox(pic->spriteBoxes, pic->sprites.size() - 1, added);
  return pic->sprites.back();
}

void MoveShown(vkBGPic* pic, vkSpriteInstance* on, int32_t x, int32_t y, int32_t frame) {
  SyncBoxes(pic);
  on->x = x, on->y = y, on->frame = frame;
  SetBox(pic->spriteBoxes, size_t(on - pic->sprites.data()), *on);
}

void EraseShown(vkBGPic* pic, size_t index) {
  SyncBoxes(pic);
  pic->sprites.erase(pic->sprites.begin() + std::ptrdiff_t(index));
  vkSpriteBoxes& b = pic->spriteBoxes;
  for (std::vector<int32_t>* edge : {&b.x1, &b.y1, &b.x2, &b.y2}) edge->erase(edge->begin() + std::ptrdiff_t(index));
}

void ClearShown(vkBGPic* pic) {
  pic->sprites.clear();
  ResizeBoxes(pic->spriteBoxes, 0);
}

// Composes the rectangle of the display's picture again (background, then
// the sprites) and shows it in the window.
void RefreshRectNow(vkGraphicsState& gs, vkDisplay* display, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (!display || !display->bgpic || !display->screenBuffer) return;
  const vkBGPic* pic = display->bgpic;
  const int32_t x2 = std::min<int64_t>(int64_t(x) + w, pic->width), y2 = std::min<int64_t>(int64_t(y) + h, pic->height);
  x = std::max(x, 0), y = std::max(y, 0);
  if (x2 <= x || y2 <= y) return;
  RedrawRect(gs, display, display->screenBuffer, x, y, x2 - x, y2 - y, kRedrawAll);
  BltToWindow(gs, display->screenBuffer, x, y, display, x, y, x2 - x, y2 - y, 1);
}

void RefreshInstance(vkGraphicsState& gs, vkDisplay* display, const vkSpriteInstance& s) {
  RefreshRectNow(gs, display, s.x, s.y, s.width, s.height);
}

// Takes the sprite's record off [pic], refreshing where it was when a
// display shows the picture. False when it had none there.
bool TakeOff(vkGraphicsState& gs, vkBGPic* pic, const vkSprite* sprite) {
  auto it = std::find_if(pic->sprites.begin(), pic->sprites.end(),
                         [sprite](const vkSpriteInstance& s) { return s.sprite == sprite; });
  if (it == pic->sprites.end()) return false;
  const vkSpriteInstance gone = *it;
  EraseShown(pic, size_t(it - pic->sprites.begin()));
  if (vkDisplay* d = ShowingDisplay(gs, pic)) RefreshInstance(gs, d, gone);
  return true;
}

bool OnAnyPicture(vkGraphicsState& gs, const vkSprite* sprite) {
  for (vkBGPic* pic : AllPictures(gs))
    for (const vkSpriteInstance& s : pic->sprites)
      if (s.sprite == sprite) return true;
  return false;
}

// Whether a linked sprite uses [sprite]'s frames.
bool UsedByLink(vkGraphicsState& gs, const vkSprite* sprite) {
  for (const vkSprite& s : Sprites(gs).sprites)
    if (std::find(s.links.begin(), s.links.end(), sprite) != s.links.end()) return true;
  return false;
}

// The current output must be the display itself, without layers.
int32_t CheckPlainOutput(vkState* L) {
  vkGraphicsState& gs = Gs(L);
  const vkDisplay* d = OutputDisplay(gs);
  if (!d || !OutputPicture(gs)) return kErrWrongUsage;
  if (int32_t rc = OutputTargetError(gs)) return rc;
  const vkBrushList& hooks = Brushes(gs);
  if (d->layersOn || (hooks.layerCount && hooks.layerCount(L) > 0)) return kErrLayersMustBeOff;
  return 0;
}

// Frees the sprite record, the sprites linked to it first.
void FreeSpriteRecord(vkState* L, vkSprite* sprite) {
  vkGraphicsState& gs = Gs(L);
  for (vkBGPic* pic : AllPictures(gs)) TakeOff(gs, pic, sprite);
  for (;;) {
    auto& list = Sprites(gs).sprites;
    auto user = std::find_if(list.begin(), list.end(), [sprite](const vkSprite& s) {
      return std::find(s.links.begin(), s.links.end(), sprite) != s.links.end();
    });
    if (user == list.end()) break;
    FreeSpriteRecord(L, &*user);
  }
  vkSpriteList& list = Sprites(gs);
  std::erase_if(list.byNumber, [sprite](const auto& entry) { return entry.second == sprite; });
  std::erase_if(list.byHandle, [sprite](const auto& entry) { return entry.second == sprite; });
  list.sprites.remove_if([sprite](const vkSprite& s) { return &s == sprite; });
}

int PushId(vkState* L, vkIdRequest request, const vkSprite& s) {
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, s.id.handle);
  return 1;
}

// Frees the sprite that holds the number a new one is to take.
int32_t FreeNumber(vkState* L, vkIdRequest request) {
  if (request.automatic) return 0;
  return FreeSpriteById(L, vkObjectId{request.number, nullptr}, false);
}

// Cuts [frames] frames of width x height from the planes, [perRow] to a row
// from (x, y), or the whole picture as one frame when width is 0.
int32_t CutFrames(const vkBitmapSource& src, int32_t width, int32_t height, int32_t frames, int32_t perRow,
                  int32_t x, int32_t y, std::vector<vkSpriteFrame>* out) {
  if (width == 0 && height == 0) {
    width = src.width, height = src.height, frames = perRow = 1, x = y = 0;
  }
  if (perRow < 1) perRow = frames;
  if (width < 1 || height < 1 || frames < 1) return kErrWrongUsage;
  if (x < 0 || y < 0) return kErrNegativeCoords;
  const int64_t rows = (int64_t(frames) + perRow - 1) / perRow;
  if (x + int64_t(width) * std::min(perRow, frames) > src.width || y + rows * height > src.height)
    return kErrBrushSizeMismatch;
  std::vector<vkSpriteFrame> made;
  for (int32_t i = 0; i < frames; i++) {
    const int32_t fx = x + (i % perRow) * width, fy = y + (i / perRow) * height;
    if (int32_t rc = CopyPlanesRect(src, fx, fy, width, height, &made.emplace_back())) return rc;
  }
  *out = std::move(made);
  return 0;
}

vkBitmapSource FrameSource(const vkSpriteFrame& f, int32_t width, int32_t height) {
  return vkBitmapSource{f.bitmap.get(), f.mask.get(), f.alpha.get(), width, height};
}

// ---- Commands ----

int cmdCreateSprite(vkState* L) {
  CheckArgCount(L, 3, 9);
  vkGraphicsState& gs = Gs(L);
  const vkIdRequest request = OptObjectId(L, 1);
  const int32_t type = IntArg(L, 2);
  const vkObjectId source = CheckObjectId(L, 3);
  const int extra = vmGetTop(L) - 3;
  std::vector<vkSpriteFrame> frames;
  std::vector<vkSprite*> links;
  int32_t width = 0, height = 0, key = -1;
  if (type == kObjectSprite) {
    // A linked sprite: the frames of the source sprites, one after another.
    for (int i = 3; i <= 3 + extra; i++) {
      vkSprite* s = nullptr;
      if (int32_t rc = FindSprite(gs, CheckObjectId(L, i), &s, 0)) return rc;
      if (!links.empty() && (s->width != width || s->height != height)) return kErrWrongUsage;
      width = s->width, height = s->height;
      links.push_back(s);
    }
  } else if (type == kObjectBrush) {
    if (extra != 0 && extra < 4) return kErrWrongUsage;
    vkBrush* b = nullptr;
    if (int32_t rc = FindBrush(gs, source, &b, kBrushFindPixels)) return rc;
    const vkBitmapSource src = BrushSource(*b);
    const int32_t fw = extra ? IntArg(L, 4) : 0, fh = extra ? IntArg(L, 5) : 0;
    const int32_t count = extra ? IntArg(L, 6) : 1, perRow = extra ? IntArg(L, 7) : 1;
    const int32_t x = extra > 4 ? IntArg(L, 8) : 0, y = extra > 5 ? IntArg(L, 9) : 0;
    if (extra && (fw < 1 || fh < 1)) return kErrWrongUsage;
    if (int32_t rc = CutFrames(src, fw, fh, count, perRow, x, y, &frames)) return rc;
    width = frames.front().bitmap->width, height = frames.front().bitmap->height;
    key = b->transparentColor;
  } else if (type == kObjectAnim && Brushes(gs).animSource) {
    // Every frame of the anim, copied through the anim library's source.
    if (extra != 0) return kErrTooManyArgs;
    vkBitmapSource src;
    for (int32_t f = 0; Brushes(gs).animSource(L, kObjectAnim, source, f, &src) == 0; f++) {
      vkPlanes copy;
      if (int32_t rc = CopyPlanesRect(src, 0, 0, src.width, src.height, &copy)) return rc;
      frames.push_back(std::move(copy));
    }
    if (frames.empty()) return Brushes(gs).animSource(L, kObjectAnim, source, 0, &src);
    ErrorInfo().errorNumber = 0;
    width = frames.front().bitmap->width, height = frames.front().bitmap->height;
  } else {
    return kErrWrongUsage;
  }
  if (int32_t rc = FreeNumber(L, request)) return rc;
  return PushId(L, request, AddSpriteRecord(gs, request, width, height, std::move(frames), std::move(links), key));
}

int cmdLoadSprite(vkState* L) {
  CheckArgCount(L, 2, 3);
  const vkIdRequest request = OptObjectId(L, 1);
  const std::string file = ResolveLinkedFile(L, dos::TextArg(L, 2).c_str(), 0, nullptr);
  int32_t key = -1, loadAlpha = 0, x = 0, y = 0, w = 0, h = 0, perRow = 0, count = 0;
  if (vmGetTop(L) >= 3) {
    if (vmType(L, 3) == VK_TTABLE) {
      uint32_t k = 0;
      if (OptFieldUnsigned(L, 3, "transparency", &k, nullptr)) key = int32_t(k);
      OptFieldInt(L, 3, "loadalpha", &loadAlpha, nullptr);
      OptFieldInt(L, 3, "x", &x, nullptr);
      OptFieldInt(L, 3, "y", &y, nullptr);
      OptFieldInt(L, 3, "width", &w, nullptr);
      OptFieldInt(L, 3, "height", &h, nullptr);
      OptFieldInt(L, 3, "fpr", &perRow, nullptr);
      OptFieldInt(L, 3, "frames", &count, nullptr);
    } else {
      key = int32_t(vmCheckUnsigned(L, 3));
    }
  }
  if (loadAlpha && key != -1) return kErrMaskAndAlpha;
  PrintStatus(L, GetCatalogText(kCatalogLoadingSprite), file.c_str(), true);
  std::vector<vkSpriteFrame> frames;
  int32_t width = 0, height = 0;
  vkAnimReader* reader = nullptr;
  int32_t animFrames = 0;
  if (count == 0 && OpenAnimFile(file.c_str(), &reader, &width, &height, &animFrames) == 0) {
    struct Closer {
      vkAnimReader* r;
      ~Closer() { CloseAnimFile(r); }
    } closer{reader};
    for (int32_t i = 0; i < animFrames; i++) {
      vkBufferPtr<uint32_t> words(ReadAnimFrame(reader, i));
      if (!words) return kErrAnimFrame;
      vkBitMap* b = nullptr;
      vkPlane* m = nullptr;
      if (uint32_t rc = CreateBitMapFromARGB(words.get(), key, width, height, width, &b, &m)) return int32_t(rc);
      frames.push_back(vkSpriteFrame{vkBitMapPtr(b), vkPlanePtr(m), nullptr});
    }
    if (frames.empty()) return kErrAnimFrame;
  } else {
    uint32_t* pixels = nullptr;
    vkPlane* alpha = nullptr;
    int32_t pw = 0, ph = 0;
    if (uint32_t rc = LoadPictureFile(file.c_str(), loadAlpha ? PICTURE_ALPHA_REQUIRE : PICTURE_ALPHA_DROP, &pixels,
                                      loadAlpha ? &alpha : nullptr, nullptr, nullptr, &pw, &ph))
      return int32_t(rc);
    vkBufferPtr<uint32_t> owned(pixels);
    vkPlanePtr ownedAlpha(alpha);
    vkBitMap* b = nullptr;
    vkPlane* m = nullptr;
    if (uint32_t rc = CreateBitMapFromARGB(pixels, key, pw, ph, pw, &b, &m)) return int32_t(rc);
    vkBitMapPtr bitmap(b);
    vkPlanePtr mask(m);
    const vkBitmapSource src{bitmap.get(), mask.get(), ownedAlpha.get(), pw, ph};
    if (w > 0 && h > 0) {
      if (int32_t rc = CutFrames(src, w, h, count > 0 ? count : 1, perRow, x, y, &frames)) return rc;
    } else if (int32_t rc = CutFrames(src, 0, 0, 1, 1, 0, 0, &frames)) {
      return rc;
    }
    width = frames.front().bitmap->width, height = frames.front().bitmap->height;
  }
  if (int32_t rc = FreeNumber(L, request)) return rc;
  vkSprite& s = AddSpriteRecord(Gs(L), request, width, height, std::move(frames), {}, key);
  PrintDone(L);
  return PushId(L, request, s);
}

int cmdDisplaySprite(vkState* L) {
  CheckArgCount(L, 3, 4);
  const vkObjectId id = CheckObjectId(L, 1);
  const int32_t x = IntArg(L, 2), y = IntArg(L, 3);
  const int32_t frame = vkDoubleToInt32(vmOptNumber(L, 4, 0));
  if (int32_t rc = CheckPlainOutput(L)) return rc;
  return PlaceSprite(L, id, x, y, frame);
}

int cmdRemoveSprite(vkState* L) {
  CheckArgCount(L, 1, 1);
  const vkObjectId id = CheckObjectId(L, 1);
  if (int32_t rc = CheckPlainOutput(L)) return rc;
  vkGraphicsState& gs = Gs(L);
  vkSprite* s = nullptr;
  if (int32_t rc = FindSprite(gs, id, &s, 0)) return rc;
  if (!TakeOff(gs, OutputPicture(gs), s)) return NotShown(id);
  return 0;
}

int cmdRemoveSprites(vkState* L) {
  CheckArgCount(L, 0, 1);
  const bool keep = vmGetTop(L) >= 1 && vkDoubleToInt32(vmCheckNumber(L, 1)) != 0;
  if (int32_t rc = CheckPlainOutput(L)) return rc;
  vkGraphicsState& gs = Gs(L);
  vkBGPic* pic = OutputPicture(gs);
  vkDisplay* display = OutputDisplay(gs);
  for (const vkSpriteInstance& s : pic->sprites)
    if (s.sprite->locked) return kErrObjectLocked;
  if (!keep) {
    while (!pic->sprites.empty()) {
      const vkSpriteInstance gone = pic->sprites.front();
      EraseShown(pic, 0);
      RefreshInstance(gs, display, gone);
    }
    return 0;
  }
  // The sprites become part of the background.
  RefreshRectNow(gs, display, 0, 0, pic->width, pic->height);
  if (display->screenBuffer && display->backBuffer)
    BltBitMap(display->screenBuffer, 0, 0, display->backBuffer, 0, 0, pic->width, pic->height);
  ClearShown(pic);
  return 0;
}

int cmdFreeSprite(vkState* L) {
  CheckArgCount(L, 1, 1);
  return FreeSpriteById(L, CheckObjectId(L, 1), true);
}

// The sprite of argument 1, for ScaleSprite and FlipSprite: not on screen,
// not locked, neither linked nor used by a linked sprite.
int32_t SpriteForChange(vkState* L, vkSprite** out) {
  vkGraphicsState& gs = Gs(L);
  vkSprite* s = nullptr;
  if (int32_t rc = FindSprite(gs, CheckObjectId(L, 1), &s, kSpriteFindChange)) return rc;
  if (!s->links.empty() || UsedByLink(gs, s)) return kErrLinkedSprite;
  *out = s;
  return 0;
}

int cmdScaleSprite(vkState* L) {
  CheckArgCount(L, 3, 4);
  vkGraphicsState& gs = Gs(L);
  vkSprite* s = nullptr;
  if (int32_t rc = FindSprite(gs, CheckObjectId(L, 1), &s, 0)) return rc;
  // Refused on any picture: a record elsewhere would keep the old size.
  if (OnAnyPicture(gs, s)) return kErrSpriteOnScreen;
  if (int32_t rc = SpriteForChange(L, &s)) return rc;
  int32_t w = vkDoubleToInt32(CheckNumberOrPercent(L, 2, s->width, true, nullptr));
  int32_t h = vkDoubleToInt32(CheckNumberOrPercent(L, 3, s->height, true, nullptr));
  const bool smooth = vkDoubleToInt32(vmOptNumber(L, 4, 0)) != 0;
  if (w == kKeepAspect && h == kKeepAspect) return kErrWrongUsage;
  const double ratio = double(s->width) / s->height;
  if (w == kKeepAspect && h > 0) w = vkDoubleToInt32(std::floor(h * ratio + 0.5));
  if (h == kKeepAspect && w > 0) h = vkDoubleToInt32(std::floor(w / ratio + 0.5));
  if (w < 1 || h < 1) return kErrSizeNotPositive;
  if (w == s->width && h == s->height) return 0;
  std::vector<vkSpriteFrame> scaled;
  for (const vkSpriteFrame& f : s->frames) {
    if (int32_t rc = ScalePlanes(gs, FrameSource(f, s->width, s->height), w, h, smooth, &scaled.emplace_back()))
      return rc;
  }
  s->frames = std::move(scaled);
  s->width = w, s->height = h;
  return 0;
}

int cmdFlipSprite(vkState* L) {
  CheckArgCount(L, 2, 2);
  const int32_t direction = IntArg(L, 2);
  vkSprite* s = nullptr;
  if (int32_t rc = SpriteForChange(L, &s)) return rc;
  std::vector<uint8_t> scratch(size_t(MaskBytesPerRow(s->width)));
  for (vkSpriteFrame& f : s->frames) {
    vkBitMapInfo info;
    if (!LockBitMap(f.bitmap.get(), &info)) return kErrLockBitMap;
    vkFlipBlock b{};
    b.pixels = info.pixels;
    b.width = s->width, b.height = s->height, b.pixelsPerRow = info.pixelsPerRow;
    if (f.mask) b.mask = f.mask->data, b.maskBytesPerRow = f.mask->bytesPerRow;
    if (f.alpha) b.alpha = f.alpha->data, b.alphaBytesPerRow = f.alpha->bytesPerRow;
    b.direction = direction;
    b.bytesPerPixel = info.bytesPerPixel;
    b.scratch = scratch.data();
    FlipPixels(&b);
    UnLockBitMap(&info);
  }
  return 0;
}

int cmdCopySprite(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = Gs(L);
  const vkObjectId sourceId = CheckObjectId(L, 1);
  const vkIdRequest request = OptObjectId(L, 2);
  vkSprite* src = nullptr;
  if (int32_t rc = FindSprite(gs, sourceId, &src, 0)) return rc;
  if (!request.automatic && sourceId == vkObjectId{request.number, nullptr}) return kErrWrongUsage;
  // Every frame is copied before the new record joins the list.
  std::vector<vkSpriteFrame> frames(src->frames.size());
  for (size_t i = 0; i < frames.size(); i++)
    if (int32_t rc = CopyPlanesRect(FrameSource(src->frames[i], src->width, src->height), 0, 0, src->width,
                                    src->height, &frames[i]))
      return rc;
  std::vector<vkSprite*> links = src->links;
  const int32_t w = src->width, h = src->height, key = src->transparentColor;
  if (int32_t rc = FreeNumber(L, request)) return rc;
  return PushId(L, request, AddSpriteRecord(gs, request, w, h, std::move(frames), std::move(links), key));
}

const vkCommandDef kSpriteCommands[] = {
    {"CreateSprite", cmdCreateSprite}, {"DisplaySprite", cmdDisplaySprite}, {"RemoveSprite", cmdRemoveSprite},
    {"FreeSprite", cmdFreeSprite},     {"LoadSprite", cmdLoadSprite},       {"ScaleSprite", cmdScaleSprite},
    {"CopySprite", cmdCopySprite},     {"FlipSprite", cmdFlipSprite},       {"RemoveSprites", cmdRemoveSprites},
    {nullptr, nullptr},
};

}  // namespace

int32_t FindSprite(vkGraphicsState& gs, vkObjectId id, vkSprite** out, uint32_t flags) {
  vkSpriteList& list = Sprites(gs);
  vkSprite* newest = nullptr;
  if (id.handle) {
    auto it = list.byHandle.find(id.handle);
    if (it != list.byHandle.end()) newest = it->second;
  } else {
    auto it = list.byNumber.find(id.number);
    if (it != list.byNumber.end()) newest = it->second;
  }
  if (newest && newest->id == id && !newest->orphaned) {
    if ((flags & kSpriteFindChange) && newest->locked) return kErrObjectLocked;
    *out = newest;
    return 0;
  }
  for (vkSprite& s : list.sprites) {
    if (s.orphaned && !(flags & kSpriteFindOrphaned)) continue;
    if (!(s.id == id)) continue;
    if ((flags & kSpriteFindChange) && s.locked) return kErrObjectLocked;
    *out = &s;
    return 0;
  }
  return NotFound(id);
}

vkSpriteInstance* FindOnScreenSprite(vkGraphicsState& gs, const vkSprite* sprite) {
  vkBGPic* pic = OutputPicture(gs);
  if (!pic) return nullptr;
  // A sprite is shown at most once on a picture: the hint, when it still
  // names this sprite, is its only record there.
  std::vector<vkSpriteInstance>& shown = pic->sprites;
  if (sprite->shownHint < shown.size() && shown[sprite->shownHint].sprite == sprite)
    return &shown[sprite->shownHint];
  for (size_t i = 0; i < shown.size(); i++)
    if (shown[i].sprite == sprite) {
      sprite->shownHint = i;
      return &shown[i];
    }
  return nullptr;
}

vkSprite& AddSpriteRecord(vkGraphicsState& gs, vkIdRequest request, int32_t width, int32_t height,
                          std::vector<vkSpriteFrame> frames, std::vector<vkSprite*> links, int32_t transparentColor) {
  vkSpriteList& list = Sprites(gs);
  vkSprite& s = list.sprites.emplace_back();
  s.id = NewObjectId(request);
  if (s.id.handle) list.byHandle[s.id.handle] = &s;
  else list.byNumber[s.id.number] = &s;
  s.width = width, s.height = height;
  s.frames = std::move(frames);
  s.links = std::move(links);
  s.transparentColor = transparentColor;
  return s;
}

const vkSpriteFrame* GetSpriteFrame(const vkSprite& sprite, int32_t index) {
  if (index < 0) return nullptr;
  if (sprite.links.empty()) return index < int32_t(sprite.frames.size()) ? &sprite.frames[size_t(index)] : nullptr;
  for (const vkSprite* s : sprite.links) {
    const int32_t n = s->FrameCount();
    if (index < n) return GetSpriteFrame(*s, index);
    index -= n;
  }
  return nullptr;
}

int32_t GetSpriteFramePlanes(vkGraphicsState& gs, vkObjectId id, int32_t frame, vkBitmapSource* out) {
  vkSprite* s = nullptr;
  if (int32_t rc = FindSprite(gs, id, &s, 0)) return rc;
  const vkSpriteFrame* f = GetSpriteFrame(*s, frame - 1);
  if (!f) return kErrAnimFrameRange;
  *out = FrameSource(*f, s->width, s->height);
  return 0;
}

int32_t PlaceSprite(vkState* L, vkObjectId id, int32_t x, int32_t y, int32_t frame) {
  vkGraphicsState& gs = Gs(L);
  vkSprite* s = nullptr;
  if (int32_t rc = FindSprite(gs, id, &s, 0)) return rc;
  const int32_t count = s->FrameCount();
  if (frame < 0 || frame > count) return kErrAnimFrameRange;
  x = ResolveOutputX(gs, x, s->width, 0);
  y = ResolveOutputY(gs, y, s->height, 0);
  vkDisplay* display = OutputDisplay(gs);
  vkBGPic* pic = OutputPicture(gs);
  if (vkSpriteInstance* on = FindOnScreenSprite(gs, s)) {
    if (frame == 0) frame = on->frame >= count ? 1 : on->frame + 1;
    if (frame == on->frame && x == on->x && y == on->y) return 0;
    const vkSpriteInstance old = *on;
    MoveShown(pic, on, x, y, frame);
    const bool overlap = int64_t(old.x) < int64_t(x) + on->width && int64_t(x) < int64_t(old.x) + old.width &&
                         int64_t(old.y) < int64_t(y) + on->height && int64_t(y) < int64_t(old.y) + old.height;
    if (!overlap) {
      RefreshInstance(gs, display, old);
      RefreshInstance(gs, display, *on);
      return 0;
    }
    const int32_t x1 = std::min(old.x, x), y1 = std::min(old.y, y);
    const int64_t x2 = std::max(int64_t(old.x) + old.width, int64_t(x) + on->width);
    const int64_t y2 = std::max(int64_t(old.y) + old.height, int64_t(y) + on->height);
    RefreshRectNow(gs, display, x1, y1, int32_t(x2 - x1), int32_t(y2 - y1));
    return 0;
  }
  vkSpriteInstance shown;
  shown.x = x, shown.y = y, shown.width = s->width, shown.height = s->height;
  shown.frame = frame == 0 ? 1 : frame;
  shown.sprite = s;
  shown.clipRegion = pic->activeClip;
  RefreshInstance(gs, display, AppendShown(pic, shown));
  return 0;
}

namespace {

// The rectangle a refresh looks for sprites in: [x1, x2) x [y1, y2), inside
// 0 .. 2^31 - 1.
struct vkQueryRect {
  int32_t x1, y1, x2, y2;
};

// Bit k of the result is set when box [at + k] (k below [count], at most 64)
// meets [q]; one routine per vector width, all giving the same bits.
uint64_t MeetingBitsScalar(const vkSpriteBoxes& b, size_t at, size_t count, const vkQueryRect& q) {
  uint64_t bits = 0;
  for (size_t k = 0; k < count; k++) {
    const size_t i = at + k;
    if (b.x1[i] < q.x2 && b.y1[i] < q.y2 && b.x2[i] > q.x1 && b.y2[i] > q.y1) bits |= uint64_t(1) << k;
  }
  return bits;
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) uint64_t MeetingBitsAVX2(const vkSpriteBoxes& b, size_t at, size_t count,
                                                         const vkQueryRect& q) {
  const __m256i ex = _mm256_set1_epi32(q.x2), ey = _mm256_set1_epi32(q.y2);
  const __m256i sx = _mm256_set1_epi32(q.x1), sy = _mm256_set1_epi32(q.y1);
  const auto* x1 = reinterpret_cast<const __m256i*>(b.x1.data() + at);
  const auto* y1 = reinterpret_cast<const __m256i*>(b.y1.data() + at);
  const auto* x2 = reinterpret_cast<const __m256i*>(b.x2.data() + at);
  const auto* y2 = reinterpret_cast<const __m256i*>(b.y2.data() + at);
  uint64_t bits = 0;
  size_t k = 0;
  for (; k + 8 <= count; k += 8) {
    const size_t v = k / 8;
    const __m256i before =
        _mm256_and_si256(_mm256_cmpgt_epi32(ex, _mm256_loadu_si256(x1 + v)), _mm256_cmpgt_epi32(ey, _mm256_loadu_si256(y1 + v)));
    const __m256i after =
        _mm256_and_si256(_mm256_cmpgt_epi32(_mm256_loadu_si256(x2 + v), sx), _mm256_cmpgt_epi32(_mm256_loadu_si256(y2 + v), sy));
    bits |= uint64_t(uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_and_si256(before, after))))) << k;
  }
  return bits | (k < count ? MeetingBitsScalar(b, at + k, count - k, q) << k : 0);
}

uint64_t MeetingBitsSSE2(const vkSpriteBoxes& b, size_t at, size_t count, const vkQueryRect& q) {
  const __m128i ex = _mm_set1_epi32(q.x2), ey = _mm_set1_epi32(q.y2);
  const __m128i sx = _mm_set1_epi32(q.x1), sy = _mm_set1_epi32(q.y1);
  auto load = [at](const std::vector<int32_t>& edge, size_t k) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(edge.data() + at + k));
  };
  uint64_t bits = 0;
  size_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const __m128i before = _mm_and_si128(_mm_cmplt_epi32(load(b.x1, k), ex), _mm_cmplt_epi32(load(b.y1, k), ey));
    const __m128i after = _mm_and_si128(_mm_cmpgt_epi32(load(b.x2, k), sx), _mm_cmpgt_epi32(load(b.y2, k), sy));
    bits |= uint64_t(uint32_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_and_si128(before, after))))) << k;
  }
  return bits | (k < count ? MeetingBitsScalar(b, at + k, count - k, q) << k : 0);
}
#endif

// Calls [draw] with each sprite of [pic], in list order, whose rectangle
// meets [q], testing 64 at a time with the widest vectors the pixel kernels
// use.
template <typename Draw>
void ForEachMeeting(const vkBGPic* pic, const vkQueryRect& q, Draw draw) {
  const std::vector<vkSpriteInstance>& shown = pic->sprites;
  const vkSpriteBoxes& b = pic->spriteBoxes;
  const size_t n = shown.size();
  if (b.x1.size() != n) {  // changed elsewhere: every record is tried
    for (const vkSpriteInstance& s : shown) draw(s);
    return;
  }
  auto bitsOf = MeetingBitsScalar;
#if defined(__x86_64__)
  const int32_t level = PixelSimdLevel();
  if (level >= kPixelSimdAVX2) bitsOf = MeetingBitsAVX2;
  else if (level == kPixelSimdSSE2) bitsOf = MeetingBitsSSE2;
#endif
  for (size_t at = 0; at < n; at += 64) {
    for (uint64_t bits = bitsOf(b, at, std::min<size_t>(64, n - at), q); bits != 0; bits &= bits - 1)
      draw(shown[at + size_t(__builtin_ctzll(bits))]);
  }
}

}  // namespace

void DrawSpriteInstances(vkGraphicsState& gs, const vkBGPic* bgpic, vkBitMap* dst, int32_t x, int32_t y,
                         int32_t width, int32_t height) {
  if (!bgpic || !dst) return;
  // Nothing is drawn outside the picture and the destination: the sprites
  // are looked for in the rectangle cut to them.
  const int64_t qx1 = std::max<int64_t>(x, 0), qy1 = std::max<int64_t>(y, 0);
  const int64_t qx2 = std::min<int64_t>({int64_t(x) + width, bgpic->width, dst->width});
  const int64_t qy2 = std::min<int64_t>({int64_t(y) + height, bgpic->height, dst->height});
  if (qx2 <= qx1 || qy2 <= qy1) return;
  const vkQueryRect q{int32_t(qx1), int32_t(qy1), int32_t(qx2), int32_t(qy2)};
  ForEachMeeting(bgpic, q, [&](const vkSpriteInstance& s) {
    const int64_t x1 = std::max<int64_t>(x, s.x), y1 = std::max<int64_t>(y, s.y);
    const int64_t x2 = std::min<int64_t>(int64_t(x) + width, int64_t(s.x) + s.width);
    const int64_t y2 = std::min<int64_t>(int64_t(y) + height, int64_t(s.y) + s.height);
    if (x2 <= x1 || y2 <= y1) return;
    const vkSpriteFrame* f = s.sprite ? GetSpriteFrame(*s.sprite, s.frame - 1) : nullptr;
    if (!f || !f->bitmap) return;
    vkBlitRequest rq;
    rq.src = f->bitmap.get();
    rq.sx = int32_t(x1 - s.x), rq.sy = int32_t(y1 - s.y);
    rq.dst = dst;
    rq.dx = int32_t(x1), rq.dy = int32_t(y1);
    rq.width = int32_t(x2 - x1), rq.height = int32_t(y2 - y1);
    rq.srcWidth = s.width, rq.srcHeight = s.height;
    rq.dstWidth = bgpic->width, rq.dstHeight = bgpic->height;
    rq.flags = kBlitNoSprites | kBlitPixelsOnly;
    rq.mask = f->mask.get(), rq.alpha = f->alpha.get();
    rq.clip = s.clipRegion;
    SafeBlt(gs, rq);
  });
}

void RemoveBGPicSprites(vkBGPic* bgpic) {
  if (bgpic) ClearShown(bgpic);
}

int32_t RebuildSpriteBitmaps(vkGraphicsState&) { return 0; }

int32_t CountSprites(vkGraphicsState& gs) {
  int32_t n = 0;
  for (const vkSprite& s : Sprites(gs).sprites)
    if (!s.orphaned) n++;
  return n;
}

int32_t CountSpriteInstances(const vkBGPic* bgpic) { return bgpic ? int32_t(bgpic->sprites.size()) : 0; }

int32_t FreeSpriteById(vkState* L, vkObjectId id, bool report) {
  vkSprite* s = nullptr;
  if (int32_t rc = FindSprite(Gs(L), id, &s, 0)) {
    if (!report) ErrorInfo().errorNumber = 0;
    return report ? rc : 0;
  }
  if (s->locked) return kErrObjectLocked;
  FreeSpriteRecord(L, s);
  return 0;
}

namespace {

int32_t CountSpritesOf(vkState* L) { return CountSprites(GraphicsState(L)); }

// Size, key and frame count always; the planes of frame 1; the place and
// frame on the current output only while the sprite is shown there.
int QuerySprite(vkState* L, int32_t attribute) {
  vkGraphicsState& gs = GraphicsState(L);
  const vkObjectId id = CheckObjectId(L, 2);
  vkSprite* s = nullptr;
  if (int32_t rc = FindSprite(gs, id, &s, 0)) return rc;
  const vkSpriteInstance* shown = FindOnScreenSprite(gs, s);
  double value = 0;
  switch (attribute) {
    case ATTRWIDTH: value = s->width; break;
    case ATTRHEIGHT: value = s->height; break;
    case ATTRTRANSPARENTCOLOR: value = s->transparentColor; break;
    case ATTRNUMFRAMES: value = s->FrameCount(); break;
    case ATTRHASMASK:
    case ATTRHASALPHA: {
      vkBitmapSource first;
      if (int32_t rc = GetSpriteFramePlanes(gs, id, 1, &first)) return rc;
      value = (attribute == ATTRHASMASK ? first.mask != nullptr : first.alpha != nullptr) ? 1 : 0;
      break;
    }
    case ATTRONSCREEN: value = shown ? 1 : 0; break;
    case ATTRXPOS:
    case ATTRYPOS:
    case ATTRCURFRAME:
      if (!shown) {
        if (id.handle) return kErrObjectNotFound;
        SetErrorNumber(id.number);
        return kErrNoSprite;
      }
      value = attribute == ATTRXPOS ? shown->x : attribute == ATTRYPOS ? shown->y : shown->frame;
      break;
    default: return kErrUnknownAttribute;
  }
  vmPushNumber(L, value);
  return 1;
}

}  // namespace

int OpenSpriteLibrary(vkState* L) {
  RegisterAttributeProvider(L, vkObjectType::SPRITE, {CountSpritesOf, QuerySprite});
  vmRegisterFunctions(L, nullptr, kSpriteCommands, 0);
  return RegisterLibrary(L, kSpriteCommands, "sprite");
}

int FreeAllSprites(vkState* L) {
  if (!L) return 0;
  vkGraphicsState& gs = GraphicsState(L);
  for (vkBGPic* pic : AllPictures(gs)) ClearShown(pic);
  Sprites(gs).byNumber.clear();
  Sprites(gs).byHandle.clear();
  Sprites(gs).sprites.clear();
  return 0;
}
