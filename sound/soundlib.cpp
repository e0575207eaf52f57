// The sound library's 35 commands over its lists of samples and musics. The
// audio output opens lazily on the first load; when it cannot open, sound is
// off and every command succeeds doing nothing. At most one music is current.
// The audio output calls back into the library through the services it is
// given when the library opens: stream reads, module rendering, notifications.
#include "sound/soundlib.h"

#include <algorithm>
#include <cstring>
#include <list>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/objecthandles.h"
#include "base/catalog.h"
#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/argcheck.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "io/filehandles.h"
#include "platform/vkos_audio.h"
#include "platform/vkos_events.h"
#include "runtime/console.h"
#include "runtime/context.h"
#include "runtime/doscommands.h"
#include "runtime/eventstate.h"
#include "sound/protracker.h"
#include "sound/soundevents.h"
#include "sound/soundstream.h"

namespace {

constexpr uint32_t kCatalogLoadingSample = 109;
constexpr uint32_t kCatalogLoadingMusic = 278;

constexpr int32_t kPanLeft = -90000;
constexpr int32_t kPanRight = -80000;
constexpr int32_t kPanCenter = -100000;

struct vkSample {
  vkObjectId id;
  vkSampleData data;
  int32_t volume = 64;
  int32_t pitch = 0;  // playback rate in Hz
  int32_t formatCode = 0;
  int64_t lengthBytes = 0;
  int32_t panning = 128;
};

struct vkMusic {
  vkObjectId id;
  int32_t kind = 0;  // kMusicStream or kMusicModule
  std::unique_ptr<vkSound> stream;
  std::unique_ptr<vkModule> module;
  int32_t volume = 64;
  int32_t paused = 0;
  int32_t times = 1;
  int32_t restart = 1;  // passes begun when it plays next (1: from the start)
  void* Object() { return kind == kMusicStream ? static_cast<void*>(stream.get()) : static_cast<void*>(module.get()); }
};

struct vkSoundSettings {
  int32_t soundOff = 0;
  int32_t masterVolume = 64;
  int32_t onSampleLoop = 0;  // handlers installed
  int32_t onSampleEnd = 0;
  int32_t onMusicEnd = 0;
};

}  // namespace

// The library's run state, kept in the program context. The audio output
// holds on to its notification queue and switches while it is open.
struct vkSoundLibrary {
  vkSoundSettings settings;
  bool audioOpened = false;
  std::list<vkSample> samples;
  std::list<vkMusic> musics;
  vkMusic* current = nullptr;
  vkMusic* paused = nullptr;
  vkSoundEventQueue events;
  vkSoundEventSwitches wanted;

  // A run that ends without its shutdown steps still lets go of the output,
  // which would otherwise call back into this record.
  ~vkSoundLibrary() {
    if (audioOpened) vkosCloseAudio();
  }
};

vkSoundLibrary& SoundLibrary(vkState* L) {
  vkProgramContext& context = ProgramContext(L);
  if (!context.sound) context.sound = std::make_shared<vkSoundLibrary>();
  return *context.sound;
}

