// Time on POSIX: gettimeofday for time values, localtime_r and mktime for
// dates (mktime only after every field was checked, since it would quietly
// carry an impossible day into the next month), strftime in the user's
// LC_TIME for the locale's texts, sysconf for the memory size.
#include "platform/vkos_time.h"

#include <locale.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "platform/vkos_files.h"

namespace {

constexpr int kErrUtf8 = 1003;
constexpr uint32_t kMicrosPerSecond = 1000000;

// Formats [t] with [format] in the user's LC_TIME and returns it as
// ISO 8859-1 (characters it has no room for stay as UTF-8 bytes).
std::string LocaleText(const char* format, const struct tm& t) {
  char buffer[64] = {};
  locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  size_t n = user ? strftime_l(buffer, sizeof buffer, format, &t, user) : strftime(buffer, sizeof buffer, format, &t);
  if (user) freelocale(user);
  std::string text(buffer, n);
  if (auto latin = vkosUtf8ToLatin1(text.c_str())) return *latin;
  return text;
}

struct tm NowLocal() {
  time_t now = time(nullptr);
  struct tm t {};
  localtime_r(&now, &t);
  return t;
}

}  // namespace

void vkosGetTimeValue(vkTimeValue* out) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  out->seconds = static_cast<uint32_t>(tv.tv_sec);
  out->micros = static_cast<uint32_t>(tv.tv_usec);
}

void vkosSubTimeValue(vkTimeValue* a, const vkTimeValue* b) {
  uint32_t micros = a->micros;
  uint32_t seconds = a->seconds - b->seconds;
  if (micros < b->micros) {
    micros += kMicrosPerSecond;
    seconds--;
  }
  a->seconds = seconds;
  a->micros = micros - b->micros;
}

void vkosAddTimeValue(vkTimeValue* a, const vkTimeValue* b) {
  uint32_t micros = a->micros + b->micros;
  uint32_t seconds = a->seconds + b->seconds;
  if (micros >= kMicrosPerSecond) {
    micros -= kMicrosPerSecond;
    seconds++;
  }
  a->seconds = seconds;
  a->micros = micros;
}

int vkosCmpTimeValue(const vkTimeValue* a, const vkTimeValue* b) {
  if (a->seconds != b->seconds) return a->seconds < b->seconds ? -1 : 1;
  if (a->micros != b->micros) return a->micros < b->micros ? -1 : 1;
  return 0;
}

double vkosGetTimeSeconds() {
  vkTimeValue t;
  vkosGetTimeValue(&t);
  return t.seconds + t.micros / 1e6;
}

vkLocalTime vkosLocalTime(int64_t seconds) {
  time_t when = static_cast<time_t>(seconds);
  struct tm t {};
  localtime_r(&when, &t);
  vkLocalTime out;
  out.seconds = t.tm_sec;
  out.minutes = t.tm_min;
  out.hours = t.tm_hour;
  out.day = t.tm_mday;
  out.month = t.tm_mon;
  out.year = t.tm_year + 1900;
  return out;
}

int32_t vkosDaysInMonth(int32_t year, int32_t month) {
  static const int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 0 || month > 11) return 0;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kDays[month] + (month == 1 && leap ? 1 : 0);
}

bool vkosMakeTime(const vkLocalTime& f, int64_t* seconds) {
  if (f.month < 0 || f.month > 11 || f.day < 1 || f.day > vkosDaysInMonth(f.year, f.month)) return false;
  if (f.hours < 0 || f.hours > 23 || f.minutes < 0 || f.minutes > 59 || f.seconds < 0 || f.seconds > 59)
    return false;
  if (f.year < 1900 || f.year > 9999) return false;
  struct tm t {};
  t.tm_sec = f.seconds;
  t.tm_min = f.minutes;
  t.tm_hour = f.hours;
  t.tm_mday = f.day;
  t.tm_mon = f.month;
  t.tm_year = f.year - 1900;
  t.tm_isdst = -1;
  errno = 0;
  const time_t when = mktime(&t);
  if (when == static_cast<time_t>(-1) && errno != 0) return false;
  *seconds = static_cast<int64_t>(when);
  return true;
}

void vkosFormatDateTime(int32_t kind, std::string* text, std::string* second) {
  const struct tm t = NowLocal();
  char buffer[32];
  switch (kind) {
    case VKOS_DATE_SHORT:
      *text = LocaleText("%x", t);
      break;
    case VKOS_DATE_AND_TIME:
      std::snprintf(buffer, sizeof buffer, "%.2d-%.2d-%.2d", t.tm_mon + 1, t.tm_mday, (t.tm_year + 1900 - 2000) % 100);
      *text = buffer;
      if (second) {
        std::snprintf(buffer, sizeof buffer, "%.2d:%.2d:%.2d", t.tm_hour, t.tm_min, t.tm_sec);
        *second = buffer;
      }
      break;
    case VKOS_TIME:
      std::snprintf(buffer, sizeof buffer, "%.2d:%.2d:%.2d", t.tm_hour, t.tm_min, t.tm_sec);
      *text = buffer;
      break;
    case VKOS_WEEKDAY:
      *text = LocaleText("%A", t);
      break;
    default:
      text->clear();
      break;
  }
}

bool vkosIsGraphChar(int c) {
  c &= 0xFF;
  return c > 127 || std::isgraph(c) != 0;
}

uint32_t vkosGetPhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || size <= 0) return 0;
  const unsigned long long bytes = static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(size);
  return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
}

std::unique_ptr<vkOSMutex> vkosCreateMutex() { return std::make_unique<vkOSMutex>(); }

int vkosUtf8ToUcs4(const char* bytes, size_t length, std::vector<uint32_t>* out) {
  out->clear();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  if (length >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) i = 3;
  while (i < length) {
    const unsigned char lead = p[i];
    uint32_t code;
    size_t extra;
    uint32_t least;
    if (lead < 0x80) {
      out->push_back(lead);
      i++;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      code = lead & 0x1F, extra = 1, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      code = lead & 0x0F, extra = 2, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      code = lead & 0x07, extra = 3, least = 0x10000;
    } else {
      out->clear();
      return kErrUtf8;
    }
    if (length - i - 1 < extra) {
      out->clear();
      return kErrUtf8;
    }
    for (size_t k = 1; k <= extra; k++) {
      if ((p[i + k] & 0xC0) != 0x80) {
        out->clear();
        return kErrUtf8;
      }
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      out->clear();
      return kErrUtf8;
    }
    out->push_back(code);
    i += extra + 1;
  }
  return 0;
}
