// The Protracker replayer. A row is read on the first tick of each row; the
// per-tick effects run on every tick, the row's first included unless an
// effect asks to skip it. Every read of sample data is checked against the
// sample: loops are cut with it, offsets and deferred samples wrap or fall
// silent, sample numbers past 31 are ignored, jumps never leave the order
// table, and the step is computed in 64 bits.
#include "sound/protracker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int64_t kFixOne = 1 << 14;  // 18.14 fixed point
constexpr int64_t kStepClock = 0x45E8A3D5;
constexpr int32_t kMinPeriod = 113;
constexpr int32_t kMaxPeriod = 856;
constexpr int kRowsPerPattern = 64;
constexpr int kHeaderBytes = 1084;
constexpr int kPatternBytes = 1024;

// The standard tuned period table: finetunes 0..7, then -8..-1.
constexpr int16_t kPeriods[16][36] = {
    {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320,
     302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113},
    {850, 802, 757, 715, 674, 637, 601, 567, 535, 505, 477, 450, 425, 401, 379, 357, 337, 318,
     300, 284, 268, 253, 239, 225, 213, 201, 189, 179, 169, 159, 150, 142, 134, 126, 119, 113},
    {844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447, 422, 398, 376, 355, 335, 316,
     298, 282, 266, 251, 237, 224, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118, 112},
    {838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444, 419, 395, 373, 352, 332, 314,
     296, 280, 264, 249, 235, 222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118, 111},
    {832, 785, 741, 699, 660, 623, 588, 555, 524, 495, 467, 441, 416, 392, 370, 350, 330, 312,
     294, 278, 262, 247, 233, 220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 124, 117, 110},
    {826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437, 413, 390, 368, 347, 328, 309,
     292, 276, 260, 245, 232, 219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116, 109},
    {820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434, 410, 387, 365, 345, 325, 307,
     290, 274, 258, 244, 230, 217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115, 109},
    {814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431, 407, 384, 363, 342, 323, 305,
     288, 272, 256, 242, 228, 216, 204, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114, 108},
    {907, 856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339,
     320, 302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120},
    {900, 850, 802, 757, 715, 675, 636, 601, 567, 535, 505, 477, 450, 425, 401, 379, 357, 337,
     318, 300, 284, 268, 253, 238, 225, 212, 200, 189, 179, 169, 159, 150, 142, 134, 126, 119},
    {894, 844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447, 422, 398, 376, 355, 335,
     316, 298, 282, 266, 251, 237, 223, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118},
    {887, 838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444, 419, 395, 373, 352, 332,
     314, 296, 280, 264, 249, 235, 222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118},
    {881, 832, 785, 741, 699, 660, 623, 588, 555, 524, 494, 467, 441, 416, 392, 370, 350, 330,
     312, 294, 278, 262, 247, 233, 220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 123, 117},
    {875, 826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437, 413, 390, 368, 347, 328,
     309, 292, 276, 260, 245, 232, 219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116},
    {868, 820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434, 410, 387, 365, 345, 325,
     307, 290, 274, 258, 244, 230, 217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115},
    {862, 814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431, 407, 384, 363, 342, 323,
     305, 288, 272, 256, 242, 228, 216, 203, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114},
};

constexpr uint8_t kSine[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
                               255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};
constexpr uint8_t kFunk[16] = {0, 5, 6, 7, 8, 10, 11, 13, 16, 19, 22, 26, 32, 43, 64, 128};

// Effect numbers.
enum : uint8_t {
  kArpeggio = 0x0, kSlideUp = 0x1, kSlideDown = 0x2, kTonePorta = 0x3, kVibrato = 0x4, kPortaVolSlide = 0x5,
  kVibratoVolSlide = 0x6, kTremolo = 0x7, kOffset = 0x9, kVolSlide = 0xA, kJump = 0xB, kSetVolume = 0xC,
  kBreak = 0xD, kExtended = 0xE, kSpeed = 0xF
};

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return std::min(std::max(v, lo), hi); }