namespace {

vkSoundLibrary& Lib(vkState* L) { return SoundLibrary(L); }

int32_t IntArg(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }

vkOSObjectId ToOS(const vkObjectId& id) { return {id.number, id.handle}; }

// Opens the audio output on first use; false (sound now off) when it cannot.
bool EnsureAudio(vkState* L) {
  vkSoundLibrary& lib = Lib(L);
  if (lib.settings.soundOff != 0) return false;
  if (lib.audioOpened) return true;
  if (vkosOpenAudio() != 0) {
    lib.settings.soundOff = 1;
    return false;
  }
  vkosSetMasterVolume(lib.settings.masterVolume);
  lib.audioOpened = true;
  return true;
}

int FindSample(vkState* L, const vkObjectId& id, vkSample** out) {
  for (vkSample& s : Lib(L).samples) {
    if (s.id == id) {
      *out = &s;
      return 0;
    }
  }
  if (id.handle != nullptr) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoSample;
}

int FindMusic(vkState* L, const vkObjectId& id, vkMusic** out) {
  for (vkMusic& m : Lib(L).musics) {
    if (m.id == id) {
      *out = &m;
      return 0;
    }
  }
  if (id.handle != nullptr) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoMusic;
}

std::string FileArg(vkState* L, int i) {
  std::string name = dos::TextArg(L, i);
  return ResolveLinkedFile(L, name.c_str(), 0, nullptr);
}

// Volumes given as numbers or as "N%" of 64, held to 0..64.
int32_t VolumeArg(vkState* L, int i) {
  return std::clamp(vkDoubleToInt32(CheckNumberOrPercent(L, i, 64, false, nullptr)), 0, 64);
}

int32_t MapPanning(int32_t pan) {
  if (pan == kPanLeft) return 0;
  if (pan == kPanRight) return 255;
  if (pan == kPanCenter) return 128;
  return std::clamp(pan, 0, 255);
}

void FreeSampleRecord(vkState* L, vkSample* s) {
  if (Lib(L).audioOpened) vkosStopSample(&s->data);
  Lib(L).samples.remove_if([s](const vkSample& x) { return &x == s; });
}

// Stops [m]; with [pause] it keeps its place and becomes the paused music.
void StopMusicRecord(vkState* L, vkMusic* m, bool pause) {
  vkSoundLibrary& lib = Lib(L);
  int32_t loops = 1;
  int64_t position = 0;
  vkosStopMusic(m->kind, m->Object(), pause ? 1 : 0, &loops, &position);
  if (pause) {
    m->restart = loops;
    lib.paused = m;
    lib.current = nullptr;
    m->paused = 1;
  } else {
    m->restart = 1;
    if (lib.paused == m) lib.paused = nullptr;
    lib.current = nullptr;
    lib.paused = nullptr;
    m->paused = 0;
  }
}

void FreeMusicRecord(vkState* L, vkMusic* m) {
  vkSoundLibrary& lib = Lib(L);
  if (lib.current == m) StopMusicRecord(L, m, false);
  if (lib.paused == m) lib.paused = nullptr;
  if (lib.audioOpened) vkosStopMusic(m->kind, m->Object(), 1, nullptr, nullptr);
  lib.musics.remove_if([m](const vkMusic& x) { return &x == m; });
}

int StartMusic(vkState* L, vkMusic* m) {
  vkSoundLibrary& lib = Lib(L);
  if (lib.current != nullptr) StopMusicRecord(L, lib.current, false);
  if (int code = vkosPlayMusic(m->kind, m->Object(), ToOS(m->id), m->times, m->restart, m->volume)) return code;
  lib.current = m;
  lib.paused = nullptr;
  m->paused = 0;
  return 0;
}

// Opens a music file: a module ("M.K." at 1080) or a stream.
int OpenMusicFile(const char* fileName, vkMusic* m) {
  SetErrorText(fileName);
  vkFilePtr file = OpenStream(fileName, VKFILE_READ);
  if (!file) return kErrCannotRead;
  uint8_t magic[4] = {};
  bool isModule = false;
  if (file->size >= 1084) {
    SeekStream(file.get(), 1080, VKSEEK_START);
    isModule = ReadStream(file.get(), magic, 4) == 4 && std::memcmp(magic, "M.K.", 4) == 0;
  }
  if (!isModule) {
    file.reset();
    if (int code = OpenSoundStream(fileName, 1, &m->stream)) return code;
    m->kind = kMusicStream;
    return 0;
  }
  auto module = std::unique_ptr<vkModule>(new (std::nothrow) vkModule);
  if (!module) return kErrOutOfMemory;
  try {
    module->fileData.resize(static_cast<size_t>(file->size));
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SeekStream(file.get(), 0, VKSEEK_START);
  if (ReadStream(file.get(), module->fileData.data(), static_cast<uint32_t>(file->size)) != file->size)
    return kErrShortRead;
  if (!CreateModuleFromMemory(module.get(), kModuleOutputRate)) return kErrUnknownMusicFormat;
  m->module = std::move(module);
  m->kind = kMusicModule;
  return 0;
}

// Row (what 1) or song position (what 2) of a playing module; a jump (what 0).
int32_t MusicPositionControl(vkMusic* m, int32_t what, int32_t value) {
  if (m->kind != kMusicModule) return -1;
  vkModule* module = m->module.get();
  if (what == 0) {
    RequestModuleJump(module, value);
    return 0;
  }
  if (vkosFindModuleChannel(module) == nullptr) return -1;
  return what == 1 ? module->row.load(std::memory_order_relaxed) : module->songPosition.load(std::memory_order_relaxed);
}

// The audio output's services.
int64_t ServiceRead(vkSound* sound, void* buffer, int64_t frames, int* end) {
  return ReadSoundFrames(sound, buffer, frames, end);
}
void ServiceRender(void* module, int16_t* out, int32_t frames) {
  auto* m = static_cast<vkModule*>(module);
  ApplyModuleJump(m);
  RenderModuleFrames(m, out, frames);
}
void ServiceRewind(void* module) { CreateModuleFromMemory(static_cast<vkModule*>(module), kModuleOutputRate); }

// The event dispatcher takes the sound notifications through this.
bool TakeSoundNotice(vkState* L, vkSoundNotice* out) {
  vkSoundEvent event;
  if (GetSoundEvent(Lib(L).events, &event) == 0) return false;
  out->type = event.type;
  out->id = vkObjectId{event.idNumber, event.idHandle};
  out->time = static_cast<double>(event.value);
  out->starts = event.count;
  return true;
}

// ---- Commands ----

int cmdLoadSample(vkState* L) {
  CheckArgCount(L, 2, 2);
  const vkIdRequest request = OptObjectId(L, 1);
  const std::string file = FileArg(L, 2);
  if (!EnsureAudio(L)) return 0;
  vkSoundLibrary& lib = Lib(L);
  if (!request.automatic) {
    vkSample* old;
    if (FindSample(L, {request.number, nullptr}, &old) == 0) FreeSampleRecord(L, old);
  }
  PrintStatus(L, GetCatalogText(kCatalogLoadingSample), file.c_str(), true);
  vkSample sample;
  int32_t rate = 0;
  if (int code = LoadSampleData(file.c_str(), &sample.data, &rate, &sample.formatCode)) return code;
  sample.pitch = rate;
  sample.lengthBytes = sample.data.frames * sample.data.bytesPerFrame;
  vkSample& s = lib.samples.emplace_back(std::move(sample));
  s.id = NewObjectId(request);
  PrintDone(L);
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, s.id.handle);
  return 1;
}

int cmdCreateSample(vkState* L) {
  CheckArgCount(L, 3, 3);
  const vkIdRequest request = OptObjectId(L, 1);
  vmCheckTable(L, 2);
  const int32_t pitch = IntArg(L, 3);
  if (!EnsureAudio(L)) return 0;
  std::vector<int8_t> bytes;
  for (int i = 0;; i++) {
    vmRawGetI(L, 2, i);
    const int type = vmType(L, -1);
    if (type == VK_TNIL) {
      vmSetTop(L, -2);
      break;
    }
    if (type != VK_TNUMBER) {
      vmSetTop(L, -2);
      SetErrorText(std::to_string(i).c_str());
      return kErrNumberFieldExpected;
    }
    bytes.push_back(static_cast<int8_t>(vkDoubleToInt32(vmToNumber(L, -1))));
    vmSetTop(L, -2);
  }
  if (bytes.empty()) return kErrWrongUsage;
  vkSoundLibrary& lib = Lib(L);
  if (!request.automatic) {
    vkSample* old;
    if (FindSample(L, {request.number, nullptr}, &old) == 0) FreeSampleRecord(L, old);
  }
  vkSample sample;
  if (int code = CreateSampleData(bytes.data(), static_cast<int64_t>(bytes.size()), &sample.data)) return code;
  sample.formatCode = 2;
  sample.lengthBytes = static_cast<int64_t>(bytes.size());
  sample.pitch = pitch;
  vkSample& s = lib.samples.emplace_back(std::move(sample));
  s.id = NewObjectId(request);
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, s.id.handle);
  return 1;
}

