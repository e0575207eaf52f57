// The anim library's opener and shutdown step. Anims come with the layers
// subsystem; until then there are none to free.
#include "layers/anims.h"

int OpenAnimLibrary(vkState*) { return 0; }

int FreeAllAnims() { return 0; }
