// Interned strings and the number/text conversions of the engine.
//
// Short strings are interned, so equal short text is one object and compares
// by pointer. Long strings (kLongStringMin bytes or more) are not: each is an
// object of its own on the collector's object list, compared by its bytes,
// and hashed with the same function only when a table first needs its hash,
// so table placement and traversal order do not depend on the difference.
// A string's bytes sit either right after its record or, for long results of
// concatenation, in a vkStringBlock that views share: a view is a record with
// a pointer into a block and a length. Appending to the newest view of a
// block writes the new bytes after it in the block (when there is room) and
// makes a new view over the longer run, so building a text piece by piece
// costs time in proportion to its length; when the block is full, the text
// moves to a new block of twice its length. Earlier views keep their length
// and never see the new bytes, but their NUL is overwritten: text handed to C
// code goes through vmStringText, which copies such a view into a block of
// its own, and marks the newest view as held by the call level that asked,
// so that no append while that level runs overwrites its NUL.
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
#include "engine/runstate.h"
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
    if (ts->hash == h && ts->len == len && (len == 0 || std::memcmp(s, ts->data(), len) == 0)) return ts;
  }
  return nullptr;
}

// Links a new long string to the object list.
inline void linkLongString(vkGlobalState* g, vkString* ts) {
  ts->next = g->rootgc;
  g->rootgc = ts;
}

// Links a new string to its owner: a long one to the object list, a short
// one (with its hash [h]) to the intern table.
void linkString(vkState* L, vkString* ts, uint32_t h) {
  vkGlobalState* g = L->G;
  if (vmIsLongString(ts)) {
    linkLongString(g, ts);
    return;
  }
  ts->hash = h;
  uint32_t b = h & (g->strt.size - 1);
  ts->next = g->strt.hash[b];
  g->strt.hash[b] = ts;
  g->strt.nuse++;
  if (g->strt.nuse > g->strt.size && g->strt.size <= 0x3FFFFFFEu) vmResizeStringTable(L, g->strt.size * 2);
}

inline constexpr size_t kMaxAllocation = 0xFFFFFFFCu;
// The most text a block holds.
inline constexpr size_t kMaxBlockText = kMaxAllocation - sizeof(vkStringBlock) - 1;

size_t blockBytes(size_t capacity) { return sizeof(vkStringBlock) + capacity + 1; }

vkStringBlock* newBlock(vkState* L, size_t capacity) {
  auto* b = static_cast<vkStringBlock*>(vmRealloc(L, nullptr, 0, blockBytes(capacity)));
  b->owner = L->G->mainthread;
  b->capacity = capacity;
  b->used = 0;
  b->views = 0;
  b->heldBy = nullptr;
  b->heldLevel = 0;
  return b;
}

void releaseBlock(vkState* L, vkStringBlock* b) {
  if (--b->views == 0) vmRealloc(L, b, blockBytes(b->capacity), 0);
}

// A view record: a spare one when there is one. Spare records count as
// freed bytes, so the collector sees the same byte count either way.
inline vkStringView* allocView(vkState* L) {
  vkGlobalState* g = L->G;
  vkEngineRun& run = *g->run;
  if (vkGCObject* spare = run.spareViews) {
    run.spareViews = spare->next;
    g->nblocks += sizeof(vkStringView);
    return static_cast<vkStringView*>(spare);
  }
  return static_cast<vkStringView*>(vmRealloc(L, nullptr, 0, sizeof(vkStringView)));
}

// Makes [v] a view of [len] bytes (a long string) at [text] in [b] and links it.
inline vkString* initView(vkState* L, vkStringView* v, vkStringBlock* b, const char* text, size_t len) {
  v->tt = VK_TSTRING;
  v->marked = 0;
  v->shape = VK_STRING_VIEW;
  v->hash = 0;
  v->len = static_cast<uint32_t>(len);
  v->text = text;
  v->block = b;
  b->views++;
  linkLongString(L->G, v);
  return v;
}