int cmdFreeSample(vkState* L) {
  CheckArgCount(L, 1, 1);
  const vkObjectId id = CheckObjectId(L, 1);
  if (Lib(L).settings.soundOff != 0) return 0;
  vkSample* s;
  if (int code = FindSample(L, id, &s)) return code;
  FreeSampleRecord(L, s);
  return 0;
}

int cmdIsSound(vkState* L) {
  CheckArgCount(L, 0, 0);
  vmPushNumber(L, EnsureAudio(L) ? 1 : 0);
  return 1;
}

int cmdPlaySample(vkState* L) {
  const int n = vmGetTop(L);
  CheckArgCount(L, 1, 0);
  if (Lib(L).settings.soundOff != 0) return 0;
  const int pairs = (n + 1) / 2;
  if (pairs > 4) return kErrWrongUsage;
  vkosBeginSampleGroup();
  for (int p = 0; p < pairs; p++) {
    const int at = 1 + 2 * p;
    const vkObjectId id = CheckObjectId(L, at);
    int32_t times = 1, time = -1, volume = -1, pitch = -1, panning = -1;
    if (at + 1 <= n && vmType(L, at + 1) == VK_TTABLE) {
      int timePresent = 0, timesPresent = 0;
      OptFieldInt(L, at + 1, "time", &time, &timePresent);
      if (timePresent && time < 1) {
        vkosCancelSampleGroup();
        return kErrWrongUsage;
      }
      double vol;
      int volPresent = 0;
      if (OptFieldNumberOrPercent(L, at + 1, "volume", 64, false, nullptr, &vol, &volPresent))
        volume = std::clamp(vkDoubleToInt32(vol), 0, 64);
      int32_t pan;
      if (OptFieldInt(L, at + 1, "panning", &pan, nullptr)) panning = MapPanning(pan);
      OptFieldInt(L, at + 1, "times", &times, &timesPresent);
      if (timesPresent) time = -1;
      OptFieldInt(L, at + 1, "pitch", &pitch, nullptr);
    } else if (at + 1 <= n) {
      times = vkDoubleToInt32(vmOptNumber(L, at + 1, 1));
    }
    vkSample* s;
    if (int code = FindSample(L, id, &s)) {
      vkosCancelSampleGroup();
      return code;
    }
    if (!Lib(L).audioOpened) continue;
    if (volume == -1) volume = s->volume;
    if (pitch == -1) pitch = s->pitch;
    if (panning == -1) panning = s->panning;
    if (int code = vkosPlaySample(&s->data, ToOS(s->id), pitch, volume, panning, time, times)) {
      // The channels this group took so far are given back.
      vkosCancelSampleGroup();
      return code;
    }
  }
  vkosStartSampleGroup();
  return 0;
}

