// The graphics library's settings and its attribute handlers, its opener
// and the shutdown steps that free what the graphics state holds.
#include "graphics/graphicslib.h"

#include "engine/libraries.h"
#include "graphics/attributes.h"
#include "graphics/asyncdraw.h"
#include "graphics/clipregions.h"
#include "graphics/graphicsstate.h"

int SetGraphicsAttr(vkState* L, void*, uint32_t tag, intptr_t value) {
  vkGraphicsSettings& settings = GraphicsState(L).settings;
  switch (tag) {
    case ATTR_MASKMODE:
      settings.maskMode = static_cast<int32_t>(value);
      return 1;
    case ATTR_ALPHAINTENSITY:
      settings.alphaIntensity = static_cast<int32_t>(value);
      return 1;
    default:
      return 0;
  }
}

int GetGraphicsAttr(vkState* L, void*, uint32_t tag, int32_t* result) {
  const vkGraphicsSettings& settings = GraphicsState(L).settings;
  switch (tag) {
    case ATTR_MASKMODE:
      *result = settings.maskMode;
      return 1;
    case ATTR_ALPHAINTENSITY:
      *result = settings.alphaIntensity;
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
  RegisterAsyncDrawCommands(L);
  RegisterAttributeCommands(L);
  return 0;
}

int FreeGraphicsObjects(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  FreeImageCache(gs.imageCache);
  FreeAllAsyncDraws(gs);
  FreeAllClipRegions(gs);
  gs.scratch.clear();
  gs.fallbackDisplay.reset();
  return 0;
}

void FreeImageCache(vkState* L) { FreeImageCache(GraphicsState(L).imageCache); }

void FreeDrawBuffers(vkState* L) { GraphicsState(L).scaleTables.Free(); }