const int16_t* Flat() { return &kPeriods[0][0]; }

// The note index of [period]: 856 is 0, else the first equal entry from the
// table's second one on, at most 35; a period that equals none gives 35.
int32_t NoteIndex(int32_t period) {
  if (period == 856) return 0;
  for (int i = 1; i < 16 * 36; i++) {
    if (Flat()[i] == period) return std::min(i, 35);
  }
  return 35;
}

int32_t TablePeriod(int32_t finetune, int32_t index) { return kPeriods[finetune & 15][Clamp(index, 0, 35)]; }

int64_t StepFor(const vkModule* m, int32_t period) {
  if (period <= 0) return 0;
  const int64_t divisor = (int64_t{period} * m->internalRate) / 50;
  return divisor > 0 ? kStepClock / divisor : 0;
}

int32_t Wave(int32_t waveform, int32_t p) {
  switch (waveform & 3) {
    case 0:
      return p > 31 ? -kSine[p & 31] : kSine[p & 31];
    case 2:
      return p > 31 ? -255 : 255;
    default:
      return p > 31 ? p * 8 - 512 : p * 8;
  }
}

const vkModCell& CellAt(const vkModule* m, int32_t position, int32_t row, int channel) {
  const int32_t pattern = m->order[Clamp(position, 0, 127)];
  return m->cells[(static_cast<size_t>(pattern) * kRowsPerPattern + static_cast<size_t>(row & 63)) * 4 +
                  static_cast<size_t>(channel)];
}

// The song reached its end: count it and start again at position 0.
void SongEnded(vkModule* m) {
  m->flags |= kModWrapped;
  m->endCount++;
  m->songPosition.store(0, std::memory_order_relaxed);
}

