// Big- and little-endian words on buffered files, a byte at a time. A byte
// missing at the end reads as -1 and its bits enter the word, as the file
// formats always decoded them; it also sets the handle's sticky pastEnd flag,
// which readers of file formats check to refuse a truncated file.
#pragma once

#include <cstdint>

struct vkFile;

int32_t ReadBE32(vkFile* file);
int32_t ReadLE32(vkFile* file);
// 16-bit words, sign-extended.
int32_t ReadBE16(vkFile* file);
int32_t ReadLE16(vkFile* file);

// Writers: 1 when every byte was written, else 0.
int WriteBE32(vkFile* file, uint32_t value);
int WriteLE32(vkFile* file, uint32_t value);
int WriteBE16(vkFile* file, uint32_t value);
int WriteLE16(vkFile* file, uint32_t value);

// True when a read on [file] has asked for bytes past its end.
bool StreamPastEnd(const vkFile* file);
