// Time for the rest of the player: wall-clock time values and their
// arithmetic, local dates split into fields and made from them (fields are
// checked first, so 30 February is refused rather than turned into March),
// the date texts of the system library, the physical memory size, visible
// characters, recursive mutexes and a strict UTF-8 decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Seconds and microseconds since 1970.
struct vkTimeValue {
  uint32_t seconds = 0;
  uint32_t micros = 0;
};

void vkosGetTimeValue(vkTimeValue* out);
// [a] -= [b], borrowing 1,000,000 microseconds.
void vkosSubTimeValue(vkTimeValue* a, const vkTimeValue* b);
// [a] += [b]; microseconds above 999,999 carry one second.
void vkosAddTimeValue(vkTimeValue* a, const vkTimeValue* b);
// -1, 0 or 1: seconds first, then microseconds.
int vkosCmpTimeValue(const vkTimeValue* a, const vkTimeValue* b);
// Whole milliseconds of [t].
inline int64_t vkosTimeMillis(const vkTimeValue& t) { return int64_t{t.seconds} * 1000 + t.micros / 1000; }
// The wall clock as seconds, microseconds as the fraction.
double vkosGetTimeSeconds();

// A local date and time: month 0-11, year in full (2026).
struct vkLocalTime {
  int32_t seconds = 0;
  int32_t minutes = 0;
  int32_t hours = 0;
  int32_t day = 1;
  int32_t month = 0;
  int32_t year = 1970;
};

// Splits [seconds] since 1970 into local fields.
vkLocalTime vkosLocalTime(int64_t seconds);
// The time of local [fields], daylight saving left to the system: true with
// *[seconds] set, or false when a field is out of range (day past the end of
// its month, hour 24, minute 60 ...) or the time cannot be represented.
bool vkosMakeTime(const vkLocalTime& fields, int64_t* seconds);
// Days in [month] (0-11) of [year].
int32_t vkosDaysInMonth(int32_t year, int32_t month);

// Date texts of the current local time, ISO 8859-1.
enum vkDateTextKind : int32_t {
  VKOS_DATE_SHORT = 0,    // the locale's short date
  VKOS_DATE_AND_TIME = 1,  // "mm-dd-yy" into [text], "hh:mm:ss" into [second]
  VKOS_TIME = 2,           // "hh:mm:ss"
  VKOS_WEEKDAY = 3,        // the locale's weekday name
};
void vkosFormatDateTime(int32_t kind, std::string* text, std::string* second = nullptr);

// True when [c] (ISO 8859-1) is a visible character: codes above 127 count.
bool vkosIsGraphChar(int c);

// Installed physical memory in bytes, saturated to 32 bits.
uint32_t vkosGetPhysicalMemory();

// Recursive mutexes; a try never blocks (the audio thread uses it).
using vkOSMutex = std::recursive_mutex;
std::unique_ptr<vkOSMutex> vkosCreateMutex();
inline bool vkosTryLockMutex(vkOSMutex& m) { return m.try_lock(); }

// Decodes UTF-8 [bytes] into code points: 0, or 1003 when the text is not
// strict UTF-8 (overlong forms, surrogates, code points above 0x10FFFF, cut
// or stray sequences), [out] then empty. A leading byte-order mark is dropped.
int vkosUtf8ToUcs4(const char* bytes, size_t length, std::vector<uint32_t>* out);
