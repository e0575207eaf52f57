// The ESC "VKB" bytecode format: the buffered input stream that feeds the
// reader, the reader (either byte order) that builds prototypes, the writer
// (big-endian), and the code verifier every loaded function passes. The
// interpreter trusts verified code, so the verifier guards memory safety.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/object.h"

// Supplies the next block of input: NULL or size 0 ends it.
typedef const char* (*vkReader)(vkState* L, void* ud, size_t* size);
// Receives the bytes of each field in file order.
typedef int (*vkWriter)(vkState* L, const void* p, size_t size, void* ud);

struct vkInputStream {
  size_t n;          // bytes left in the current block
  const char* p;     // next byte
  vkReader reader;
  void* data;        // the reader's user data
  const char* name;  // chunk name
};

struct vkLoadBuffer {
  char* buffer;
  size_t size;
};

inline constexpr unsigned char kBytecodeSignature[4] = {27, 'V', 'K', 'B'};
inline constexpr double kBytecodeTestNumber = 31415926.535897933;
// Nested function records a file may hold inside each other.
inline constexpr int kMaxFunctionNesting = 200;

void vmInitStream(vkInputStream* z, vkReader reader, void* data, const char* name);
// Next byte without consuming it, -1 at the end.
int vmStreamLookAhead(vkInputStream* z);
// Reads [n] bytes into [b]; returns the number that could not be read.
size_t vmStreamRead(vkInputStream* z, void* b, size_t n);

// Loads a chunk and pushes a script closure of its main function; returns 0
// or the error code (nothing pushed). A NULL name means "?".
int vmLoad(vkState* L, vkReader reader, void* data, const char* chunkname);
// Loads from a block of memory.
int vmLoadBuffer(vkState* L, const void* bytes, size_t size, const char* chunkname);

// Reads the header and the main function record.
vkProto* vmUndump(vkState* L, vkInputStream* z, vkLoadBuffer* buff);

// Writes [p] with the header, big-endian.
void vmDump(vkState* L, const vkProto* p, vkWriter w, void* data);
// Writes the script function at stack [index]; 1324 for a command.
int vmDumpFunction(vkState* L, int index, vkWriter w, void* data);

// The verifier: non-zero when [p] is accepted; also sets its frame size.
int vmCheckCode(vkProto* p);
// The verifier's pass up to [lastpc], tracking register [reg] (255 = none):
// the word of the instruction that last set it, or 0 when rejected.
uint32_t vmSymbolicExec(const vkProto* p, int lastpc, int reg);
