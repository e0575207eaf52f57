// The transition effect engine. A command fills a request; the engine makes
// its own state from it, finds what is to appear or disappear (a BGPic, a
// brush, a text object, a BGPic part or a layer), prepares the source, the
// old picture and the destination, picks the effect's family from the effect
// table and drives it frame by frame: synchronously, pumping events before
// each frame and presenting and pacing after it, or as an asynchronous
// drawing object the script steps. Families only compute their geometry or
// levels per frame and draw through the engine's one primitive and one end
// of frame; the engine owns the loop, the sources, the layers and clean-up.
#pragma once

#include <cstdint>
#include <memory>

#include "effects/fxtable.h"
#include "engine/argcheck.h"
#include "pixel/bitmap.h"

struct vkState;
struct vkGraphicsState;
struct vkBGPic;
struct vkLayer;
struct vkLayerData;
struct vkFXState;

// Called after every frame a synchronous run presents (tests watch frames).
using vkFXFrameObserver = void (*)(void* context, const vkFXState& s);

// What a command asks for. Zero-filled but for the defaults below.
struct vkFXRequest {
  vkState* L = nullptr;
  int32_t operation = 0;  // object type code: BGPIC, BRUSH, TEXTOBJECT, BGPICPART, LAYER, HIDELAYER, REMOVELAYER
  int32_t type = kFXRandomEffect;  // effect id 0..139, or RANDOMEFFECT
  vkObjectId id{};                 // the object; layer operations: 1-based layer position in id.number
  int32_t x = 0, y = 0;            // where the picture lands on the display
  int32_t speed = kNormalSpeed;
  int32_t parameter = kFXRandomParameter;
  int32_t width = 0, height = 0;  // BGPICPART: the part's size
  int32_t partX = 0, partY = 0;   // BGPICPART: the part's origin in the BGPic
  int32_t layers = 0;             // BGPICPART: draw the part as a layer
  int32_t undoType = 0, undoLevel = 1;
  int32_t reverse = 0;  // the effect runs towards hiding
  int32_t async = 0;
  int32_t again = 0;    // set by the run when the display size changed: run it again
  int32_t forceRealtimeLayers = 0;
  int32_t positionX = 99999, positionY = 99999;  // BGPIC: the new picture's window position
  int32_t bgpicemu = 0;
  vkBGPic* emulatedBGPic = nullptr;
  vkFXFrameObserver observer = nullptr;
  void* observerContext = nullptr;
};

// An effect's own record, made by its set-up and dropped by the engine.
struct vkFXPrivate {
  virtual ~vkFXPrivate() = default;
};

// The engine's state of one run; it owns everything it made.
struct vkFXState : vkFXRequest {
  vkGraphicsState* gs = nullptr;
  vkFXRequest* caller = nullptr;  // the command's request, for again
  vkLayer* layer = nullptr;       // the layer shown, hidden or removed; null on the display
  const vkFXFamilyRoutines* routines = nullptr;
  const vkFXRow* row = nullptr;   // the effect's row, after the random choice and the mirror
  int32_t requestedSpeed = kNormalSpeed;
  int32_t spaceWidth = 0, spaceHeight = 0;  // the displayed picture
  // The picture revealed (when hiding: what lies beneath) and its planes;
  // borrowed from their owner, or one of the owned records below.
  const vkBitMap* source = nullptr;
  const vkPlane* sourceMask = nullptr;
  const vkPlane* sourceAlpha = nullptr;
  vkBitMapPtr ownedSource;
  vkPlanePtr ownedMask, ownedAlpha;
  vkBitMapPtr oldPicture;  // the screen under the effect before it
  vkBitMapPtr scratch;     // BGPIC: the screen before the effect, given by the picture switch
  vkPlanePtr maskCopy, alphaCopy;  // asynchronous layer effects
  bool layerBuffersMade = false;
  // The layer's own transformed planes, kept aside in real-time layer mode.
  vkBitMapPtr savedBitmap;
  vkPlanePtr savedMask, savedAlpha;
  // Where the effect's buffers stand: a layer change that makes the layer's
  // records or planes anew takes them away with the old ones.
  const vkLayerData* buffersRecord = nullptr;
  const vkBitMap* buffersBitmap = nullptr;
  bool layerLost = false;  // the changed layer's picture could not be taken: no more frames
  bool addedLayer = false;  // the run made the layer (a brush or part shown with layers on)
  // Real-time layer mode: what a frame changed in the layer, shown once at
  // the end of the frame (x1, y1, x2, y2 exclusive; empty when x1 >= x2).
  bool collectingRefresh = false;
  int32_t refreshX1 = 0, refreshY1 = 0, refreshX2 = 0, refreshY2 = 0;
  int32_t savedSourceX = 0, savedSourceY = 0;
  int32_t savedX = 0, savedY = 0;
  vkBGPic* previousBGPic = nullptr;
  uint32_t blitFlags = 0;
  int32_t scaling = 0;
  int32_t sizeChanged = 0;
  int32_t realtime = 0;  // drawing goes into the layer's own buffers
  int32_t rerenderPending = 0, removePending = 0;
  int32_t* lockCount = nullptr;  // of the brush shown, held for the run
  uint32_t* lockFlag = nullptr;  // of the BGPic shown
  bool bgpicShown = false;       // the display already shows the new BGPic
  std::unique_ptr<vkFXPrivate> privateData;
  int32_t phase = 0;  // 0 set-up, 1 step, 2 draw frame `frame` from scratch
  int32_t frame = 0;  // frames drawn
  int32_t stepCount = 0;
  int32_t replaying = 0;
  int32_t restarted = 0;
  int32_t finished = 0;