void ReadRowChannel(vkModule* m, vkModChannel& c, const vkModCell& cell, int32_t row) {
  const bool note = cell.period != 0;
  const int32_t number = cell.sample <= 31 ? cell.sample : 0;  // numbers past 31 name no sample
  const uint8_t fx = cell.effect;
  c.prevVolume = c.volume;
  if (number != 0) c.remembered = number;
  if (note && number == 0 && (fx == kArpeggio || fx == kSetVolume || fx == kSpeed) && c.remembered != 0) {
    c.sample = c.remembered;
    c.finetune = m->samples[c.sample].finetune;
  }
  if (number != 0) {
    c.volume = std::min(m->samples[number].volume, 63);
    if (note) {
      c.sample = number;
      c.finetune = m->samples[number].finetune;
      c.deferredSample = 0;
    } else {
      c.deferredSample = number;
    }
  }
  if (note && fx != kTonePorta) c.outPeriod = c.period;
  if (!note && fx != kVibrato && fx != kVibratoVolSlide && c.vibratoOn) c.outPeriod = c.period;
  if (note && fx != kTonePorta && fx != kPortaVolSlide) {
    int32_t finetune = c.finetune;
    if (fx == kExtended && cell.x == 5) finetune = c.finetune = cell.y;
    c.noteIndex = NoteIndex(cell.period);
    c.period = c.targetPeriod = c.outPeriod = TablePeriod(finetune, c.noteIndex);
    c.step = StepFor(m, c.outPeriod);
    if (fx == kOffset && cell.param != 0) c.offset = int64_t{cell.param} * 256 * kFixOne;
    c.position = fx == kOffset ? c.offset : 0;
    c.vibratoPosition = 0;
    c.tremoloPosition = 0;
  }
  c.vibratoOn = c.tremoloOn = c.arpeggioOn = c.retrigOn = c.cutOn = false;
  c.volumeSlide = 0;
  c.slideDelta = 0;
  c.portaRunning = 0;
  c.skipTick = 0;

  // Funk: invert one byte of the loop each time the counter comes round.
  if (c.funkSpeed != 0 && c.sample != 0) {
    const vkModSample& s = m->samples[c.sample];
    c.funkCounter += kFunk[c.funkSpeed & 15];
    if ((c.funkCounter & 7) == 0) {
      c.funkCounter = 0;
      const int64_t loopBytes = s.loopLength / kFixOne;
      c.funkOffset = loopBytes > 0 ? static_cast<int32_t>((c.funkOffset + 1) % loopBytes) : 0;
      const int64_t at = s.loopStart / kFixOne + c.funkOffset;
      if (s.loopStart != 0 && s.data != nullptr && at < s.length / kFixOne) {
        auto* bytes = const_cast<int8_t*>(s.data);
        bytes[at] = static_cast<int8_t>(~bytes[at]);
      }
    }
  }

  const int32_t x = cell.x, y = cell.y, p = cell.param;
  const int32_t slide = x != 0 ? x : -y;
  switch (fx) {
    case kArpeggio:
      if (p != 0) {
        c.arpeggio = p;
        c.arpeggioOn = true;
      }
      break;
    case kSlideUp:
    case kSlideDown:
      c.slideDelta = fx == kSlideUp ? -p : p;
      c.skipTick = 1;
      break;
    case kTonePorta:
      if (p != 0) c.portaSpeed = p;
      if (note) c.targetPeriod = TablePeriod(c.finetune, NoteIndex(cell.period));
      c.portaRunning = c.portaSpeed != 0;
      break;
    case kVibrato:
      if (y != 0) c.vibratoDepth = y;
      if (x != 0) c.vibratoSpeedMemory = x;
      c.vibratoSpeed = c.vibratoSpeedMemory;
      c.vibratoOn = true;
      c.skipTick = 1;
      break;
    case kPortaVolSlide:
      c.volumeSlide = slide;
      if (note) c.targetPeriod = TablePeriod(c.finetune, NoteIndex(cell.period));
      c.portaRunning = c.portaSpeed != 0;
      break;
    case kVibratoVolSlide:
      c.volumeSlide = slide;
      c.vibratoSpeed = c.vibratoSpeedMemory;
      c.vibratoOn = true;
      c.skipTick = 1;
      break;
    case kTremolo:
      if (y != 0) c.tremoloDepth = 2 * y;
      if (x != 0) c.tremoloSpeedMemory = x;
      c.tremoloSpeed = c.tremoloSpeedMemory;
      c.tremoloOn = true;
      break;
    case kVolSlide:
      c.volumeSlide = slide;
      break;
    case kJump:
      m->jumpPosition = p;
      if (m->breakRow < 0) m->breakRow = 0;
      break;
    case kSetVolume:
      c.volume = std::min(p, 63);
      break;
    case kBreak: {
      const int32_t target = x * 10 + y;
      m->breakRow = target > 63 ? 0 : target;
      break;
    }
    case kExtended:
      switch (x) {
        case 0x0:
          if ((m->flags & kModObeyFilter) != 0) m->filterOn = (y & 1) == 0;
          break;
        case 0x1:
        case 0x2:
          c.period += x == 1 ? -y : y;
          c.outPeriod = c.period;
          c.step = StepFor(m, c.outPeriod);
          break;
        case 0x3:
          c.glissando = y;
          break;
        case 0x4:
          c.vibratoWave = y;
          break;
        case 0x5:
          if (note) {
            c.finetune = y;
            c.period = c.targetPeriod = c.outPeriod = TablePeriod(y, c.noteIndex);
            c.step = StepFor(m, c.outPeriod);
          }
          break;
        case 0x6:
          if (y == 0) {
            c.loopRow = row;
            c.loopState = 1;
          } else if (c.loopCount == 0) {
            c.loopCount = y;
            m->loopJumpRow = c.loopRow;
            c.loopState = 2;
          } else if (--c.loopCount != 0) {
            m->loopJumpRow = c.loopRow;
          } else {
            c.loopState = 0;
          }
          break;
        case 0x7:
          c.tremoloWave = y;
          break;
        case 0x9:
          if (y != 0) {
            c.retrigInterval = c.retrigCountdown = y;
            c.retrigOn = true;
          }
          break;
        case 0xA:
          c.volume = std::min(c.volume + y, 63);
          break;
        case 0xB:
          c.volume = std::max(c.volume - y, 0);
          break;
        case 0xC:
          c.cutCountdown = y;
          c.cutOn = true;
          break;
        case 0xD:
          if (note && y != 0) {
            c.retrigInterval = 0;
            c.retrigCountdown = y;
            c.retrigOn = true;
            c.position = -1;
          }
          break;
        case 0xE:
          if (m->patternDelay == 0) m->patternDelay = y;
          break;
        case 0xF:
          c.funkSpeed = y;
          break;
      }
      break;
    case kSpeed:
      if (p == 0) {
        m->flags |= kModWrapped;
        if ((m->flags & kModSilenceAfterEnd) != 0) m->endCount++;
      } else if (p < 0x20) {
        m->speed = p;
      } else {
        m->bpm = p;
        m->samplesPerTick = (m->internalRate * 60) / (p * 24);
      }
      break;
    default:
      break;
  }
  c.outVolume = c.volume;
}