// SetVolume, SetPitch and SetPanning: store the one value, apply it live.
int SetSampleParameters(vkState* L, int which) {
  CheckArgCount(L, 2, 2);
  const vkObjectId id = CheckObjectId(L, 1);
  int32_t value = which == 0 ? VolumeArg(L, 2) : IntArg(L, 2);
  if (!Lib(L).audioOpened) return 0;
  vkSample* s;
  if (int code = FindSample(L, id, &s)) return code;
  if (which == 0) s->volume = value;
  if (which == 1) s->pitch = value;
  if (which == 2) s->panning = MapPanning(value);
  if (vkosIsSamplePlaying(&s->data)) vkosSetSampleVolume(&s->data, which == 1 ? s->pitch : -1, s->volume, s->panning);
  return 0;
}

int cmdSetVolume(vkState* L) { return SetSampleParameters(L, 0); }
int cmdSetPitch(vkState* L) { return SetSampleParameters(L, 1); }
int cmdSetPanning(vkState* L) { return SetSampleParameters(L, 2); }

int cmdStopSample(vkState* L) {
  CheckArgCount(L, 1, 1);
  const vkObjectId id = CheckObjectId(L, 1);
  if (!Lib(L).audioOpened) return 0;
  vkSample* s;
  if (int code = FindSample(L, id, &s)) return code;
  vkosStopSample(&s->data);
  return 0;
}

int cmdIsSamplePlaying(vkState* L) {
  CheckArgCount(L, 1, 1);
  const vkObjectId id = CheckObjectId(L, 1);
  int playing = 0;
  if (Lib(L).audioOpened) {
    vkSample* s;
    if (int code = FindSample(L, id, &s)) return code;
    playing = vkosIsSamplePlaying(&s->data);
  }
  vmPushNumber(L, playing);
  return 1;
}

// Polls [still] every 10 ms, pumping events, until it turns false or the
// pump reports a stop.
template <typename F>
void WaitWhile(vkState* L, F still) {
  while (vkosPumpEvents(L) == 0 && still()) vkosDelay(L, 10);
}

int cmdWaitSampleEnd(vkState* L) {
  CheckArgCount(L, 1, 1);
  const vkObjectId id = CheckObjectId(L, 1);
  if (!Lib(L).audioOpened) return 0;
  vkSample* s;
  if (int code = FindSample(L, id, &s)) return code;
  const vkSampleData* data = &s->data;
  WaitWhile(L, [data] { return vkosIsSamplePlaying(data) != 0; });
  return 0;
}

template <int32_t kWhat>
int cmdWaitPosition(vkState* L) {
  CheckArgCount(L, 1, 1);
  const int32_t wanted = IntArg(L, 1);
  WaitWhile(L, [L, wanted] {
    vkMusic* m = Lib(L).current;
    return m != nullptr && MusicPositionControl(m, kWhat, 0) < wanted;
  });
  return 0;
}