  vkFXState() = default;
  vkFXState(const vkFXState&) = delete;
  vkFXState& operator=(const vkFXState&) = delete;
  ~vkFXState();

  template <class T>
  T& Private() {
    return static_cast<T&>(*privateData);
  }
  template <class T>
  const T& Private() const {
    return static_cast<const T&>(*privateData);
  }
};

// Runs the effect [request] describes: 0 (synchronous run done), 1 (an
// asynchronous run started; its handle pushed) or an error code. May set
// request.again.
uint32_t RunTransitionFX(vkFXRequest& request);

// The step width for [speed]: the size divided by the divisor of the
// normal, fast or slow speed, else the speed itself; at least 1.
int32_t FXSpeedToStep(int32_t speed, int32_t size, int32_t normal, int32_t fast, int32_t slow);
// Steps to cover [size] in steps of [step] (one more unless [exact]); 1 for
// a size below 1.
int32_t FXStepCount(int32_t size, int32_t step, int32_t exact);

// Copies a rectangle, clipped to both bitmaps' given sizes.
void FXClipBlit(const vkBitMap* src, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy, int32_t w,
                int32_t h, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);

// The one drawing primitive of the families: the width x height rectangle
// of [src] (with its planes) at (sx, sy) goes to the effect's destination at
// the same offset from the effect's origin.
void FXDraw(vkFXState& s, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, int32_t sx, int32_t sy,
            int32_t w, int32_t h);
// The same for a picture of its own size ([srcWidth] x [srcHeight]) whose
// rectangle at (sx, sy) goes to (dx, dy) from the effect's origin; [flags]
// are FXBlit's in real-time layer mode. A slice of the source is erased
// instead while hiding a layer.
void FXDrawAt(vkFXState& s, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, int32_t srcWidth,
              int32_t srcHeight, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w, int32_t h,
              uint32_t flags);
// The source's rectangle through FXDraw.
inline void FXDrawSource(vkFXState& s, int32_t sx, int32_t sy, int32_t w, int32_t h) {
  FXDraw(s, s.source, s.sourceMask, s.sourceAlpha, sx, sy, w, h);
}

// A random effect id 0..139 but 113; whole-picture effects only
// when [allowWholePicture]. Drawn from drand48.
int32_t FXRandomEffect(bool allowWholePicture);

// What the screen shows under the effect's rectangle, into [dst] at (0, 0):
// composed with the effect's layer hidden unless [keepLayer].
void FXScreenUnderEffect(vkFXState& s, vkBitMap* dst, bool keepLayer);

// Fills [alpha] (width x height) from a mask, from another alpha plane, or
// with 255 when there is neither.
void MakeAlphaPlane(vkPlane* alpha, const vkPlane* mask, const vkPlane* sourceAlpha, int32_t width, int32_t height);

// Brings the effect to frame [n]: seekable effects draw it from scratch,
// the others replay their frames from the start without presenting.
int32_t FXReplayFrames(vkFXState& s, int32_t n, int32_t keep);

// Starts the effect again on a picture of another size (the source, the
// layer's buffers and the sizes already new): set up anew from the speed
// asked for, on a new old picture where there was one, and brought to the
// same share [done] / [of] of its frames that it had reached (frame 1 at
// least once it had started). 0 or an error code.
int32_t FXRestart(vkFXState& s, int32_t done, int32_t of);
