// Reading and writing ESC "VKB" bytecode. The reader takes either byte
// order; the writer writes big-endian. Counts from the file never drive an
// allocation beyond what was read: arrays grow in steps as their elements
// arrive, so a count larger than the input ends with 1198.
#include "engine/bytecode.h"

#include <algorithm>
#include <cstring>

#include "base/errorcodes.h"
#include "engine/call.h"
#include "engine/errors.h"
#include "engine/function.h"
#include "engine/gc.h"
#include "engine/memory.h"
#include "base/numconv.h"
#include "engine/state.h"
#include "engine/strings.h"
#include "engine/vmapi.h"

// The stream.

void vmInitStream(vkInputStream* z, vkReader reader, void* data, const char* name) {
  z->n = 0;
  z->p = nullptr;
  z->reader = reader;
  z->data = data;
  z->name = name;
}

namespace {
int fill(vkInputStream* z) {
  size_t size = 0;
  const char* buff = z->reader(nullptr, z->data, &size);
  if (!buff || size == 0) return -1;
  z->n = size - 1;
  z->p = buff;
  return static_cast<unsigned char>(*z->p++);
}
}  // namespace

int vmStreamLookAhead(vkInputStream* z) {
  if (z->n == 0) {
    int c = fill(z);
    if (c == -1) return -1;
    z->n++;
    z->p--;
  }
  return static_cast<unsigned char>(*z->p);
}

size_t vmStreamRead(vkInputStream* z, void* b, size_t n) {
  char* out = static_cast<char*>(b);
  while (n) {
    if (z->n == 0 && vmStreamLookAhead(z) == -1) return n;
    size_t m = n < z->n ? n : z->n;
    std::memcpy(out, z->p, m);
    z->n -= m;
    z->p += m;
    out += m;
    n -= m;
  }
  return 0;
}

// The reader.

