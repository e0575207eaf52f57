// The sprite library: multi-frame pictures shown over a display's picture
// without becoming part of it. Each appearance is an on-screen record in the
// sprite list of the output picture, drawn after its background and layers;
// moving one refreshes the union of its old and new rectangles. A linked
// sprite shows the frames of other sprites, one after another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <vector>

#include "engine/argcheck.h"
#include "graphics/displayoptions.h"
#include "graphics/graphicsstate.h"

struct vkSpriteInstance;

// One frame: a bitmap with its mask or alpha plane (or neither).
using vkSpriteFrame = vkPlanes;

struct vkSprite {
  vkObjectId id{};
  int32_t width = 0, height = 0;  // every frame's size
  int32_t locked = 0;             // non-zero: changes are refused with 1314
  bool orphaned = false;
  int32_t transparentColor = -1;
  std::vector<vkSpriteFrame> frames;  // empty for a linked sprite
  std::vector<vkSprite*> links;       // a linked sprite's sources, in order
  // Where in its picture's list the sprite was last found on screen; tried
  // first by the next lookup, which checks it before trusting it.
  mutable size_t shownHint = 0;
  int32_t FrameCount() const;
};

struct vkSpriteList {
  std::list<vkSprite> sprites;  // creation order; records stay put
  // The newest record of each number and handle, so that a script moving
  // hundreds of sprites per frame finds each without walking the list.
  std::unordered_map<int32_t, vkSprite*> byNumber;
  std::unordered_map<const void*, vkSprite*> byHandle;
};

vkSpriteList& Sprites(vkGraphicsState& gs);

// Flags of FindSprite.
inline constexpr uint32_t kSpriteFindChange = 1;  // locked: 1314
inline constexpr uint32_t kSpriteFindOrphaned = 2;

// 0, 1219 (number kept for the message), 1041 or 1314.
int32_t FindSprite(vkGraphicsState& gs, vkObjectId id, vkSprite** out, uint32_t flags);

// The on-screen record of [sprite] on the current output, or null.
vkSpriteInstance* FindOnScreenSprite(vkGraphicsState& gs, const vkSprite* sprite);

// Appends a sprite made of [frames] (or, with [links], of the frames of
// those sprites); the id as [request] asks. Returns the record.
vkSprite& AddSpriteRecord(vkGraphicsState& gs, vkIdRequest request, int32_t width, int32_t height,
                          std::vector<vkSpriteFrame> frames, std::vector<vkSprite*> links, int32_t transparentColor);

// Frame [index] (0-based; a linked sprite counts its sources' frames one
// after another), or null past the end.
const vkSpriteFrame* GetSpriteFrame(const vkSprite& sprite, int32_t index);

// The planes of frame [frame] (1-based) of the sprite with [id]; 0, the
// lookup's error or 1094.
int32_t GetSpriteFramePlanes(vkGraphicsState& gs, vkObjectId id, int32_t frame, vkBitmapSource* out);

// Shows the sprite at x, y (special coordinates) with [frame] (0: the next
// one of a sprite on screen, 1 for a new one); refreshes what changed.
int32_t PlaceSprite(vkState* L, vkObjectId id, int32_t x, int32_t y, int32_t frame);

// Draws the sprites of [bgpic] that meet the rectangle into [dst], in list
// order (the compositor's last step).
void DrawSpriteInstances(vkGraphicsState& gs, const vkBGPic* bgpic, vkBitMap* dst, int32_t x, int32_t y,
                         int32_t width, int32_t height);

// Frees the picture's whole instance list without refreshing.
void RemoveBGPicSprites(vkBGPic* bgpic);

// The sprites' bitmaps exist from loading on this platform; returns 0.
int32_t RebuildSpriteBitmaps(vkGraphicsState& gs);

int32_t CountSprites(vkGraphicsState& gs);
int32_t CountSpriteInstances(const vkBGPic* bgpic);

// Frees the sprite and every sprite linked to it, removing their on-screen
// records from every picture. 0, 1314, 1219, 1041 (only with [report]).
int32_t FreeSpriteById(vkState* L, vkObjectId id, bool report);

// Registers the "sprite" commands; returns 0.
int OpenSpriteLibrary(vkState* L);

// Frees every sprite with its frames; returns 0.
int FreeAllSprites(vkState* L);