// Copies the bytes of the [n] strings at [parts] to [dst]; returns the end.
inline char* copyParts(char* dst, const vkValue* parts, int n) {
  for (int j = 0; j < n; j++) {
    const vkString* s = vmStr(&parts[j]);
    size_t len = s->len;
    if (len == 1)
      *dst = *s->data();  // the byte at a time that texts are often built of: no library call
    else if (len != 0)
      std::memcpy(dst, s->data(), len);
    dst += len;
  }
  return dst;
}

ptrdiff_t callLevel(vkState* L) { return L->ci - L->baseCi; }

// The concatenation (a long string) written into the block of the first part, after it, or
// NULL when that is not its block's newest view, the block is full, or C
// code of a call level that is still running holds the first part's text.
vkString* appendInPlace(vkState* L, const vkValue* parts, int n, size_t total) {
  const vkString* left = vmStr(parts);
  if (!(left->shape & VK_STRING_VIEW)) return nullptr;
  const auto* v = static_cast<const vkStringView*>(left);
  vkStringBlock* b = v->block;
  char* end = b->text() + b->used;
  size_t add = total - left->len;
  if (v->text + left->len != end || add > b->capacity - b->used) return nullptr;
  if (b->heldBy && !(b->heldBy == L && callLevel(L) < b->heldLevel)) return nullptr;
  vkStringView* r = allocView(L);  // first, so that a failure leaves the block as it was
  copyParts(end, parts + 1, n - 1)[0] = '\0';
  b->used += add;
  b->heldBy = nullptr;
  return initView(L, r, b, v->text, total);
}

// The concatenation as the first view of a new block of [capacity] bytes.
vkString* newBlockView(vkState* L, const vkValue* parts, int n, size_t total, size_t capacity) {
  vkStringBlock* b = newBlock(L, capacity);
  vkStringView* r;
  try {
    r = allocView(L);
  } catch (...) {
    vmRealloc(L, b, blockBytes(capacity), 0);
    throw;
  }
  copyParts(b->text(), parts, n)[0] = '\0';
  b->used = total;
  return initView(L, r, b, b->text(), total);
}

}  // namespace

static_assert(kStringViewMin >= kLongStringMin, "views are long strings");

namespace {

// vmConcatStrings of any parts; kept out of line, so that its quick path
// saves no registers.
[[gnu::noinline]] vkString* concatParts(vkState* L, const vkValue* parts, int n, size_t total) {
  const vkString* left = vmStr(parts);
  if (total >= kStringViewMin && total <= kMaxBlockText && left->len >= kStringViewMin) {
    if (vkString* r = appendInPlace(L, parts, n, total)) return r;
    // A view as the left part is text being built: leave room to grow.
    size_t capacity = total;
    if (left->shape & VK_STRING_VIEW) capacity = total <= kMaxBlockText / 2 ? 2 * total : kMaxBlockText;
    return newBlockView(L, parts, n, total, capacity);
  }
  vkString* result = vmBeginString(L, total);
  copyParts(result->fillData(), parts, n);
  return vmEndString(L, result);
}

}  // namespace

vkString* vmConcatStrings(vkState* L, const vkValue* parts, int n, size_t total) {
  // The append of a few bytes to the newest view of a block with room, nobody
  // holding its text and a spare view record at hand: what appendInPlace
  // does, without a call, for the text built a piece at a time.
  const vkString* left = vmStr(parts);
  const vkString* right = vmStr(parts + 1);
  vkGlobalState* g = L->G;
  vkEngineRun& run = *g->run;
  if (n == 2 && (left->shape & VK_STRING_VIEW) && right->len <= 8 && left->len >= kStringViewMin &&
      run.spareViews != nullptr) {
    const auto* v = static_cast<const vkStringView*>(left);
    vkStringBlock* b = v->block;
    char* end = b->text() + b->used;
    size_t add = right->len;
    if (v->text + left->len == end && add <= b->capacity - b->used && b->heldBy == nullptr) {
      const char* src = right->data();
      if (add == 1)
        *end = *src;
      else
        for (size_t i = 0; i < add; i++) end[i] = src[i];
      end[add] = '\0';
      b->used += add;
      vkStringView* r = static_cast<vkStringView*>(run.spareViews);
      run.spareViews = r->next;
      g->nblocks += sizeof(vkStringView);
      return initView(L, r, b, v->text, total);
    }
  }
  return concatParts(L, parts, n, total);
}

