// Sound streams: a sound file opened for reading frame by frame. IFF 8SVX,
// IFF 16SV and RIFF WAVE are read by our own readers; every other file goes
// to the platform's audio file reader. Also the file-level services of the
// sound library: whole-file sample loading, script-made samples, format codes.
#pragma once

#include <cstdint>
#include <memory>

#include "base/errorcodes.h"
#include "platform/vkos_audio.h"


// The sample format code from the channels, bits and signed flag: 0/1 mono/
// stereo 8-bit unsigned, 2/3 8-bit signed, 4/5 16-bit signed, -1 otherwise.
int32_t SampleFormatCode(int32_t channels, int32_t bits, int32_t flags);
// Bytes per frame of a format code (0 outside 0..5).
int32_t BytesPerFrame(int32_t formatCode);

// Opens [fileName] as a sound stream; 0, 1000, 1045 or the platform reader's
// error. [musicFlag] marks a stream opened as a music.
int OpenSoundStream(const char* fileName, int32_t musicFlag, std::unique_ptr<vkSound>* out);

// Reads up to [frames] frames into [buffer] through the stream's reader;
// returns the frames read and records them in the stream.
int64_t ReadSoundFrames(vkSound* sound, void* buffer, int64_t frames, int* end);

// Moves [sound] to [frame] (ignored at or past the end), sets the position
// time to frame / rate and clears the start stamp.
void SeekSound(vkSound* sound, int64_t frame);

// The format name of the stream's reader.
const char* SoundFormatName(const vkSound* sound);

// 1 when [fileName] opens as a sound with data, bytes per frame and bits.
int IsSoundFile(const char* fileName);

// Reads [fileName] whole into [*out]: 0, 1000, 1045, 1279, 1299 or the
// platform reader's error. *[rate] gets the file's rate and *[formatCode]
// its format code.
int LoadSampleData(const char* fileName, vkSampleData* out, int32_t* rate, int32_t* formatCode);

// Wraps [count] script-made bytes as 8-bit signed mono; 0 or 1000.
int CreateSampleData(const int8_t* bytes, int64_t count, vkSampleData* out);
