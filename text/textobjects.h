// Text objects: a text laid out once in the text style of the moment and
// kept as a picture (bitmap, mask, alpha plane) together with its layout
// record, so that scaling and rotating lay the text out again instead of
// stretching pixels. The script shows them like brushes; an object a layer
// still shows when the script frees or changes it lives on as a deleted
// copy that belongs to those layers until they go. Also the shutdown step
// that frees every text object, then the fonts.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "engine/argcheck.h"
#include "graphics/displayoptions.h"
#include "pixel/bitmap.h"
#include "text/textlayout.h"

struct vkState;

// "Could not find text object %ld!"
inline constexpr int32_t kErrNoTextObject = 1175;

struct vkTextObject {
  vkObjectId id;  // the script's number, or the record's address when the system chose
  vkBitMapPtr bitmap;
  vkPlanePtr mask;
  vkPlanePtr alpha;  // or none
  int32_t width = 0, height = 0;
  int32_t createdWidth = 0, createdHeight = 0;  // the size the text was first laid out at
  int32_t offsetX = 0, offsetY = 0;  // the bitmap's origin relative to the text position
  uint32_t lockCount = 0;  // an effect or a move uses the object: changes are refused
  bool deleted = false;    // freed or replaced by the script, still shown by a layer
  vkTextLayout layout;     // what the text was laid out from, with its line and tab decisions
  vkTransform transform;   // the scale and rotation last applied
};

// Removes the most recent layer of [kind] (text layout kinds) from the
// current output; 0 or an error code. Registered by the layers library.
using vkRemoveTextLayerHook = int32_t (*)(vkState* L, int32_t kind);

// The run's text objects in creation order (records stay put), and how
// line input takes back what it echoed as layers.
struct vkTextObjectList {
  std::list<vkTextObject> objects;
  vkRemoveTextLayerHook removeTextLayer = nullptr;
};

// The text objects of [L]'s run, made when first asked for.
vkTextObjectList& TextObjects(vkState* L);

// Flags of FindTextObject.
inline constexpr uint32_t kTextObjectFindChange = 1;    // for modification: locked 1314, copy-before-modify
inline constexpr uint32_t kTextObjectFindDeleted = 2;   // deleted objects are found too
inline constexpr uint32_t kTextObjectFindNoDetach = 4;  // with 1: no copy-before-modify

// Finds [id]: 0, 1175 (the number kept for the message), 1041 for a handle,
// 1314 for a locked object asked for modification, 1000. For modification
// every layer that shows the object is first given a copy of its own
// (marked deleted), so the script's object may change under them.
int32_t FindTextObject(vkState* L, vkObjectId id, vkTextObject** out, uint32_t flags);

// Shows object [id] at ([x], [y]) (special coordinates allowed) on the
// current output with the display options of the table at stack index
// [optionsIndex] (0: none) applied to its picture: as a layer while layers
// are on, else drawn. 0 or an error code.
int32_t DrawTextObject(vkState* L, vkObjectId id, int32_t x, int32_t y, int optionsIndex);

// Frees [id]; one that a layer still shows becomes deleted instead. A
// missing object is an error only when [report]. 0 or an error code.
int32_t FreeTextObjectById(vkState* L, vkObjectId id, bool report);

// The script's text objects (deleted ones are not counted).
int32_t CountTextObjects(vkState* L);

// Frees every deleted object that no layer shows any more.
void PurgeDeletedTextObjects(vkState* L);

// Lays [layout] out for a text object under [t] (identity: as it stands):
// a scalable font is scaled itself when [t] only scales, anything else is
// drawn at its size and the drawing transformed. The line and tab
// decisions of [layout] are kept. 0 or an error code.
uint32_t LayoutTextObject(vkState* L, const vkTextLayout& layout, const vkTransform& t, vkTextPicture* out);

// Registers the text-object commands and InKeyStr under "text", the
// TEXTOBJECT attributes and the planes hook that brushes are made through;
// 0 or an error code.
int OpenTextObjectLibrary(vkState* L);

// Frees every text object, every open and cached font of [L]'s run, then
// shuts the font engines down; returns 0. Nothing to do for a run whose
// text state was never made.
int FreeAllTextObjectsAndFonts(vkState* L);