void ReadRow(vkModule* m) {
  const int32_t position = m->songPosition.load(std::memory_order_relaxed);
  const int32_t row = m->row.load(std::memory_order_relaxed);
  m->breakRow = -1;
  m->jumpPosition = -1;
  m->loopJumpRow = -1;
  for (int i = 0; i < 4; i++) ReadRowChannel(m, m->channels[i], CellAt(m, position, row, i), row);

  int32_t nextPosition = position;
  int32_t nextRow;
  if (m->loopJumpRow >= 0) {
    nextRow = m->loopJumpRow;  // a pattern loop stays in the pattern
  } else if (m->breakRow >= 0 || m->jumpPosition >= 0) {
    nextRow = std::max(m->breakRow, 0);
    if (m->jumpPosition >= 0) {
      nextPosition = m->jumpPosition;
      if (nextPosition <= position) {
        m->flags |= kModWrapped;
        if ((m->flags & kModSilenceAfterEnd) != 0) m->endCount++;
      }
    } else {
      nextPosition = position + 1;
    }
  } else {
    nextRow = (row + 1) & 63;
    if (nextRow == 0) nextPosition = position + 1;
  }
  m->row.store(nextRow, std::memory_order_relaxed);
  if (nextPosition >= m->songLength) SongEnded(m);
  else m->songPosition.store(nextPosition, std::memory_order_relaxed);
}

