// Tables through their raw operations: keys of every type, the 0-based and
// nil keys, node placement and rehash (which fix traversal order), and the
// table errors.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/errorcodes.h"
#include "engine/errors.h"
#include "engine/strings.h"
#include "engine/table.h"
#include "support/vmtest.h"

namespace {

using vktest::EngineTest;

class TableTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    vmNewTable(L);  // keeps the table reachable at stack index 1
    t = vmTab(L->top - 1);
  }
  vkValue num(double d) {
    vkValue v;
    vmSetNumber(&v, d);
    return v;
  }
  vkValue str(const char* s) {
    vkValue v;
    vmSetString(&v, vmNewCString(L, s));
    return v;
  }
  vkValue boolean(int b) {
    vkValue v;
    vmSetBool(&v, b);
    return v;
  }
  void set(vkValue key, double value) { vmSetNumber(vmTableSet(L, t, &key), value); }
  const vkValue* get(vkValue key) { return vmTableGet(t, &key); }
  // Keys in traversal order, as text.
  std::vector<std::string> order() {
    std::vector<std::string> keys;
    vkValue kv[2];
    vmSetNil(&kv[0]);
    while (vmTableNext(L, t, kv)) {
      if (kv[0].tt == VK_TNUMBER) {
        char buf[kNumberTextMax];
        vmNumberToText(kv[0].v.n, buf);
        keys.push_back(buf);
      } else if (kv[0].tt == VK_TSTRING) {
        keys.push_back(vmStr(&kv[0])->data());
      } else {
        keys.push_back(kv[0].tt == VK_TBOOLEAN ? (kv[0].v.b ? "true" : "false") : "?");
      }
    }
    return keys;
  }
  vkTable* t = nullptr;
};

TEST_F(TableTest, GetAndSetByKeyType) {
  struct Case {
    vkValue key;
    double value;
  };
  std::vector<Case> cases = {{num(1), 10},  {num(0), 11},       {num(-1), 12},   {num(2.5), 13},
                             {num(1e10), 14}, {str("name"), 15}, {str(""), 16},   {boolean(1), 17},
                             {boolean(0), 18}, {num(-0.0), 11}, {num(2147483647.0), 19},
                             {num(-2147483648.0), 20}, {num(2147483648.0), 21}, {num(4294967297.0), 22},
                             {num(INFINITY), 23}, {num(-INFINITY), 24}};
  for (const Case& c : cases) set(c.key, c.value);
  for (const Case& c : cases) {
    const vkValue* v = get(c.key);
    ASSERT_EQ(v->tt, VK_TNUMBER);
    EXPECT_EQ(v->v.n, c.value);
  }
  EXPECT_EQ(get(num(3)), &vkNilObject);
  EXPECT_EQ(get(str("other")), &vkNilObject);
  EXPECT_EQ(get(num(NAN)), &vkNilObject);
}

TEST_F(TableTest, NilKeyIsTheNumberZero) {
  vkValue nil;
  vmSetNil(&nil);
  set(nil, 5);
  EXPECT_EQ(get(num(0))->v.n, 5);
  EXPECT_EQ(get(nil)->v.n, 5);
  set(num(0), 6);
  EXPECT_EQ(get(nil)->v.n, 6);
}

TEST_F(TableTest, DenseKeysEndInTheArrayPart) {
  for (int k = 1; k <= 100; k++) set(num(k), k);
  EXPECT_GE(t->sizearray, 100);
  for (int k = 1; k <= 100; k++) EXPECT_EQ(t->array[k - 1].v.n, k);
}

TEST_F(TableTest, SparseKeyStaysInTheHashPart) {
  for (int k : {1, 2, 4, 1000}) set(num(k), k);
  EXPECT_EQ(t->sizearray, 4);
  EXPECT_EQ(get(num(1000))->v.n, 1000);
  EXPECT_EQ(order(), (std::vector<std::string>{"1", "2", "4", "1000"}));
}

