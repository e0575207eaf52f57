// The graphics library's settings and its attribute handlers, its opener
// and the shutdown steps that free what the graphics state holds.
#include "graphics/graphicslib.h"

#include "engine/libraries.h"
#include "graphics/clipregions.h"
#include "graphics/graphicsstate.h"

vkGraphicsSettings gGraphicsSettings;

int SetGraphicsAttr(void*, uint32_t tag, intptr_t value) {
  switch (tag) {
    case ATTR_MASKMODE:
      gGraphicsSettings.maskMode = static_cast<int32_t>(value);
      return 1;
    case ATTR_ALPHAINTENSITY:
      gGraphicsSettings.alphaIntensity = static_cast<int32_t>(value);
      return 1;
    default:
      return 0;
  }
}

int GetGraphicsAttr(void*, uint32_t tag, int32_t* result) {
  switch (tag) {
    case ATTR_MASKMODE:
      *result = gGraphicsSettings.maskMode;
      return 1;
    case ATTR_ALPHAINTENSITY:
      *result = gGraphicsSettings.alphaIntensity;
      return 1;
    default:
      return 0;
  }
}

int OpenGraphicsLibrary(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  gs.fallbackDisplay = std::make_unique<vkDisplay>();
  gs.fallbackDisplay->renderTarget = kTargetBrush;
  RegisterClipRegionCommands(L);
  return 0;
}

int FreeGraphicsObjects(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  FreeImageCache(gs.imageCache);
  FreeAllClipRegions(gs);
  gs.scratch.clear();
  gs.fallbackDisplay.reset();
  return 0;
}

void FreeImageCache(vkState* L) { FreeImageCache(GraphicsState(L).imageCache); }

void FreeDrawBuffers(vkState* L) { GraphicsState(L).scaleTables.Free(); }
