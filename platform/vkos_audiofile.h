// Sound files that the sound library does not read itself, decoded by the
// system's audio file library from a path or linked data alike: the stream
// record gets the file's format (its own bits, 0 when compressed) and reads
// host-endian PCM (8-bit data as signed bytes, everything else 16-bit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/vkos_audio.h"

// Opens [source] for [sound]: fills its format fields, sets its reader and
// format type 4, and takes the source. 0, 1235 (unreadable) or 1294 (no
// frames).
int vkosOpenAudioFile(std::unique_ptr<vkOSByteSource> source, vkSound* sound);

// The bit rate of MPEG audio at the start of [source], in kbit/s: an ID3v2
// tag is skipped (its size in tagBytes), the first frame header gives the
// rate, and a "Xing" or "VBRI" header near it marks a variable rate. kbps
// stays 0 when no frame header is found.
struct vkMpegRateInfo {
  int32_t kbps = 0;
  int64_t tagBytes = 0;
  bool variable = false;
};
vkMpegRateInfo vkosParseMpegBitRate(vkOSByteSource& source);