template <int32_t kWhat>
int cmdGetPosition(vkState* L) {
  CheckArgCount(L, 0, 0);
  vkMusic* m = Lib(L).current;
  vmPushNumber(L, m != nullptr ? MusicPositionControl(m, kWhat, 0) : -1);
  return 1;
}

int cmdPlaySubsong(vkState* L) {
  CheckArgCount(L, 1, 1);
  const int32_t position = IntArg(L, 1);
  vkMusic* m = Lib(L).current;
  if (m == nullptr || position < 0 || position > 127) return kErrWrongUsage;
  MusicPositionControl(m, 0, position);
  return 0;
}

int cmdSetMasterVolume(vkState* L) {
  CheckArgCount(L, 1, 1);
  Lib(L).settings.masterVolume = VolumeArg(L, 1);
  vkosSetMasterVolume(Lib(L).settings.masterVolume);
  return 0;
}

int cmdIsSample(vkState* L) {
  CheckArgCount(L, 1, 1);
  const std::string file = FileArg(L, 1);
  vmPushNumber(L, IsSoundFile(file.c_str()));
  return 1;
}

int cmdOpenMusic(vkState* L) {
  CheckArgCount(L, 2, 2);
  const vkIdRequest request = OptObjectId(L, 1);
  const std::string file = FileArg(L, 2);
  if (!EnsureAudio(L)) return 0;
  vkSoundLibrary& lib = Lib(L);
  if (!request.automatic) {
    vkMusic* old;
    if (FindMusic(L, {request.number, nullptr}, &old) == 0) FreeMusicRecord(L, old);
  }
  PrintStatus(L, GetCatalogText(kCatalogLoadingMusic), file.c_str(), true);
  vkMusic music;
  if (int code = OpenMusicFile(file.c_str(), &music)) return code;
  vkMusic& m = lib.musics.emplace_back(std::move(music));
  m.id = NewObjectId(request);
  PrintDone(L);
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, m.id.handle);
  return 1;
}

int cmdCloseMusic(vkState* L) {
  CheckArgCount(L, 1, 1);
  const vkObjectId id = CheckObjectId(L, 1);
  if (Lib(L).settings.soundOff != 0) return 0;
  vkMusic* m;
  if (int code = FindMusic(L, id, &m)) return code;
  FreeMusicRecord(L, m);
  return 0;
}

int cmdPlayMusic(vkState* L) {
  CheckArgCount(L, 1, 2);
  const vkObjectId id = CheckObjectId(L, 1);
  if (Lib(L).settings.soundOff != 0) return 0;
  vkMusic* m;
  if (int code = FindMusic(L, id, &m)) return code;
  int32_t times = 1;
  if (vmGetTop(L) >= 2 && vmType(L, 2) == VK_TTABLE) {
    double vol;
    if (OptFieldNumberOrPercent(L, 2, "volume", 64, false, nullptr, &vol, nullptr))
      m->volume = std::clamp(vkDoubleToInt32(vol), 0, 64);
    OptFieldInt(L, 2, "times", &times, nullptr);
  } else {
    times = vkDoubleToInt32(vmOptNumber(L, 2, 1));
  }
  m->times = times;
  if (Lib(L).current != nullptr) StopMusicRecord(L, Lib(L).current, false);
  return StartMusic(L, m);
}

// The music a stop or pause names: the given one, which must be current, or
// the current one.
int NamedCurrentMusic(vkState* L, vkMusic** out) {
  vkSoundLibrary& lib = Lib(L);
  if (vmGetTop(L) >= 1 && vmType(L, 1) != VK_TNIL) {
    const vkObjectId id = CheckObjectId(L, 1);
    if (int code = FindMusic(L, id, out)) return code;
    if (*out != lib.current) {
      if (id.handle != nullptr) return kErrMusicHandleNotPlaying;
      SetErrorNumber(id.number);
      return kErrMusicNotPlaying;
    }
    return 0;
  }
  if (lib.current == nullptr) return kErrWrongUsage;
  *out = lib.current;
  return 0;
}

template <bool kPause>
int cmdStopMusic(vkState* L) {
  CheckArgCount(L, 0, 1);
  if (Lib(L).settings.soundOff != 0) return 0;
  vkMusic* m;
  if (int code = NamedCurrentMusic(L, &m)) return code;
  StopMusicRecord(L, m, kPause);
  return 0;
}

