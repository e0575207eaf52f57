// The bgpic library: the script's background pictures, with their layers,
// buttons and the sprites shown on them; its opener and the shutdown step
// that frees them all.
#pragma once

#include <cstdint>
#include <list>

struct vkState;
struct vkBitMap;
struct vkClipRegion;
struct vkSprite;

// One appearance of a sprite on a picture.
struct vkSpriteInstance {
  int32_t x = 0, y = 0, width = 0, height = 0;
  vkClipRegion* clipRegion = nullptr;  // the region it was drawn through
  vkSprite* sprite = nullptr;          // what it shows
  int32_t frame = 1;                   // 1-based
};

// A background picture; the same record serves every output target (a
// selected brush, mask, alpha channel or double buffer).
struct vkBGPic {
  int32_t idNumber = 0;
  void* idHandle = nullptr;
  int32_t width = 0, height = 0;              // of the bitmap as drawn
  int32_t scaledWidth = 0, scaledHeight = 0;  // positions resolve against these
  vkBitMap* bitmap = nullptr;
  vkBitMap* scaledBitMap = nullptr;
  std::list<vkSpriteInstance> sprites;     // shown on the picture, bottom first
  vkClipRegion* activeClip = nullptr;      // the active clip region, or none
};

// Registers the "bgpic" commands; returns 0.
int OpenBGPicLibrary(vkState* L);

// Frees every object of the kind with everything it holds; returns 0.
int FreeAllBGPics();
