// Deep copies of tables: nested tables are copied, other values and keys
// shared, and tables that contain themselves or nest too deep are refused
// instead of recursing without end.
#include "runtime/tablewalk.h"

#include <gtest/gtest.h>

#include "support/dostest.h"

using namespace dostest;

namespace {

class TableWalk : public DosTest {
 protected:
  // Pushes a chain of [depth] tables, each under key 1 of its parent.
  void PushChain(int depth) {
    vmNewTable(L);
    vmPushValue(L, -1);
    for (int i = 1; i < depth; i++) {
      vmNewTable(L);
      vmPushNumber(L, 1);
      vmPushValue(L, -2);
      vmSetTable(L, -4);
      vmRemove(L, -2);
    }
    vmSetTop(L, -2);
  }
  void Get(int t, const char* key) {
    vmPushString(L, key);
    vmGetTable(L, t);
  }
};

TEST_F(TableWalk, CopiesNestedTablesAndSharesTheRest) {
  vmNewTable(L);  // 1: source
  vmPushString(L, "inner");
  vmNewTable(L);
  vmPushString(L, "n");
  vmPushNumber(L, 4);
  vmSetTable(L, -3);
  vmSetTable(L, 1);
  vmPushString(L, "f");
  vmPushCClosure(L, [](vkState*) { return 0; }, 0);
  vmSetTable(L, 1);
  vmPushString(L, "again");  // the same table twice is copied twice
  Get(1, "inner");
  vmSetTable(L, 1);

  ASSERT_EQ(CopyTableDeep(L, 1), 0u);  // 2: copy
  ASSERT_EQ(vmType(L, 2), VK_TTABLE);
  EXPECT_NE(vmToPointer(L, 1), vmToPointer(L, 2));
  Get(1, "inner");  // 3
  Get(2, "inner");  // 4
  Get(2, "again");  // 5
  EXPECT_NE(vmToPointer(L, 3), vmToPointer(L, 4));
  EXPECT_NE(vmToPointer(L, 4), vmToPointer(L, 5));
  Get(4, "n");
  EXPECT_EQ(vmToNumber(L, -1), 4);
  Get(1, "f");
  Get(2, "f");
  EXPECT_TRUE(vmRawEqual(L, -1, -2));
}

TEST_F(TableWalk, RefusesCyclesAndDeepNesting) {
  struct Case {
    const char* what;
    int depth;      // chain length, 0 for a cycle
    uint32_t code;
  };
  for (const Case& c : {Case{"cycle", 0, 1135}, Case{"deepest allowed", kMaxTableNesting, 0},
                        Case{"too deep", kMaxTableNesting + 1, 1135}}) {
    SCOPED_TRACE(c.what);
    vmSetTop(L, 0);
    if (c.depth == 0) {
      PushChain(3);
      Get(1, "x");  // nil; make the innermost table point back at the outermost
      vmSetTop(L, 1);
      vmPushNumber(L, 1);
      vmGetTable(L, 1);
      vmPushNumber(L, 1);
      vmGetTable(L, 2);
      vmPushString(L, "back");
      vmPushValue(L, 1);
      vmSetTable(L, 3);
      vmSetTop(L, 1);
    } else {
      PushChain(c.depth);
    }
    EXPECT_EQ(CopyTableDeep(L, 1), c.code);
  }
}

}  // namespace
