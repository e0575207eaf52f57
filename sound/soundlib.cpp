// The sound library's settings and shutdown steps. Samples, musics and the
// audio output come with the sound subsystem; until then no sound ever plays,
// so no query about one is answered and there is nothing to stop or free.
#include "sound/soundlib.h"

namespace {

// The library's own settings, as the start-up and the event library set them.
struct vkSoundSettings {
  int32_t soundOff = 0;
  int32_t masterVolume = 0;
  int32_t onSampleLoop = 0;  // handlers installed
  int32_t onSampleEnd = 0;
  int32_t onMusicEnd = 0;
};
vkSoundSettings gSettings;

}  // namespace

vkSoundEventSwitches gSoundEventWanted;

void SetSoundEventWanted(int32_t sampleLoop, int32_t sampleEnd, int32_t musicEnd) {
  gSoundEventWanted.sampleLoop.store(sampleLoop);
  gSoundEventWanted.sampleEnd.store(sampleEnd);
  gSoundEventWanted.musicEnd.store(musicEnd);
}

int SoundSettingsHandler(void*, uint32_t tag, intptr_t value) {
  const int32_t word = static_cast<int32_t>(value);
  switch (tag) {
    case ATTR_NOSOUND:
      gSettings.soundOff = word;
      return 1;
    case ATTR_MASTERVOLUME:
      gSettings.masterVolume = word;
      return 1;
    case ATTR_ONSAMPLELOOP:
      gSettings.onSampleLoop = word;
      break;
    case ATTR_ONSAMPLEEND:
      gSettings.onSampleEnd = word;
      break;
    case ATTR_ONMUSICEND:
      gSettings.onMusicEnd = word;
      break;
    default:
      return 0;
  }
  SetSoundEventWanted(gSettings.onSampleLoop, gSettings.onSampleEnd, gSettings.onMusicEnd);
  return 1;
}

int SoundAttributeHandler(void*, uint32_t, int32_t*) { return 0; }

void ResetMusicState() {}

int StopAllAudio() { return 0; }

int FreeAllSounds() { return 0; }
