// The bgpic library's opener and shutdown step. Its objects come with the
// graphics subsystem; until then there are none to free.
#include "graphics/bgpics.h"

int OpenBGPicLibrary(vkState*) { return 0; }

int FreeAllBGPics() { return 0; }
