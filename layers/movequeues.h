// Move queues of the layers library: a script collects layer changes
// (moves, hides, removals, inserted objects, undos) in a queue and performs
// them all at once, the changed rectangles merged and recomposed once.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "engine/argcheck.h"

struct vkState;

// Entries one queue holds at most.
inline constexpr int32_t kMoveQueueCapacity = 512;

struct vkMoveEntry {
  int32_t kind = 0;    // an object type code
  vkObjectId object;   // the object, or the layer position in the number
  int32_t x = 0, y = 0;
  int32_t extra = 0;   // a frame, a layer position or a visibility
  bool hasRect = false;  // the entry changed a rectangle of the picture
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // inclusive
};

struct vkMoveQueue {
  vkObjectId id;  // a queue made for Nil has its own address as handle
  std::vector<vkMoveEntry> entries;
};

// The queues of a run, in creation order; records stay put.
struct vkMoveQueues {
  std::list<vkMoveQueue> queues;
};

// Registers AddMove, ClearMove, DoMove and TranslateLayer on their own (the
// layers library's table holds them too); 0 or an error code.
int OpenMoveQueueCommands(vkState* L);
// The move queue commands, for the layers library's command table.
int CmdAddMove(vkState* L);
int CmdClearMove(vkState* L);
int CmdDoMove(vkState* L);
int CmdTranslateLayer(vkState* L);

// Frees every move queue of the run.
void FreeMoveQueues(vkState* L);
