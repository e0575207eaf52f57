// Interned strings and the number/text conversions of the engine.
#include "engine/strings.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <locale.h>

#include "base/errorcodes.h"
#include "engine/errors.h"
#include "engine/memory.h"
#include "base/numconv.h"
#include "engine/state.h"

uint32_t vmStringHash(const char* s, size_t len) {
  uint32_t h = static_cast<uint32_t>(len);
  size_t step = (len >> 5) + 1;
  for (size_t i = len; i >= step; i -= step)
    h ^= (h << 5) + (h >> 2) + static_cast<unsigned char>(s[i - 1]);
  return h;
}

void vmResizeStringTable(vkState* L, uint32_t newsize) {
  vkGlobalState* g = L->G;
  vkString** nh = vmNewArray<vkString*>(L, newsize);
  for (uint32_t i = 0; i < newsize; i++) nh[i] = nullptr;
  for (uint32_t i = 0; i < g->strt.size; i++) {
    vkGCObject* p = g->strt.hash[i];
    while (p) {
      vkGCObject* next = p->next;
      uint32_t h = static_cast<vkString*>(p)->hash & (newsize - 1);
      p->next = nh[h];
      nh[h] = static_cast<vkString*>(p);
      p = next;
    }
  }
  vmFreeArray(L, g->strt.hash, g->strt.size);
  g->strt.size = newsize;
  g->strt.hash = nh;
}

namespace {

vkString* findString(vkGlobalState* g, const char* s, size_t len, uint32_t h) {
  for (vkGCObject* o = g->strt.hash[h & (g->strt.size - 1)]; o; o = o->next) {
    vkString* ts = static_cast<vkString*>(o);
    if (ts->len == len && (len == 0 || std::memcmp(s, ts->data(), len) == 0)) return ts;
  }
  return nullptr;
}

void linkString(vkState* L, vkString* ts) {
  vkGlobalState* g = L->G;
  uint32_t b = ts->hash & (g->strt.size - 1);
  ts->next = g->strt.hash[b];
  g->strt.hash[b] = ts;
  g->strt.nuse++;
  if (g->strt.nuse > g->strt.size && g->strt.size <= 0x3FFFFFFEu) vmResizeStringTable(L, g->strt.size * 2);
}

}  // namespace

vkString* vmBeginString(vkState* L, size_t len) {
  if (len > 0xFFFFFFFCu - sizeof(vkString) - 1) vmRaiseError(L, kErrOutOfMemory);
  vkString* ts = static_cast<vkString*>(vmRealloc(L, nullptr, 0, sizeof(vkString) + len + 1));
  ts->tt = VK_TSTRING;
  ts->marked = 0;
  ts->next = nullptr;
  ts->hash = 0;
  ts->len = static_cast<uint32_t>(len);
  ts->data()[len] = '\0';
  return ts;
}

vkString* vmEndString(vkState* L, vkString* ts) {
  uint32_t h = vmStringHash(ts->data(), ts->len);
  vkString* old = findString(L->G, ts->data(), ts->len, h);
  if (old) {
    vmFreeString(L, ts);
    return old;
  }
  ts->hash = h;
  linkString(L, ts);
  return ts;
}

vkString* vmNewString(vkState* L, const char* s, size_t len) {
  uint32_t h = vmStringHash(s, len);
  vkString* old = findString(L->G, s, len, h);
  if (old) return old;
  vkString* ts = vmBeginString(L, len);
  if (len) std::memcpy(ts->data(), s, len);  // [s] may be NULL for an empty string
  ts->hash = h;
  linkString(L, ts);
  return ts;
}

vkString* vmNewCString(vkState* L, const char* s) { return vmNewString(L, s, std::strlen(s)); }

void vmFreeString(vkState* L, vkString* s) {
  vmRealloc(L, s, sizeof(vkString) + s->len + 1, 0);
}

namespace {

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads unsigned hexadecimal as a 32-bit strtoul would: blanks, a sign, an
// optional "0x", digits; overflow saturates at 0xFFFFFFFF; a minus negates
// modulo 2^32. [*end] is [s] when no digit was read.
uint32_t parseHex32(const char* s, const char** end) {
  const char* p = s;
  while (isBlank(*p)) p++;
  bool neg = false;
  if (*p == '+' || *p == '-') neg = (*p++ == '-');
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hexDigit(p[2]) >= 0) p += 2;
  const char* digits = p;
  uint64_t v = 0;
  bool overflow = false;
  int d;
  while ((d = hexDigit(*p)) >= 0) {
    v = v * 16 + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) {
      overflow = true;
      v = 0xFFFFFFFFull;
    }
    p++;
  }
  if (p == digits) {
    *end = s;
    return 0;
  }
  *end = p;
  if (overflow) return 0xFFFFFFFFu;
  uint32_t r = static_cast<uint32_t>(v);
  return neg ? 0u - r : r;
}

locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

}  // namespace

double vmStrtod(const char* text, char** end) { return strtod_l(text, end, cLocale()); }

int vmStringToNumber(const char* text, double* out) {
  const char* start;
  const char* end;
  double r;
  size_t len = std::strlen(text);
  if (len > 2 && text[0] == '0' && text[1] == 'x') {
    start = text + 2;
    r = static_cast<double>(parseHex32(start, &end));
  } else if (text[0] == '$') {
    start = text + 1;
    r = static_cast<double>(parseHex32(start, &end));
  } else {
    start = text;
    char* e;
    r = vmStrtod(text, &e);
    end = e;
  }
  if (end == start) return 0;
  while (isBlank(*end)) end++;
  if (*end != '\0') return 0;
  *out = r;
  return 1;
}

int vmNumberToText(double d, char* buf) {
  if (std::isnan(d)) {
    std::memcpy(buf, "nan", 4);
    return 3;
  }
  // Integers of 32 bits print as "%.14g" prints them; the common case, done without printf.
  int32_t i = vkDoubleToInt32(d);
  if (static_cast<double>(i) == d && !(d == 0 && std::signbit(d))) {
    char tmp[12];
    int n = 0;
    uint32_t u = i < 0 ? 0u - static_cast<uint32_t>(i) : static_cast<uint32_t>(i);
    do {
      tmp[n++] = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u);
    int len = 0;
    if (i < 0) buf[len++] = '-';
    while (n) buf[len++] = tmp[--n];
    buf[len] = '\0';
    return len;
  }
  int n = std::snprintf(buf, kNumberTextMax, "%.14g", d);
  for (int i = 0; i < n; i++)
    if (buf[i] == ',') buf[i] = '.';  // a decimal comma from a foreign numeric locale
  return n;
}

void vmChunkId(char* out, const char* source, size_t bufsize) {
  if (bufsize == 0) return;
  if (*source == '=') {
    std::snprintf(out, bufsize, "%s", source + 1);
    return;
  }
  if (*source == '@') {
    source++;
    size_t l = std::strlen(source);
    if (bufsize >= 8 && l > bufsize - 8) {
      std::snprintf(out, bufsize, "...%s", source + l - (bufsize - 8));
    } else {
      std::snprintf(out, bufsize, "%s", source);
    }
    return;
  }
  size_t len = std::strcspn(source, "\n");
  size_t room = bufsize > 17 ? bufsize - 17 : 0;
  bool cut = false;
  if (len > room) {
    len = room;
    cut = true;
  }
  if (source[len] != '\0') cut = true;
  std::string_view head(source, len);
  std::snprintf(out, bufsize, "[string \"%.*s%s\"]", static_cast<int>(head.size()), head.data(), cut ? "..." : "");
}
