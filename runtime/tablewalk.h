// Recursive walks over nested tables (serialising and deep copies) keep the
// tables they are inside on a path: meeting one of them again is a cycle, and
// the path may not grow past kMaxTableNesting. Either ends the walk with 1135
// "Stack overflow!" instead of endless recursion. The deep copy of the system
// library's CopyTable lives here too.
#pragma once

#include <cstdint>
#include <vector>

struct vkState;

// Tables nested deeper than this are refused by the walks and by the reader
// of serialised tables.
inline constexpr int kMaxTableNesting = 512;

class vkTableWalk {
 public:
  // Enters the table at absolute stack [index], making room for three more
  // stack slots; false on a cycle, at the depth limit or without room.
  bool Enter(vkState* L, int index);
  void Leave() { path_.pop_back(); }

 private:
  std::vector<const void*> path_;  // outermost first
};

// Pushes a new table holding every pair of the table at [index], in traversal
// order, with values that are tables replaced by their own deep copies; keys
// and other values are shared, metatables are not copied. Returns 0, or 1135
// (nothing pushed) for a table that contains itself or nests too deep.
uint32_t CopyTableDeep(vkState* L, int index);
