// The quicksort of array tables: median of three, the pivot parked at
// high - 1, scans from both ends, recursion into the smaller part only.
#include "runtime/sort.h"

#include "base/errorcodes.h"
#include "engine/vmapi.h"

namespace {

struct Sorter {
  vkState* L;
  int table;  // absolute stack index
  int order;  // absolute stack index or 0

  void get(int i) { vmRawGetI(L, table, i); }
  void set(int i) { vmRawSetI(L, table, i); }  // pops the value

  // True when the value at stack [a] comes before the one at [b].
  bool before(int a, int b) {
    if (order == 0) return vmLessThan(L, a, b, 0) != 0;
    vmPushValue(L, order);
    vmPushValue(L, a - 1);
    vmPushValue(L, b - 2);
    vmCall(L, 2, 1);
    bool result = vmType(L, -1) == VK_TNUMBER && vmToNumber(L, -1) != 0;
    vmSetTop(L, -2);
    return result;
  }

  // Swaps items i and j, whose values are on the stack as -2 (item i) and -1.
  void swapTop(int i, int j) {
    set(i);  // item i takes the value that was item j
    set(j);
  }

  uint32_t sort(int lo, int up) {
    while (lo < up) {
      get(lo);
      get(up);
      if (before(-1, -2)) swapTop(lo, up);
      else vmSetTop(L, -3);
      if (up - lo == 1) break;
      int i = (lo + up) / 2;
      get(i);
      get(lo);
      if (before(-2, -1)) {
        swapTop(i, lo);
      } else {
        vmSetTop(L, -2);
        get(up);
        if (before(-1, -2)) swapTop(i, up);
        else vmSetTop(L, -3);
      }
      if (up - lo == 2) break;
      get(i);  // the pivot stays on the stack during the scans
      vmPushValue(L, -1);
      get(up - 1);
      swapTop(i, up - 1);
      i = lo;
      int j = up - 1;
      for (;;) {
        for (;;) {
          if (++i > up) return kErrInvalidOrder;
          get(i);
          if (!before(-1, -2)) break;
          vmSetTop(L, -2);
        }
        for (;;) {
          if (--j < lo) return kErrInvalidOrder;
          get(j);
          if (!before(-3, -1)) break;
          vmSetTop(L, -2);
        }
        if (j < i) {
          vmSetTop(L, -4);  // both scanned values and the pivot
          break;
        }
        swapTop(i, j);
      }
      get(up - 1);
      get(i);
      swapTop(up - 1, i);
      // Recurse into the smaller part, loop on the larger.
      uint32_t code;
      if (i - lo < up - i) {
        code = sort(lo, i - 1);
        lo = i + 1;
      } else {
        code = sort(i + 1, up);
        up = i - 1;
      }
      if (code != 0) return code;
    }
    return 0;
  }
};

}  // namespace

int CountArrayItems(vkState* L, int index, bool stopAtEmptyString) {
  int n = 0;
  for (;; n++) {
    vmRawGetI(L, index, n);
    bool end = vmType(L, -1) == VK_TNIL ||
               (stopAtEmptyString && vmType(L, -1) == VK_TSTRING && vmStrLen(L, -1) == 0);
    vmSetTop(L, -2);
    if (end) return n;
  }
}

uint32_t SortArrayTable(vkState* L, int index, int order, int low, int high) {
  int top = vmGetTop(L);
  if (index < 0 && index > VK_REGISTRYINDEX) index = top + index + 1;
  if (order < 0 && order > VK_REGISTRYINDEX) order = top + order + 1;
  Sorter s{L, index, order};
  uint32_t code = s.sort(low, high);
  vmSetTop(L, top);
  return code;
}
