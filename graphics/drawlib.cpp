// The draw library's opener and shutdown step; the library's commands come
// with the graphics subsystem, and until then there is nothing to set up.
#include "graphics/drawlib.h"

int OpenDrawLibrary(vkState*) { return 0; }

int FreeDrawTables() { return 0; }