void TickChannel(vkModule* m, vkModChannel& c) {
  if (c.skipTick != 0) {
    c.skipTick = 0;
    return;
  }
  bool slid = false;
  if (c.slideDelta != 0) {
    c.outPeriod = c.period = Clamp(c.outPeriod + c.slideDelta, kMinPeriod, kMaxPeriod);
    slid = true;
  }
  if (c.portaRunning != 0) {
    int32_t p = c.outPeriod;
    if (p < c.targetPeriod) p = std::min(p + c.portaSpeed, c.targetPeriod);
    else if (p > c.targetPeriod) p = std::max(p - c.portaSpeed, c.targetPeriod);
    c.outPeriod = c.period = Clamp(p, kMinPeriod, kMaxPeriod);
    slid = true;
  }
  if (slid && c.glissando != 0) {
    const int16_t* row = kPeriods[c.finetune & 15];
    for (int i = 0; i < 36; i++) {
      if (row[i] <= c.outPeriod) {
        c.outPeriod = row[i];
        break;
      }
    }
  }
  if (c.arpeggioOn) {
    const int32_t phase = m->tick % 3;
    const int32_t add = phase == 0 ? 0 : phase == 1 ? (c.arpeggio >> 4) : (c.arpeggio & 15);
    c.outPeriod = TablePeriod(c.finetune, std::min(c.noteIndex + add, 35));
  }
  if (c.vibratoOn) {
    c.vibratoPosition = (c.vibratoPosition + c.vibratoSpeed) & 63;
    const int32_t wave = Wave(c.vibratoWave, c.vibratoPosition);
    c.outPeriod = Clamp(c.period + ((wave * c.vibratoDepth) >> 7), kMinPeriod, kMaxPeriod);
  }
  c.step = StepFor(m, c.outPeriod);

  c.volume = Clamp(c.volume + c.volumeSlide, 0, 63);
  int32_t volume = c.volume;
  if (c.tremoloOn) {
    c.tremoloPosition = (c.tremoloPosition + c.tremoloSpeed) & 63;
    const int32_t wave = Wave(c.tremoloWave, c.tremoloPosition);
    volume = Clamp(c.volume + ((wave * c.tremoloDepth) >> 8), 0, 63);
  }
  if (c.cutOn) {
    if (c.cutCountdown == 0) {
      c.volume = volume = 0;
      c.cutOn = false;
    } else {
      c.cutCountdown--;
    }
  }
  if (c.retrigOn) {
    if (c.retrigCountdown == 0) {
      c.position = 0;
      c.retrigCountdown = c.retrigInterval;
      if (c.retrigInterval == 0) c.retrigOn = false;
    }
    if (c.retrigCountdown > 0) c.retrigCountdown--;
  }
  c.outVolume = volume;
}

void Tick(vkModule* m) {
  if (m->tick == 0) {
    if (m->patternDelay == 0) ReadRow(m);
    else m->patternDelay--;
    m->tick = m->speed;
  }
  m->tick--;
  for (vkModChannel& c : m->channels) TickChannel(m, c);
}

// The next byte of channel [c], advancing it; 0 when it is silent.
inline int32_t NextByte(vkModule* m, vkModChannel& c) {
  if (c.position < 0 || c.sample == 0) return 0;
  const vkModSample* s = &m->samples[c.sample];
  if (s->loopLength > 2 * kFixOne) {
    if (c.position >= s->loopEnd) {
      c.position -= s->loopLength;
      if (c.deferredSample != 0) {
        c.sample = c.deferredSample;
        c.deferredSample = 0;
        s = &m->samples[c.sample];
      }
      // An offset or a new sample may still lie past the loop: wrap it in.
      if (s->loopLength > 2 * kFixOne && c.position >= s->loopEnd)
        c.position = s->loopStart + (c.position - s->loopStart) % s->loopLength;
    }
  }
  if (c.position >= s->length || c.position < 0 || s->data == nullptr) {
    c.position = -1;
    return 0;
  }
  const int32_t byte = s->data[c.position >> 14];
  c.position += c.step;
  return byte;
}

constexpr int kSpan = 512;  // internal samples mixed at a time

// Adds [n] internal samples of channel [c] into [a] and [b] (the two
// outputs before the shift): the stretch that cannot reach a loop end or the
// sample's end runs in a plain loop, the rest byte by byte with every check.
void MixChannel(vkModule* m, vkModChannel& c, int32_t* a, int32_t* b, int n) {
  int k = 0;
  while (k < n) {
    if (c.position < 0 || c.sample == 0) return;
    const vkModSample& s = m->samples[c.sample];
    const int64_t limit = s.loopLength > 2 * kFixOne ? s.loopEnd : s.length;
    int64_t safe = 0;
    if (s.data != nullptr && c.position < limit && c.position >= 0) {
      safe = c.step > 0 ? (limit - 1 - c.position) / c.step + 1 : n - k;
      safe = std::min<int64_t>(safe, n - k);
    }
    if (safe > 0) {
      const int32_t pan = c.panning, volume = c.outVolume;
      const int8_t* data = s.data;
      int64_t position = c.position;
      const int64_t step = c.step;
      for (int64_t j = 0; j < safe; j++, k++) {
        const int32_t v = data[position >> 14] * volume;
        position += step;
        a[k] += v * pan;
        b[k] += v * (255 - pan);
      }
      c.position = position;
      continue;
    }
    const int32_t v = NextByte(m, c) * c.outVolume;
    a[k] += v * c.panning;
    b[k] += v * (255 - c.panning);
    k++;
  }
}