TEST_F(TableTest, OnlyIntegerKeysUpToTheArraySizeReadTheArrayPart) {
  for (int k = 1; k <= 4; k++) set(num(k), k);
  ASSERT_EQ(t->sizearray, 4);
  struct Case {
    double key;
    bool inArray;
  } cases[] = {{1, true},     {4, true},        {5, false},  {0, false},   {-0.0, false},
               {-1, false},   {0.5, false},     {3.5, false}, {4.5, false}, {NAN, false},
               {1e300, false}, {-1e300, false}, {4294967297.0, false}};
  for (const Case& c : cases) {
    const vkValue* v = get(num(c.key));
    EXPECT_EQ(v >= t->array && v < t->array + t->sizearray, c.inArray) << c.key;
    if (c.inArray) {
      EXPECT_EQ(v->v.n, c.key);
    } else {
      EXPECT_EQ(v, &vkNilObject) << c.key;
    }
  }
}

TEST_F(TableTest, TraversalSkipsEmptyArraySlotsAndGoesOnIntoTheHashPart) {
  vmSetTable(L->top - 1, vmTableNew(L, 8, 2));
  t = vmTab(L->top - 1);
  for (double k : {2.0, 8.0, 3.5, 9.0}) set(num(k), k);
  set(str("x"), 1);
  ASSERT_EQ(t->sizearray, 8);
  EXPECT_EQ(order(), (std::vector<std::string>{"2", "8", "3.5", "x", "9"}));
}

TEST_F(TableTest, ArrayThenHashTraversal) {
  set(num(1), 10);
  set(num(2), 20);
  set(str("x"), 1);
  EXPECT_EQ(order(), (std::vector<std::string>{"1", "2", "x"}));
}

TEST_F(TableTest, TraversalOrderOfAFixedInsertionSequence) {
  // Node placement (main positions, collisions, the free pointer) and each
  // rehash decide this order; it is what scripts iterating with next see.
  const char* names[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta", "iota", "kappa"};
  for (int j = 0; j < 10; j++) set(str(names[j]), j);
  set(num(0), 1);
  set(num(3), 1);
  set(num(1), 1);
  set(num(-7), 1);
  set(num(0.5), 1);
  set(boolean(1), 1);
  std::vector<std::string> golden = {"1",     "3",    "theta", "beta", "0",     "kappa", "gamma", "epsilon",
                                     "eta",   "zeta", "true",  "0.5",  "alpha", "iota",  "-7",    "delta"};
  EXPECT_EQ(order(), golden);
}

TEST_F(TableTest, RehashGrowsAndKeepsEveryEntry) {
  for (int j = 0; j < 1000; j++) set(str(("k" + std::to_string(j)).c_str()), j);
  EXPECT_EQ(t->lsizenode, 10);  // 1000 entries need 1024 nodes
  for (int j = 0; j < 1000; j++) EXPECT_EQ(get(str(("k" + std::to_string(j)).c_str()))->v.n, j);
  EXPECT_EQ(order().size(), 1000u);
}

TEST_F(TableTest, NextWithAnUnknownKeyRaises1206) {
  set(str("a"), 1);
  vkValue kv[2] = {str("never"), {}};
  struct Args {
    vkTable* t;
    vkValue* kv;
  } args{t, kv};
  int status = vmRunProtected(
      L, [](vkState* L, void* ud) { auto* a = static_cast<Args*>(ud); vmTableNext(L, a->t, a->kv); }, &args);
  EXPECT_EQ(status, kErrInvalidNextKey);
}

TEST_F(TableTest, NaNKeyForWritingRaises1208) {
  int status = vmRunProtected(
      L,
      [](vkState* L, void* ud) {
        vkValue k;
        vmSetNumber(&k, NAN);
        vmTableSet(L, static_cast<vkTable*>(ud), &k);
      },
      t);
  EXPECT_EQ(status, kErrTableIndexNaN);
}

TEST_F(TableTest, HashLogSizeAbove24Raises1207) {
  int status = vmRunProtected(L, [](vkState* L, void*) { vmTableNew(L, 0, 25); }, nullptr);
  EXPECT_EQ(status, kErrTableOverflow);
}

TEST_F(TableTest, RawSetClearsTheMetamethodAbsenceCache) {
  EXPECT_EQ(t->flags, 0xFF);
  set(str("x"), 1);
  EXPECT_EQ(t->flags, 0);
}
}  // namespace
