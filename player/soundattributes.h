// GetAttribute's rows for samples and musics. The sound library sits beside
// the graphics library, not below it, so the start-up joins them: these
// providers ask the sound library through the runtime attribute tags.
#pragma once

struct vkState;

// Registers the SAMPLE and MUSIC providers of GetAttribute.
void RegisterSoundAttributes(vkState* L);
