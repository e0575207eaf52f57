// The sprite library's opener and shutdown step. Its objects come with the
// graphics subsystem; until then there are none to free.
#include "graphics/sprites.h"

int OpenSpriteLibrary(vkState*) { return 0; }

int FreeAllSprites() { return 0; }
