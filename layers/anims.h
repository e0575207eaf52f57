// The anim library: anims with their frames and the anim streams being
// written; its opener, the shutdown step that frees them all, and the
// routines the layers and the start-up call.
#pragma once

#include <cstdint>

struct vkState;
struct vkGraphicsState;

// Registers the "anim" commands and constants and the hooks through which
// the pictures, the layers and the output targets reach anim frames; 0.
int OpenAnimLibrary(vkState* L);

// Frees every anim and closes every open anim stream (its file completed);
// returns 0.
int FreeAllAnims(vkState* L);

// Frees every orphaned anim that no layer shows any more.
void FreeOrphanedAnims(vkGraphicsState& gs);

// Number of anims, orphans included.
int32_t CountAnims(vkGraphicsState& gs);

// Frames are built when loaded on this platform, also while preloading:
// nothing waits for the first display. Returns 0.
int32_t RebuildAnimBitmaps(vkGraphicsState& gs);
