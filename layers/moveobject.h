// The moveobject library: brushes, anims, text objects, layers and sprites
// moved from a start point to an end point, one step per displayed frame,
// straight or along a motion curve, synchronously or in the background as
// an asynchronous drawing object. Effects drive the same machinery with a
// record of their own.
#pragma once

#include <array>
#include <cstdint>

#include "engine/argcheck.h"
#include "graphics/displayoptions.h"
#include "platform/vkos_time.h"

struct vkState;
struct vkAnim;

// Motion curves.
inline constexpr int32_t kMoveStraight = 0;
inline constexpr int32_t kMoveBounce = 1;
inline constexpr int32_t kMoveSmoothOut = 2;
inline constexpr int32_t kMoveDamped = 3;
inline constexpr int32_t kMoveSine = 4;
inline constexpr int32_t kMoveBigSine = 5;
inline constexpr int32_t kMoveLowerCurve = 6;
inline constexpr int32_t kMoveUpperCurve = 7;

// A coordinate of MoveLayer that keeps the layer's own x or y.
inline constexpr int32_t kUseLayerPosition = 100000;

// Steps of one phase of the wave of SINE and BIGSINE.
inline constexpr int32_t kMoveWaveSteps = 79;

// One move: the request and its running state.
struct vkMoveObject {
  vkState* L = nullptr;
  vkPlanes ownedFrame;        // a frame decoded for this move (disk anims)
  vkBitmapSource planes;      // what is drawn now; no bitmap: load the frame first
  vkBitMapPtr work, background;  // the display's size: layers off only
  int32_t type = 0;           // vkObjectType: BRUSH, ANIM, TEXTOBJECT, LAYER, SPRITE, NOOBJECT
  vkObjectId id{};
  int32_t fx = kMoveStraight;
  int32_t x = 0, y = 0, x2 = 0, y2 = 0;
  int32_t previousX = 0, previousY = 0;
  int32_t width = 0, height = 0;
  int32_t xStep = 0, yStep = 0;
  int32_t bounceUnit = 0;
  int32_t animSpeed = 0;      // ms between frames; -4: each anim frame's own delay
  int32_t phase = 0;          // 0 travel, 1-6 bounce, 7-8 damped, 9 end of a wave
  int32_t xZone = 0, yZone = 0, xSlow = 0, ySlow = 0;
  int32_t frame = 0, frameCount = 0;
  int32_t direction = 0;      // 0 north, clockwise to 7 north-west
  int32_t waveIncrement = 0, wave = 0;
  double distance = 0;        // LOWERCURVE, UPPERCURVE
  int32_t remainder = 0, remainderSpent = 0;
  std::array<double, kMoveWaveSteps> table{};
  vkAnim* anim = nullptr;
  bool async = false;
  bool effectDriven = false;
  vkTimeValue nextFrame;
  uint32_t extraBlitFlags = 0;
  int32_t (*step)(vkMoveObject* move, int32_t* finished) = nullptr;
  void (*release)(vkMoveObject* move) = nullptr;
  int32_t* lockCount = nullptr;
  bool frameChanged = false;
  int32_t pictureWidth = 0, pictureHeight = 0;  // the displayed picture's size last seen
};

// Sets up [move] (taken over) and runs it, or starts it in the background:
// 0 results, 1 (the asynchronous object's handle pushed) or an error code.
int RunMove(vkMoveObject* move);

// One step; *[finished] becomes 1 after the last. 0 or an error code.
int32_t MoveStep(vkMoveObject* move, int32_t* finished);

// Releases what the move holds (locks, buffers, frames), and the record
// unless an effect owns it.
void MoveAsyncFree(vkMoveObject* move);

// Registers the "moveobject" commands and constants; returns 0.
int OpenMoveObjectLibrary(vkState* L);