namespace {

// Elements are allocated at most this many at a time beyond what was read.
constexpr int kGrowStep = 1024;

struct LoadState {
  vkState* L;
  vkInputStream* z;
  vkLoadBuffer* buff;
  bool swap;
  int depth;
};

[[noreturn]] void fail(LoadState* S, int code) { vmRaiseError(S->L, code); }

void loadBlock(LoadState* S, void* b, size_t size) {
  if (vmStreamRead(S->z, b, size) != 0) fail(S, kErrUnexpectedEof);
}

// Reads a scalar of [size] bytes in the file's byte order.
void loadScalar(LoadState* S, void* b, size_t size) {
  unsigned char tmp[8];
  loadBlock(S, tmp, size);
  if (S->swap) std::reverse(tmp, tmp + size);
  std::memcpy(b, tmp, size);
}

int loadByte(LoadState* S) {
  unsigned char c;
  loadBlock(S, &c, 1);
  return c;
}

int32_t loadInt(LoadState* S) {
  int32_t x;
  loadScalar(S, &x, 4);
  return x;
}

int loadCount(LoadState* S) {
  int32_t x = loadInt(S);
  if (x < 0) fail(S, kErrBadInteger);
  return x;
}

double loadNumber(LoadState* S) {
  double x;
  loadScalar(S, &x, 8);
  return x;
}

char* reserve(LoadState* S, size_t n) {
  vkLoadBuffer* b = S->buff;
  if (n > b->size) {
    size_t ns = n < 32 ? 32 : n;
    b->buffer = static_cast<char*>(vmRealloc(S->L, b->buffer, b->size, ns));
    b->size = ns;
  }
  return b->buffer;
}

vkString* loadString(LoadState* S) {
  uint32_t n;
  loadScalar(S, &n, 4);
  if (n == 0) return nullptr;
  // Read in steps so that a length beyond the input fails before it is allocated.
  size_t have = 0;
  while (have < n) {
    size_t step = std::min<size_t>(n - have, have < 65536 ? 65536 : have);
    char* b = reserve(S, have + step);
    loadBlock(S, b + have, step);
    have += step;
  }
  return vmNewString(S->L, S->buff->buffer, n - 1);
}

// Grows [arr] (with [size] counted elements) by up to kGrowStep elements or
// doubling, towards [n]; new elements are set with [init].
template <class T, class Init>
void growTo(LoadState* S, T*& arr, int& size, int n, Init init) {
  int ns = size + std::max(size, kGrowStep);
  if (ns > n) ns = n;
  arr = static_cast<T*>(vmRealloc(S->L, arr, static_cast<size_t>(size) * sizeof(T), static_cast<size_t>(ns) * sizeof(T)));
  for (int j = size; j < ns; j++) init(arr[j]);
  size = ns;
}

// Reads [n] 4-byte words into [arr] with [size] counted elements.
template <class T>
void loadWords(LoadState* S, T*& arr, int& size, int n) {
  static_assert(sizeof(T) == 4);
  int filled = 0;
  while (filled < n) {
    growTo(S, arr, size, n, [](T& x) { x = 0; });
    if (S->swap) {
      for (; filled < size; filled++) loadScalar(S, &arr[filled], 4);
    } else {
      loadBlock(S, arr + filled, static_cast<size_t>(size - filled) * 4);
      filled = size;
    }
  }
}

vkProto* loadFunction(LoadState* S, vkString* parentSource) {
  if (++S->depth > kMaxFunctionNesting) fail(S, kErrBadBytecode);
  vkState* L = S->L;
  vkProto* f = vmNewProto(L);
  f->source = loadString(S);
  if (!f->source) f->source = parentSource;
  f->lineDefined = loadCount(S);
  f->nups = static_cast<uint8_t>(loadByte(S));
  f->numparams = static_cast<uint8_t>(loadByte(S));
  f->isVararg = static_cast<uint8_t>(loadByte(S));
  f->maxstacksize = static_cast<uint8_t>(loadByte(S));

  loadWords(S, f->lineinfo, f->sizelineinfo, loadCount(S));

  int n = loadCount(S);
  for (int j = 0; j < n; j++) {
    if (j == f->sizelocvars)
      growTo(S, f->locvars, f->sizelocvars, n, [](vkLocVar& v) { v = {nullptr, 0, 0}; });
    f->locvars[j].varname = loadString(S);
    f->locvars[j].startpc = loadCount(S);
    f->locvars[j].endpc = loadCount(S);
  }

  n = loadCount(S);
  if (n != 0 && n != f->nups) fail(S, kErrBadUpvalues);
  for (int j = 0; j < n; j++) {
    if (j == f->sizeupvalues) growTo(S, f->upvalues, f->sizeupvalues, n, [](vkString*& s) { s = nullptr; });
    f->upvalues[j] = loadString(S);
  }

  n = loadCount(S);
  for (int j = 0; j < n; j++) {
    if (j == f->sizek) growTo(S, f->k, f->sizek, n, [](vkValue& v) { vmSetNil(&v); });
    int t = loadByte(S);
    switch (t) {
      case VK_TNUMBER: vmSetNumber(&f->k[j], loadNumber(S)); break;
      case VK_TSTRING: {
        vkString* s = loadString(S);
        if (!s) fail(S, kErrBadConstant);
        vmSetString(&f->k[j], s);
        break;
      }
      case VK_TNIL: vmSetNil(&f->k[j]); break;
      default: fail(S, kErrBadConstant);
    }
  }

  n = loadCount(S);
  for (int j = 0; j < n; j++) {
    if (j == f->sizep) growTo(S, f->p, f->sizep, n, [](vkProto*& p) { p = nullptr; });
    f->p[j] = loadFunction(S, f->source);
  }

  loadWords(S, f->code, f->sizecode, loadCount(S));
  if (!vmCheckCode(f)) fail(S, kErrBadBytecode);
  S->depth--;
  return f;
}

void loadHeader(LoadState* S) {
  for (unsigned char want : kBytecodeSignature) {
    unsigned char c;
    if (vmStreamRead(S->z, &c, 1) != 0) fail(S, kErrUnexpectedEof);
    if (c != want) fail(S, kErrBadSignature);
  }
  int endian = loadByte(S);
  S->swap = endian != 1;  // the host is little-endian
  static const unsigned char kSizes[8] = {4, 4, 4, 6, 8, 9, 9, 8};
  for (unsigned char want : kSizes)
    if (loadByte(S) != want) fail(S, kErrTypeMismatch);
  if (vkDoubleToInt32(loadNumber(S)) != 31415926) fail(S, kErrNumberFormat);
}

}  // namespace

vkProto* vmUndump(vkState* L, vkInputStream* z, vkLoadBuffer* buff) {
  LoadState S{L, z, buff, false, 0};
  loadHeader(&S);
  return loadFunction(&S, nullptr);
}

namespace {

struct ParserArgs {
  vkInputStream* z;
  vkLoadBuffer buff;
};

void protectedParser(vkState* L, void* ud) {
  ParserArgs* p = static_cast<ParserArgs*>(ud);
  vmCheckGC(L);
  vkProto* tf = vmUndump(L, p->z, &p->buff);
  vkClosure* cl = vmNewScriptClosure(L, tf->nups, &L->globals);
  cl->p = tf;
  // The main function's upvalues exist, holding nil, so that its upvalue
  // instructions stay in range.
  for (int j = 0; j < tf->nups; j++) cl->upvals()[j] = vmNewClosedUpvalue(L);
  vmEnsureStack(L, 1);
  vmSetClosure(L->top, cl);
  L->top++;
}

}  // namespace

