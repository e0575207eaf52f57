// Byte-order readers and writers over ReadStreamByte and WriteStreamByte. One
// routine per direction serves both orders and both widths.
#include "io/byteorder.h"

#include <cstdio>

#include "io/filehandles.h"

namespace {

// Reads [count] bytes, most significant first when [bigEndian]; each byte
// (-1 when missing) is ORed in at its place, as unsigned 32-bit arithmetic.
uint32_t ReadWord(vkFile* file, int count, bool bigEndian) {
  uint32_t word = 0;
  for (int i = 0; i < count; i++) {
    int shift = 8 * (bigEndian ? count - 1 - i : i);
    word |= static_cast<uint32_t>(ReadStreamByte(file)) << shift;
  }
  return word;
}

int WriteWord(vkFile* file, uint32_t value, int count, bool bigEndian) {
  int ok = 1;
  for (int i = 0; i < count; i++) {
    int shift = 8 * (bigEndian ? count - 1 - i : i);
    if (WriteStreamByte(file, static_cast<int>((value >> shift) & 0xFF)) == EOF) ok = 0;
  }
  return ok;
}

}  // namespace

int32_t ReadBE32(vkFile* file) { return static_cast<int32_t>(ReadWord(file, 4, true)); }
int32_t ReadLE32(vkFile* file) { return static_cast<int32_t>(ReadWord(file, 4, false)); }
int32_t ReadBE16(vkFile* file) { return static_cast<int16_t>(ReadWord(file, 2, true)); }
int32_t ReadLE16(vkFile* file) { return static_cast<int16_t>(ReadWord(file, 2, false)); }

int WriteBE32(vkFile* file, uint32_t value) { return WriteWord(file, value, 4, true); }
int WriteLE32(vkFile* file, uint32_t value) { return WriteWord(file, value, 4, false); }
int WriteBE16(vkFile* file, uint32_t value) { return WriteWord(file, value, 2, true); }
int WriteLE16(vkFile* file, uint32_t value) { return WriteWord(file, value, 2, false); }

bool StreamPastEnd(const vkFile* file) { return file->pastEnd != 0; }
