// The sound library: samples and musics for scripts, their commands and
// constants, its attribute handlers, the switches that tell the audio output
// which notifications are wanted, the music file services, and the shutdown
// steps that stop and free all audio.
#pragma once

#include <atomic>
#include <cstdint>

struct vkState;
struct vkCommandDef;
struct vkConstantDef;
struct vkSound;
struct vkModule;

// Attribute tags the sound library answers when they are set.
inline constexpr uint32_t ATTR_NOSOUND = 3;
inline constexpr uint32_t ATTR_MASTERVOLUME = 4;
inline constexpr uint32_t ATTR_ONSAMPLELOOP = 13;
inline constexpr uint32_t ATTR_ONSAMPLEEND = 14;
inline constexpr uint32_t ATTR_ONMUSICEND = 19;

// Attribute tags the sound library answers when they are asked.
inline constexpr uint32_t ATTR_SAMPLETYPE = 8;
inline constexpr uint32_t ATTR_SAMPLEDURATION = 9;
inline constexpr uint32_t ATTR_SAMPLEPITCH = 10;
inline constexpr uint32_t ATTR_MUSICDURATION = 15;
inline constexpr uint32_t ATTR_MUSICPOSITION = 16;
inline constexpr uint32_t ATTR_SAMPLEPOSITION = 17;
inline constexpr uint32_t ATTR_MUSICFORMAT = 18;
inline constexpr uint32_t ATTR_MUSICBITRATE = 20;
inline constexpr uint32_t ATTR_MUSICRATE = 21;
inline constexpr uint32_t ATTR_MUSICTYPE = 22;

// Which notifications the audio output should post; read on the audio thread.
struct vkSoundEventSwitches {
  std::atomic<int32_t> sampleLoop{0};
  std::atomic<int32_t> sampleEnd{0};
  std::atomic<int32_t> musicEnd{0};
};
struct vkSoundLibrary;

// The sound library's run state in [L]'s program context, made when first
// asked for.
vkSoundLibrary& SoundLibrary(vkState* L);

// The switches the settings handler keeps for the audio output.
const vkSoundEventSwitches& SoundEventSwitches(vkState* L);

extern const vkCommandDef kSoundCommands[];
extern const vkConstantDef kSoundConstants[];

// Registers the "sound" commands and constants, then readies the audio
// channels; 0, or the channels' error.
int OpenSoundLibrary(vkState* L);

// Settings listener: sound off (3), master volume (4), and whether the
// "onsampleloop" (13), "onsampleend" (14) and "onmusicend" (19) handlers are
// installed. Returns 1 for those tags, else 0.
int SoundSettingsHandler(vkState* L, void* object, uint32_t tag, intptr_t value);

// Attribute provider for queries about samples and musics: [object] points
// to the vkObjectId asked about (NULL: *[result] holds its number on entry).
// Returns 1 when it answered into [*result], else 0. The sample position
// (tag 17) answers two words, the elapsed milliseconds and the loops played.
// The music format name (tag 18) is answered by SoundFormatOfMusic.
int SoundAttributeHandler(vkState* L, void* object, uint32_t tag, int32_t* result);
const char* SoundFormatOfMusic(vkState* L, int32_t number, void* handle);

// Music information: duration in ms (0), position in ms (1), format code
// (3), rate (4), bit rate (5) of a stream (kind 1) or module (kind 2); -1
// for what a kind does not answer.
int32_t GetMusicInfo(int32_t what, int32_t kind, void* object);
const char* GetMusicFormatName(int32_t kind, void* object);

// Stops the music, every sample channel and the audio output when it was
// opened; returns 0.
int StopAllAudio(vkState* L);

// Frees every sample and music and closes the audio output; returns 0.
int FreeAllSounds(vkState* L);

// Number of samples and musics.
int32_t CountSamples(vkState* L);
int32_t CountMusics(vkState* L);