int vmLoad(vkState* L, vkReader reader, void* data, const char* chunkname) {
  vkInputStream z;
  vmInitStream(&z, reader, data, chunkname ? chunkname : "?");
  vmStreamLookAhead(&z);
  ParserArgs p{&z, {nullptr, 0}};
  int status = vmCallProtected(L, protectedParser, &p, vmSaveStack(L, L->top), L->errfunc);
  vmRealloc(L, p.buff.buffer, p.buff.size, 0);
  return status;
}

namespace {
struct MemoryInput {
  const char* bytes;
  size_t size;
};
const char* memoryReader(vkState*, void* ud, size_t* size) {
  MemoryInput* m = static_cast<MemoryInput*>(ud);
  if (m->size == 0) return nullptr;
  *size = m->size;
  m->size = 0;
  return m->bytes;
}
}  // namespace

int vmLoadBuffer(vkState* L, const void* bytes, size_t size, const char* chunkname) {
  MemoryInput m{static_cast<const char*>(bytes), size};
  return vmLoad(L, memoryReader, &m, chunkname);
}

// The writer.

namespace {

struct DumpState {
  vkState* L;
  vkWriter w;
  void* data;
};

void dumpBlock(DumpState* D, const void* b, size_t n) { D->w(D->L, b, n, D->data); }

// Writes a scalar big-endian.
void dumpScalar(DumpState* D, const void* b, size_t size) {
  unsigned char tmp[8];
  std::memcpy(tmp, b, size);
  std::reverse(tmp, tmp + size);  // the host is little-endian
  dumpBlock(D, tmp, size);
}

void dumpByte(DumpState* D, int x) {
  unsigned char c = static_cast<unsigned char>(x);
  dumpBlock(D, &c, 1);
}

void dumpInt(DumpState* D, int32_t x) { dumpScalar(D, &x, 4); }
void dumpNumber(DumpState* D, double x) { dumpScalar(D, &x, 8); }

void dumpString(DumpState* D, const vkString* s) {
  if (!s) {
    dumpInt(D, 0);
    return;
  }
  uint32_t n = s->len + 1;
  dumpScalar(D, &n, 4);
  dumpBlock(D, s->data(), n);
}

void dumpFunction(DumpState* D, const vkProto* f, const vkString* parentSource) {
  dumpString(D, f->source == parentSource ? nullptr : f->source);
  dumpInt(D, f->lineDefined);
  dumpByte(D, f->nups);
  dumpByte(D, f->numparams);
  dumpByte(D, f->isVararg);
  dumpByte(D, f->maxstacksize);
  dumpInt(D, f->sizelineinfo);
  for (int j = 0; j < f->sizelineinfo; j++) dumpInt(D, f->lineinfo[j]);
  dumpInt(D, f->sizelocvars);
  for (int j = 0; j < f->sizelocvars; j++) {
    dumpString(D, f->locvars[j].varname);
    dumpInt(D, f->locvars[j].startpc);
    dumpInt(D, f->locvars[j].endpc);
  }
  dumpInt(D, f->sizeupvalues);
  for (int j = 0; j < f->sizeupvalues; j++) dumpString(D, f->upvalues[j]);
  dumpInt(D, f->sizek);
  for (int j = 0; j < f->sizek; j++) {
    const vkValue* o = &f->k[j];
    dumpByte(D, o->tt);
    if (o->tt == VK_TNUMBER) dumpNumber(D, o->v.n);
    if (o->tt == VK_TSTRING) dumpString(D, vmStr(o));
  }
  dumpInt(D, f->sizep);
  for (int j = 0; j < f->sizep; j++) dumpFunction(D, f->p[j], f->source);
  dumpInt(D, f->sizecode);
  for (int j = 0; j < f->sizecode; j++) dumpScalar(D, &f->code[j], 4);
}

}  // namespace

void vmDump(vkState* L, const vkProto* p, vkWriter w, void* data) {
  DumpState D{L, w, data};
  dumpBlock(&D, kBytecodeSignature, 4);
  static const unsigned char kHeader[9] = {0, 4, 4, 4, 6, 8, 9, 9, 8};
  dumpBlock(&D, kHeader, sizeof kHeader);
  dumpNumber(&D, kBytecodeTestNumber);
  dumpFunction(&D, p, nullptr);
}

int vmDumpFunction(vkState* L, int index, vkWriter w, void* data) {
  if (vmType(L, index) != VK_TFUNCTION) return kErrNotUserFunction;
  vmPushValue(L, index);
  vkClosure* cl = vmCl(L->top - 1);
  L->top--;
  if (cl->isC) return kErrNotUserFunction;
  vmDump(L, cl->p, w, data);
  return 0;
}