int cmdResumeMusic(vkState* L) {
  CheckArgCount(L, 0, 1);
  vkSoundLibrary& lib = Lib(L);
  if (lib.settings.soundOff != 0) return 0;
  vkMusic* m = lib.paused;
  if (vmGetTop(L) >= 1 && vmType(L, 1) != VK_TNIL) {
    if (int code = FindMusic(L, CheckObjectId(L, 1), &m)) return code;
  }
  if (m == nullptr) return kErrWrongUsage;
  if (m->paused == 0) return kErrNotPaused;
  if (lib.current != nullptr && lib.current != m) StopMusicRecord(L, lib.current, false);
  return StartMusic(L, m);
}

int cmdSeekMusic(vkState* L) {
  CheckArgCount(L, 2, 2);
  const vkObjectId id = CheckObjectId(L, 1);
  const int32_t millis = IntArg(L, 2);
  vkSoundLibrary& lib = Lib(L);
  if (lib.settings.soundOff != 0) return 0;
  vkMusic* m;
  if (int code = FindMusic(L, id, &m)) return code;
  if (m->kind != kMusicStream) return kErrMusicFormatUnsupported;
  const int32_t duration = GetMusicInfo(0, m->kind, m->stream.get());
  if (millis < 0 || millis > duration - 1) return kErrSeekOutOfRange;
  if (lib.current == m) {
    StopMusicRecord(L, m, true);
    vkosSeekMusic(m->kind, m->stream.get(), millis);
    return StartMusic(L, m);
  }
  vkosSeekMusic(m->kind, m->stream.get(), millis);
  return 0;
}

int cmdSetMusicVolume(vkState* L) {
  CheckArgCount(L, 2, 2);
  const vkObjectId id = CheckObjectId(L, 1);
  const int32_t volume = VolumeArg(L, 2);
  if (Lib(L).settings.soundOff != 0) return 0;
  vkMusic* m;
  if (int code = FindMusic(L, id, &m)) return code;
  m->volume = volume;
  if (Lib(L).audioOpened) vkosSetMusicVolume(m->kind, m->Object(), volume);
  return 0;
}

int cmdIsMusic(vkState* L) {
  CheckArgCount(L, 1, 1);
  const std::string file = FileArg(L, 1);
  int result = 0;
  const char* name = "Unknown";
  vkFilePtr f = OpenStream(file.c_str(), VKFILE_READ);
  if (f) {
    uint8_t magic[4] = {};
    SeekStream(f.get(), 1080, VKSEEK_START);
    if (f->size >= 1084 && ReadStream(f.get(), magic, 4) == 4 && std::memcmp(magic, "M.K.", 4) == 0) {
      result = 1;
      name = "Protracker";
    } else {
      f.reset();
      std::unique_ptr<vkSound> sound;
      if (OpenSoundStream(file.c_str(), 1, &sound) == 0) {
        result = 1;
        name = SoundFormatName(sound.get());
      }
    }
  }
  vmPushNumber(L, result);
  vmPushString(L, name);
  return 2;
}

int cmdIsMusicPlaying(vkState* L) {
  CheckArgCount(L, 1, 1);
  const vkObjectId id = CheckObjectId(L, 1);
  vkMusic* m;
  if (int code = FindMusic(L, id, &m)) return code;
  vmPushNumber(L, Lib(L).current == m ? 1 : 0);
  return 1;
}

// The audio output's calls back into the library that opened it.
void ResetMusicState(void* owner) { static_cast<vkSoundLibrary*>(owner)->current = nullptr; }
void PostToLibrary(void* owner, int32_t type, int32_t idNumber, void* idHandle, int32_t a1, int32_t a2, int32_t a3) {
  PostSoundEvent(static_cast<vkSoundLibrary*>(owner)->events, type, idNumber, idHandle, a1, a2, a3);
}

}  // namespace

