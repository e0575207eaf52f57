// The brush library: the script's brushes, free-standing pictures with an
// optional mask or alpha plane that scripts load, create, change and show.
// The records live in the graphics state; a brush that a layer still shows
// when the script frees it stays, orphaned, until no layer shows it, and a
// brush a layer shows is copied before a command changes it, so the layer
// keeps the old picture.
#pragma once

#include <cstdint>
#include <list>
#include <memory>

#include "engine/argcheck.h"
#include "graphics/displayoptions.h"
#include "graphics/graphicsstate.h"

struct vkState;

// Brush kinds.
inline constexpr int32_t kBrushBitmap = 0;
inline constexpr int32_t kBrushVector = 1;  // made by the draw library; has no pixels to change

// The colour key recorded for a brush created with a mask.
inline constexpr int32_t kCreatedMaskKey = 0xAFC0DE;

struct vkBrush {
  vkObjectId id{};
  vkBitMapPtr bitmap;
  vkPlanePtr mask;   // or none
  vkPlanePtr alpha;  // or none
  int32_t width = 0, height = 0;
  int32_t lockCount = 0;        // non-zero: changes are refused with 1314
  bool orphaned = false;        // freed by the script, still shown by a layer
  int32_t transparentColor = -1;  // 0xRRGGBB, -1 none
  int32_t transformed = 0;      // a vector brush that was transformed
  int32_t kind = kBrushBitmap;
  std::shared_ptr<void> vectorData;  // the draw library's data of a vector brush
};

// Whether any layer shows [record] of [type]; moving those layers to [to].
using vkShownByLayerHook = bool (*)(vkGraphicsState& gs, int32_t type, const void* record);
using vkRepointLayersHook = void (*)(vkGraphicsState& gs, int32_t type, const void* from, void* to);

// The brush list with the hooks through which the layers and the other
// picture kinds take part in displaying.
struct vkBrushList {
  std::list<vkBrush> brushes;  // creation order; records stay put
  vkShownByLayerHook shownByLayer = nullptr;
  vkRepointLayersHook repointLayers = nullptr;
  vkAddLayerHook addLayer = nullptr;
  vkLayerCountHook layerCount = nullptr;
  // The planes of a picture, an anim frame, a layer (by its number; an anim
  // layer's frame) or a text object; frames 0-based. The layers library
  // fills in the layer source, so without it no layer is found (1078).
  vkBitmapSourceHook bgpicSource = nullptr;
  vkBitmapSourceHook animSource = nullptr;
  vkBitmapSourceHook layerSource = nullptr;
  vkBitmapSourceHook textObjectSource = nullptr;
};

vkBrushList& Brushes(vkGraphicsState& gs);

// Flags of FindBrush.
inline constexpr uint32_t kBrushFindChange = 1;    // locked: 1314; copy-before-modify runs
inline constexpr uint32_t kBrushFindOrphaned = 2;     // orphaned brushes count
inline constexpr uint32_t kBrushFindNoDetach = 4;     // with 1: no copy-before-modify
inline constexpr uint32_t kBrushFindPixels = 8;       // vector brushes are refused (1388)

// 0, 1174 (the number is kept for the message), 1041, 1314 or 1388.
int32_t FindBrush(vkGraphicsState& gs, vkObjectId id, vkBrush** out, uint32_t flags);

// The checks and copy-before-modify of every command that changes a
// brush's pixels or planes: 1149 for the active output target, then
// FindBrush for change with pixels.
int32_t FindBrushForChange(vkGraphicsState& gs, vkObjectId id, vkBrush** out);

// Whether [brush] is the output target drawing goes into.
bool IsActiveBrush(vkGraphicsState& gs, const vkBrush& brush);

// Appends a brush with the planes given (taken over); the id is chosen as
// [request] asks. Returns the record.
vkBrush& AddBrushRecord(vkGraphicsState& gs, vkIdRequest request, vkPlanes planes, int32_t transparentColor);

// A copy of [source] under [request]; 0 or 1000.
int32_t CloneBrush(vkGraphicsState& gs, const vkBrush& source, vkIdRequest request, vkBrush** out);

// A new brush filled with [rgb]; a mask starts all set and an alpha plane
// all 255 unless [clear]. 0, 1000.
int32_t CreateBrushRecord(vkGraphicsState& gs, vkIdRequest request, int32_t width, int32_t height, uint32_t rgb,
                          bool withMask, bool withAlpha, bool clear, vkBrush** out);

// Frees the brush (orphans it while a layer shows it). With [report] 0 a
// missing brush is no error. 0, 1149, 1314, 1174, 1041.
int32_t FreeBrushById(vkGraphicsState& gs, vkObjectId id, bool report);

// Frees every orphaned brush that no layer shows any more.
void FreeOrphanedBrushes(vkGraphicsState& gs);

// Replaces the brush's planes with new ones (the old ones go) and its size.
void ReplaceBrushPlanes(vkBrush& brush, vkPlanes planes);

// The brush's planes as a source to copy or draw from.
vkBitmapSource BrushSource(const vkBrush& brush);

// Brushes get their bitmaps when loaded on this platform, also while
// preloading: nothing waits for the first display. Returns 0.
int32_t RebuildBrushBitmaps(vkGraphicsState& gs);

int32_t CountBrushes(vkGraphicsState& gs);

// Lets the pictures find brushes and make them from their copies
// (vkGraphicsState::brushHooks), and the clipboard take brushes and give
// pictures back as brushes (the event library's hooks, when it is open).
void RegisterBrushHooks(vkState* L);

// Registers the "brush" commands and constants; returns 0.
int OpenBrushLibrary(vkState* L);

// Frees every brush with its planes, orphans too; returns 0.
int FreeAllBrushes(vkState* L);
