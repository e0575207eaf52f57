// The nested-table walk guard and the deep copy of tables.
#include "runtime/tablewalk.h"

#include <algorithm>

#include "engine/vmapi.h"
#include "base/errorcodes.h"

bool vkTableWalk::Enter(vkState* L, int index) {
  if (static_cast<int>(path_.size()) >= kMaxTableNesting || !vmCheckStack(L, 3)) return false;
  const void* table = vmToPointer(L, index);
  if (std::find(path_.begin(), path_.end(), table) != path_.end()) return false;
  path_.push_back(table);
  return true;
}

namespace {

// Pushes the copy of the table at absolute [index]; on failure the stack is
// as it was.
uint32_t CopyInto(vkState* L, int index, vkTableWalk* walk) {
  if (!walk->Enter(L, index)) return kErrStackOverflow;
  int base = vmGetTop(L);
  vmNewTable(L);
  int copy = base + 1;
  vmPushNil(L);
  while (vmNext(L, index)) {  // copy, key, value
    if (vmType(L, -1) == VK_TTABLE) {
      uint32_t code = CopyInto(L, vmGetTop(L), walk);
      if (code != 0) {
        vmSetTop(L, base);
        return code;
      }
    } else {
      vmPushValue(L, -1);
    }
    vmPushValue(L, -3);
    vmInsert(L, -2);  // copy, key, value, key, value's copy
    vmSetTable(L, copy);
    vmSetTop(L, -2);
  }
  walk->Leave();
  return 0;
}

}  // namespace

uint32_t CopyTableDeep(vkState* L, int index) {
  if (index < 0 && index > VK_REGISTRYINDEX) index = vmGetTop(L) + index + 1;
  vkTableWalk walk;
  return CopyInto(L, index, &walk);
}
