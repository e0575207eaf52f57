// The graphics library's settings and its attribute handlers. The library's
// commands and objects come with the graphics subsystem; until then the
// opener and the shutdown steps have nothing to do.
#include "graphics/graphicslib.h"

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

int OpenGraphicsLibrary(vkState*) { return 0; }

int FreeGraphicsObjects() { return 0; }
void FreeImageCache() {}

void FreeDrawBuffers() {}