// Mixes [n] internal samples into [a] and [b], running ticks where they
// fall, then shifts, filters and clips them.
void MixInternal(vkModule* m, int32_t* a, int32_t* b, int n) {
  std::fill(a, a + n, 0);
  std::fill(b, b + n, 0);
  int at = 0;
  while (at < n) {
    if ((m->flags & kModSilenceAfterEnd) != 0 && m->endCount != 0) break;  // silence from here on
    if (m->sampleCounter - m->samplesPerTick >= 0) {
      m->sampleCounter -= m->samplesPerTick;
      Tick(m);
    }
    // Up to the sample that checks for the next tick.
    const int32_t untilTick = std::max(1, m->samplesPerTick - m->sampleCounter);
    const int span = std::min(n - at, untilTick);
    for (vkModChannel& c : m->channels) MixChannel(m, c, a + at, b + at, span);
    m->sampleCounter += span;
    at += span;
  }
  n = at;  // past it the song ended into silence: zeros, untouched by the filter
  for (int k = 0; k < n; k++) {
    a[k] >>= 7;
    b[k] >>= 7;
  }
  if (m->filterOn != 0) {
    int32_t* outs[2] = {a, b};
    for (int o = 0; o < 2; o++) {
      float* st = m->filterState[o];
      for (int k = 0; k < n; k++) {
        const float x = static_cast<float>(outs[o][k]);
        const float y1 = m->filterA * (x + st[0]) + m->filterC * st[1];
        const float y2 = m->filterA * (y1 + st[1]) + m->filterC * st[3];
        st[0] = x;
        st[1] = y1;
        st[3] = y2;
        outs[o][k] = static_cast<int32_t>(std::lrint(std::clamp(y2, -40000.0f, 40000.0f)));
      }
    }
  }
  for (int k = 0; k < n; k++) {
    a[k] = std::clamp(a[k], -32768, 32767);
    b[k] = std::clamp(b[k], -32768, 32767);
  }
}

}  // namespace

bool IsModuleData(const uint8_t* data, int64_t size) {
  return size >= 1084 && std::memcmp(data + 1080, "M.K.", 4) == 0;
}

int64_t ModuleRecordBytes(const uint8_t* data, int64_t size) {
  if (size < kHeaderBytes) return 0;
  const int32_t highest = *std::max_element(data + 952, data + 952 + 128);
  return int64_t{highest + 1} * 3072 + 2916;
}