const vkCommandDef kSoundCommands[] = {
    {"FreeSample", cmdFreeSample},
    {"LoadSample", cmdLoadSample},
    {"IsSound", cmdIsSound},
    {"GetPatternPosition", cmdGetPosition<1>},
    {"GetSongPosition", cmdGetPosition<2>},
    {"PlaySubsong", cmdPlaySubsong},
    {"WaitPatternPosition", cmdWaitPosition<1>},
    {"WaitSongPosition", cmdWaitPosition<2>},
    {"WaitSampleEnd", cmdWaitSampleEnd},
    {"IsSamplePlaying", cmdIsSamplePlaying},
    {"SetVolume", cmdSetVolume},
    {"SetPitch", cmdSetPitch},
    {"SetPanning", cmdSetPanning},
    {"StopSample", cmdStopSample},
    {"PlaySample", cmdPlaySample},
    {"SetMasterVolume", cmdSetMasterVolume},
    {"IsSample", cmdIsSample},
    {"CreateSample", cmdCreateSample},
    {"OpenMusic", cmdOpenMusic},
    {"LoadModule", cmdOpenMusic},
    {"CloseMusic", cmdCloseMusic},
    {"FreeModule", cmdCloseMusic},
    {"PlayMusic", cmdPlayMusic},
    {"PlayModule", cmdPlayMusic},
    {"StopMusic", cmdStopMusic<false>},
    {"StopModule", cmdStopMusic<false>},
    {"PauseMusic", cmdStopMusic<true>},
    {"PauseModule", cmdStopMusic<true>},
    {"ResumeMusic", cmdResumeMusic},
    {"ResumeModule", cmdResumeMusic},
    {"SeekMusic", cmdSeekMusic},
    {"SetMusicVolume", cmdSetMusicVolume},
    {"IsMusic", cmdIsMusic},
    {"IsModule", cmdIsMusic},
    {"IsMusicPlaying", cmdIsMusicPlaying},
    {nullptr, nullptr},
};

const vkConstantDef kSoundConstants[] = {
    {"MONO8", nullptr, 0},   {"MONO16", nullptr, 1}, {"STEREO8", nullptr, 2}, {"STEREO16", nullptr, 3},
    {"SAMPLE", nullptr, 2},  {"MUSIC", nullptr, 33}, {nullptr, nullptr, 0},
};

int OpenSoundLibrary(vkState* L) {
  vmRegisterFunctions(L, nullptr, kSoundCommands, 0);
  int rc = RegisterLibrary(L, kSoundCommands, "sound");
  vmRegisterConstants(L, kSoundConstants);
  if (rc != 0) return rc;
  vkSoundLibrary& lib = Lib(L);
  vkOSAudioServices services;
  services.owner = &lib;
  services.readFrames = ServiceRead;
  services.seekSound = SeekSound;
  services.renderModule = ServiceRender;
  services.rewindModule = ServiceRewind;
  services.resetMusicState = ResetMusicState;
  services.postSoundEvent = PostToLibrary;
  services.wantSampleLoop = &lib.wanted.sampleLoop;
  services.wantSampleEnd = &lib.wanted.sampleEnd;
  services.wantMusicEnd = &lib.wanted.musicEnd;
  if (vkEventState* events = EventStateOf(L)) events->hooks.takeSoundNotice = TakeSoundNotice;
  return vkosInitAudioChannels(services);
}

const vkSoundEventSwitches& SoundEventSwitches(vkState* L) { return Lib(L).wanted; }

int SoundSettingsHandler(vkState* L, void*, uint32_t tag, intptr_t value) {
  vkSoundSettings& settings = Lib(L).settings;
  const int32_t word = static_cast<int32_t>(value);
  switch (tag) {
    case ATTR_NOSOUND:
      settings.soundOff = word;
      return 1;
    case ATTR_MASTERVOLUME:
      settings.masterVolume = word;
      return 1;
    case ATTR_ONSAMPLELOOP:
      settings.onSampleLoop = word;
      break;
    case ATTR_ONSAMPLEEND:
      settings.onSampleEnd = word;
      break;
    case ATTR_ONMUSICEND:
      settings.onMusicEnd = word;
      break;
    default:
      return 0;
  }
  vkSoundEventSwitches& wanted = Lib(L).wanted;
  wanted.sampleLoop.store(settings.onSampleLoop);
  wanted.sampleEnd.store(settings.onSampleEnd);
  wanted.musicEnd.store(settings.onMusicEnd);
  return 1;
}

int32_t GetMusicInfo(int32_t what, int32_t kind, void* object) {
  if (kind == kMusicModule) {
    if (what == 3) return 5;
    if (what == 4) return kModuleOutputRate;
    return -1;
  }
  if (kind != kMusicStream) return -1;
  const auto* s = static_cast<const vkSound*>(object);
  const int64_t duration = s->rate > 0 ? s->frames * 1000 / s->rate : 0;
  switch (what) {
    case 0:
      return static_cast<int32_t>(std::min<int64_t>(duration, INT32_MAX));
    case 1: {
      const int64_t start = s->startMicros.load();
      const int64_t position = s->positionMicros.load();
      if (start == 0) return static_cast<int32_t>(position / 1000);
      const int64_t ms = (vkosWallMicros() - start + position) / 1000;
      return duration > 0 ? static_cast<int32_t>(ms % duration) : 0;
    }
    case 3:
      return s->formatCode;
    case 4:
      return s->rate;
    case 5:
      if (s->bitRate != 0) return s->bitRate;
      if (s->dataSize != 0 && s->bytesPerFrame != 0 && s->bits != 0)
        return static_cast<int32_t>((int64_t{s->bytesPerFrame} * s->rate) / 1024 * 8);
      return 0;
    default:
      return 0;
  }
}

