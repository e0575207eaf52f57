// The sound library's services to the rest of the player: its attribute
// handlers, the switches that tell the audio output which notifications are
// wanted, and the shutdown steps that stop and free all audio.
#pragma once

#include <atomic>
#include <cstdint>

// Attribute tags the sound library answers when they are set.
inline constexpr uint32_t ATTR_NOSOUND = 3;
inline constexpr uint32_t ATTR_MASTERVOLUME = 4;
inline constexpr uint32_t ATTR_ONSAMPLELOOP = 13;
inline constexpr uint32_t ATTR_ONSAMPLEEND = 14;
inline constexpr uint32_t ATTR_ONMUSICEND = 19;

// Which notifications the audio output should post; read on the audio thread.
struct vkSoundEventSwitches {
  std::atomic<int32_t> sampleLoop{0};
  std::atomic<int32_t> sampleEnd{0};
  std::atomic<int32_t> musicEnd{0};
};
extern vkSoundEventSwitches gSoundEventWanted;

// Sets the three switches at once.
void SetSoundEventWanted(int32_t sampleLoop, int32_t sampleEnd, int32_t musicEnd);

// Settings listener: sound off (3), master volume (4), and whether the
// "onsampleloop" (13), "onsampleend" (14) and "onmusicend" (19) handlers are
// installed. Returns 1 for those tags, else 0.
int SoundSettingsHandler(void* object, uint32_t tag, intptr_t value);

// Attribute provider for queries about samples and musics; returns 1 when
// it answered into [*result], else 0.
int SoundAttributeHandler(void* object, uint32_t tag, int32_t* result);

// Forgets the current music, so that no music counts as playing; called on
// the audio thread when a music stream ends.
void ResetMusicState();

// Stops the music, every sample channel and the audio output when it was
// opened; returns 0.
int StopAllAudio();

// Frees every sample and music and closes the audio output; returns 0.
int FreeAllSounds();