bool CreateModuleFromMemory(vkModule* m, int32_t outputRate) {
  const auto* data = reinterpret_cast<const uint8_t*>(m->fileData.data());
  const int64_t size = static_cast<int64_t>(m->fileData.size());
  if (size < kHeaderBytes) return false;
  const int32_t patterns = *std::max_element(data + 952, data + 952 + 128) + 1;
  const int64_t samplesStart = kHeaderBytes + int64_t{kPatternBytes} * patterns;
  if (samplesStart > size) return false;

  std::memcpy(m->title, data, 20);
  m->title[20] = 0;
  m->patterns = patterns;
  m->songLength = Clamp(data[950], 1, 128);
  std::memcpy(m->order, data + 952, 128);
  for (vkModChannel& c : m->channels) c = vkModChannel{};
  m->channels[0].position = -1;
  m->volume = 256;
  m->internalRate = outputRate * 2;
  m->flags = kModObeyFilter;
  m->channels[1].panning = m->channels[2].panning = 255;
  m->channels[0].panning = m->channels[3].panning = 0;

  const double t = std::atan(12566.370614359172 / outputRate);
  const double c = (1 - t) / (1 + t);
  m->filterC = static_cast<float>(c);
  m->filterA = static_cast<float>((1 - c) * 0.5);
  std::memset(m->filterState, 0, sizeof m->filterState);

  m->cells.assign(static_cast<size_t>(patterns) * kRowsPerPattern * 4, vkModCell{});
  for (size_t i = 0; i < m->cells.size(); i++) {
    const uint8_t* b = data + kHeaderBytes + i * 4;
    vkModCell& cell = m->cells[i];
    cell.period = (b[0] & 0x0F) << 8 | b[1];
    cell.sample = (b[0] & 0xF0) | (b[2] >> 4);
    cell.effect = b[2] & 0x0F;
    cell.param = b[3];
    cell.x = b[3] >> 4;
    cell.y = b[3] & 0x0F;
  }

  int64_t at = samplesStart;
  m->samples[0] = vkModSample{};
  for (int i = 1; i <= 31; i++) {
    const uint8_t* h = data + 20 + (i - 1) * 30;
    vkModSample& s = m->samples[i];
    s = vkModSample{};
    std::memcpy(s.name, h, 22);
    const int64_t length = int64_t{h[22] << 8 | h[23]} * 2;
    s.finetune = h[24] & 0x0F;
    s.volume = h[25];
    const int64_t present = std::max<int64_t>(0, std::min(length, size - at));
    int64_t loopStart = int64_t{h[26] << 8 | h[27]} * 2;
    int64_t loopLength = int64_t{h[28] << 8 | h[29]} * 2;
    // The loop is cut with the sample.
    loopStart = std::min(loopStart, present);
    loopLength = std::min(loopLength, present - loopStart);
    s.data = present > 0 ? m->fileData.data() + at : nullptr;
    s.length = present * kFixOne;
    s.loopStart = loopStart * kFixOne;
    s.loopLength = loopLength * kFixOne;
    s.loopEnd = s.loopStart + s.loopLength;
    at += present;
  }

  m->songPosition.store(0);
  m->row.store(0);
  m->speed = 6;
  m->bpm = 125;
  m->samplesPerTick = m->internalRate / 50;
  m->sampleCounter = 0;
  m->tick = 0;
  m->endCount = 0;
  m->filterOn = 0;
  m->patternDelay = 0;
  m->breakRow = m->jumpPosition = m->loopJumpRow = -1;
  m->jumpPending.store(0);
  return true;
}

void ApplyModuleJump(vkModule* m) {
  if (m->jumpPending.load(std::memory_order_acquire) == 0) return;
  m->songPosition.store(Clamp(m->jumpSongPosition.load(std::memory_order_relaxed), 0, 127), std::memory_order_relaxed);
  m->row.store(m->jumpRow.load(std::memory_order_relaxed) & 63, std::memory_order_relaxed);
  m->jumpPending.store(0, std::memory_order_relaxed);
}

void RequestModuleJump(vkModule* m, int32_t songPosition) {
  m->jumpSongPosition.store(songPosition, std::memory_order_relaxed);
  m->jumpRow.store(0, std::memory_order_relaxed);
  m->jumpPending.store(1, std::memory_order_release);
}

void RenderModuleFrames(vkModule* m, int16_t* out, int32_t frames) {
  int32_t a[kSpan], b[kSpan];
  while (frames > 0) {
    const int32_t pairs = std::min(frames, kSpan / 2);
    MixInternal(m, a, b, 2 * pairs);
    for (int32_t f = 0; f < pairs; f++) {
      out[2 * f] = static_cast<int16_t>(std::clamp((m->volume * (a[2 * f] + a[2 * f + 1])) >> 9, -32768, 32767));
      out[2 * f + 1] = static_cast<int16_t>(std::clamp((m->volume * (b[2 * f] + b[2 * f + 1])) >> 9, -32768, 32767));
    }
    out += 2 * pairs;
    frames -= pairs;
  }
}
