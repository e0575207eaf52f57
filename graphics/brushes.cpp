// The brush library's opener and shutdown step. Its objects come with the
// graphics subsystem; until then there are none to free.
#include "graphics/brushes.h"

int OpenBrushLibrary(vkState*) { return 0; }

int FreeAllBrushes() { return 0; }
