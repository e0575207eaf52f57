// The memblock library: raw memory blocks that scripts fill, peek and poke
// in big-endian byte order, copy between and dump, named by number or by
// the handle AllocMem returns.
#pragma once

#include <cstdint>
#include <list>
#include <memory>

#include "engine/argcheck.h"

struct vkState;
struct vkCommandDef;

struct vkMemBlock {
  vkObjectId id;
  int32_t size = 0;
  std::unique_ptr<uint8_t[]> data;  // size bytes, cleared when allocated
};

extern const vkCommandDef kMemBlockCommands[];

// Registers the "memblock" commands into the table on top of the stack and
// in the library registry; 0 or 1000.
int OpenMemBlockLibrary(vkState* L);

// The block named by [id]: 0 and *[out], or 1180 (number as error number)
// or 1041 for a handle value that names no block.
uint32_t FindMemBlock(vkState* L, const vkObjectId& id, vkMemBlock** out);
int CountMemBlocks(vkState* L);
// Frees every block (shutdown).
void FreeAllMemBlocks(vkState* L);
