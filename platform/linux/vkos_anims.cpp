// Anims through the operating system: Linux offers no system anim reader,
// so every file is left to the player's own readers.
#include "platform/vkos_anims.h"

vkOSAnim* vkosOpenAnim(const char*, int32_t*, int32_t*, int32_t*) { return nullptr; }
uint32_t* vkosGetAnimFrame(vkOSAnim*, int32_t) { return nullptr; }
int32_t vkosGetAnimFrameInfo(vkOSAnim*, int32_t) { return 0; }
void vkosFreeAnim(vkOSAnim*) {}