bool vmStringIsTerminated(const vkString* s) { return !(s->shape & VK_STRING_VIEW) || s->data()[s->len] == '\0'; }

const char* vmStringTextCopy(const vkString* s, std::string& scratch) {
  if (vmStringIsTerminated(s)) return s->data();
  scratch.assign(s->data(), s->len);
  return scratch.c_str();
}

const char* vmStringText(vkState* L, vkString* s) {
  if (!(s->shape & VK_STRING_VIEW)) return s->data();
  auto* v = static_cast<vkStringView*>(s);
  vkStringBlock* b = v->block;
  if (v->text + s->len == b->text() + b->used) {
    // The newest view: no append may overwrite its NUL while [L]'s level runs.
    ptrdiff_t level = L ? callLevel(L) : -1;
    if (!b->heldBy) {
      b->heldBy = L ? L : b->owner;
      b->heldLevel = level;
    } else {
      if (b->heldBy != L) level = -1;
      if (level < b->heldLevel) b->heldLevel = level;
    }
    return v->text;
  }
  if (v->text[s->len] == '\0') return v->text;
  // An older view: its bytes move into a block of their own.
  vkState* A = L ? L : b->owner;
  vkStringBlock* nb = newBlock(A, s->len);
  std::memcpy(nb->text(), v->text, s->len);
  nb->text()[s->len] = '\0';
  nb->used = s->len;
  nb->views = 1;
  releaseBlock(A, b);
  v->block = nb;
  v->text = nb->text();
  return v->text;
}

vkString* vmBeginString(vkState* L, size_t len) {
  if (len > 0xFFFFFFFCu - sizeof(vkString) - 1) vmRaiseError(L, kErrOutOfMemory);
  vkString* ts = static_cast<vkString*>(vmRealloc(L, nullptr, 0, sizeof(vkString) + len + 1));
  ts->tt = VK_TSTRING;
  ts->marked = 0;
  ts->shape = VK_STRING_INLINE;
  ts->next = nullptr;
  ts->hash = 0;
  ts->len = static_cast<uint32_t>(len);
  ts->fillData()[len] = '\0';
  return ts;
}

vkString* vmEndString(vkState* L, vkString* ts) {
  if (vmIsLongString(ts)) {
    linkString(L, ts, 0);
    return ts;
  }
  uint32_t h = vmStringHash(ts->data(), ts->len);
  vkString* old = findString(L->G, ts->data(), ts->len, h);
  if (old) {
    vmFreeString(L, ts);
    return old;
  }
  linkString(L, ts, h);
  return ts;
}

vkString* vmNewString(vkState* L, const char* s, size_t len) {
  uint32_t h = 0;
  if (len < kLongStringMin) {
    h = vmStringHash(s, len);
    if (vkString* old = findString(L->G, s, len, h)) return old;
  }
  vkString* ts = vmBeginString(L, len);
  if (len) std::memcpy(ts->fillData(), s, len);  // [s] may be NULL for an empty string
  linkString(L, ts, h);
  return ts;
}

uint32_t vmHashLongString(vkString* s) {
  s->hash = vmStringHash(s->data(), s->len);
  s->shape |= VK_STRING_HASHED;
  return s->hash;
}

vkString* vmNewCString(vkState* L, const char* s) { return vmNewString(L, s, std::strlen(s)); }

void vmFreeString(vkState* L, vkString* s) {
  if (s->shape & VK_STRING_VIEW) {
    releaseBlock(L, static_cast<vkStringView*>(s)->block);
    vkEngineRun& run = *L->G->run;
    s->next = run.spareViews;
    run.spareViews = s;
    L->G->nblocks -= sizeof(vkStringView);
    return;
  }
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
