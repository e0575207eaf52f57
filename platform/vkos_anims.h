// Anims read through the operating system, the last resort of the anim file
// dispatcher after the player's own GIF and IFF ANIM readers. This platform
// has no reader of its own for them: opening answers no anim.
#pragma once

#include <cstdint>

struct vkOSAnim;

// Opens [name] as an anim: the reader, its size and frame count, or null.
vkOSAnim* vkosOpenAnim(const char* name, int32_t* width, int32_t* height, int32_t* frameCount);
// Frame [n] as a new array of 0x00RRGGBB words (freed with free()), or null.
uint32_t* vkosGetAnimFrame(vkOSAnim* anim, int32_t n);
// The delay of frame [n] in milliseconds.
int32_t vkosGetAnimFrameInfo(vkOSAnim* anim, int32_t n);
void vkosFreeAnim(vkOSAnim* anim);