const char* GetMusicFormatName(int32_t kind, void* object) {
  if (kind == kMusicModule) return "Protracker";
  if (kind == kMusicStream) return SoundFormatName(static_cast<const vkSound*>(object));
  return "Unknown";
}

int SoundAttributeHandler(vkState* L, void* object, uint32_t tag, int32_t* result) {
  const vkObjectId id = object != nullptr ? *static_cast<const vkObjectId*>(object) : vkObjectId{*result, nullptr};
  auto typeOf = [](int32_t code) {
    if (code == 0 || code == 2) return 0;  // MONO8
    if (code == 1 || code == 3) return 2;  // STEREO8
    if (code == 4) return 1;               // MONO16
    if (code == 5) return 3;               // STEREO16
    return -1;
  };
  switch (tag) {
    case ATTR_SAMPLETYPE:
    case ATTR_SAMPLEDURATION:
    case ATTR_SAMPLEPITCH:
    case ATTR_SAMPLEPOSITION: {
      vkSample* s = nullptr;
      for (vkSample& x : Lib(L).samples)
        if (x.id == id) s = &x;
      if (tag == ATTR_SAMPLEPOSITION) {
        if (!Lib(L).audioOpened) return 0;
        int32_t ms = -1, loops = -1;
        if (s != nullptr) vkosGetSampleProgress(&s->data, &ms, &loops);
        result[0] = ms;
        result[1] = loops;
        return 1;
      }
      if (s == nullptr) return 0;
      if (tag == ATTR_SAMPLETYPE) *result = typeOf(s->formatCode);
      if (tag == ATTR_SAMPLEPITCH) *result = s->pitch;
      if (tag == ATTR_SAMPLEDURATION) {
        const int32_t bpf = BytesPerFrame(s->formatCode);
        *result = bpf > 0 && s->pitch > 0 ? static_cast<int32_t>(s->lengthBytes / bpf * 1000 / s->pitch) : 0;
      }
      return 1;
    }
    case ATTR_MUSICDURATION:
    case ATTR_MUSICPOSITION:
    case ATTR_MUSICBITRATE:
    case ATTR_MUSICRATE:
    case ATTR_MUSICTYPE: {
      for (vkMusic& m : Lib(L).musics) {
        if (!(m.id == id)) continue;
        const int32_t what = tag == ATTR_MUSICDURATION ? 0 : tag == ATTR_MUSICPOSITION ? 1
                           : tag == ATTR_MUSICBITRATE  ? 5 : tag == ATTR_MUSICRATE   ? 4 : 3;
        const int32_t value = GetMusicInfo(what, m.kind, m.Object());
        *result = tag == ATTR_MUSICTYPE ? typeOf(value) : value;
        return 1;
      }
      return 0;
    }
    default:
      return 0;
  }
}

const char* SoundFormatOfMusic(vkState* L, int32_t number, void* handle) {
  const vkObjectId id{number, handle};
  for (vkMusic& m : Lib(L).musics)
    if (m.id == id) return GetMusicFormatName(m.kind, m.Object());
  return nullptr;
}

int StopAllAudio(vkState* L) {
  vkSoundLibrary& lib = Lib(L);
  if (!lib.audioOpened) return 0;
  if (lib.current != nullptr) StopMusicRecord(L, lib.current, false);
  vkosStopSample(nullptr);
  vkosStopAudio();
  return 0;
}

int FreeAllSounds(vkState* L) {
  vkSoundLibrary& lib = Lib(L);
  vkosCloseAudio();
  lib.current = lib.paused = nullptr;
  lib.samples.clear();
  lib.musics.clear();
  lib.audioOpened = false;
  FreeSoundEventQueue(lib.events);
  return 0;
}

int32_t CountSamples(vkState* L) { return static_cast<int32_t>(Lib(L).samples.size()); }
int32_t CountMusics(vkState* L) { return static_cast<int32_t>(Lib(L).musics.size()); }
