// The list sort shared by Sort and ReadDirectory: random lists of every small
// size against std::sort, strings without regard to case, an order function,
// the empty-string terminator, and order functions that contradict themselves.
#include "runtime/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/dostest.h"

using namespace dostest;

namespace {

class Sort : public DosTest {
 protected:
  void PushList(const std::vector<double>& items) {
    vmNewTable(L);
    for (size_t i = 0; i < items.size(); i++) {
      vmPushNumber(L, items[i]);
      vmRawSetI(L, -2, static_cast<int>(i));
    }
  }
  std::vector<double> Numbers(int t, int n) {
    std::vector<double> out;
    for (int i = 0; i < n; i++) {
      vmRawGetI(L, t, i);
      out.push_back(vmToNumber(L, -1));
      vmSetTop(L, -2);
    }
    return out;
  }
  std::vector<std::string> Strings(int t, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; i++) {
      vmRawGetI(L, t, i);
      out.push_back(vmToString(L, -1));
      vmSetTop(L, -2);
    }
    return out;
  }
};

int Descending(vkState* L) {
  vmPushNumber(L, vmToNumber(L, 1) > vmToNumber(L, 2) ? 1 : 0);
  return 1;
}
int Always(vkState* L) {
  vmPushNumber(L, 1);
  return 1;
}

TEST_F(Sort, RandomListsMatchStdSortBothWays) {
  std::mt19937 rng(7);
  for (int n = 0; n <= 40; n++) {
    for (int round = 0; round < 3; round++) {
      SCOPED_TRACE(n);
      std::vector<double> items(n);
      for (double& d : items) d = static_cast<double>(rng() % (round == 0 ? 4 : 1000));
      vmSetTop(L, 0);
      PushList(items);
      vmPushCClosure(L, Descending, 0);
      ASSERT_EQ(SortArrayTable(L, 1, 0, 0, n - 1), 0u);
      std::vector<double> expect = items;
      std::sort(expect.begin(), expect.end());
      EXPECT_EQ(Numbers(1, n), expect);
      ASSERT_EQ(SortArrayTable(L, 1, 2, 0, n - 1), 0u);
      std::reverse(expect.begin(), expect.end());
      EXPECT_EQ(Numbers(1, n), expect);
      EXPECT_EQ(vmGetTop(L), 2);
    }
  }
}

TEST_F(Sort, StringsIgnoreCaseAndTheListEndsAtTheEmptyString) {
  vmNewTable(L);
  const char* items[] = {"b", "A", "c", "", "a"};
  for (int i = 0; i < 5; i++) {
    vmPushString(L, items[i]);
    vmRawSetI(L, 1, i);
  }
  int n = CountArrayItems(L, 1, true);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(CountArrayItems(L, 1, false), 5);
  ASSERT_EQ(SortArrayTable(L, 1, 0, 0, n - 1), 0u);
  EXPECT_EQ(Strings(1, 5), (std::vector<std::string>{"A", "b", "c", "", "a"}));
}

TEST_F(Sort, AContradictoryOrderIsRefused) {
  for (int n : {4, 10, 100}) {  // three items are ordered without a scan
    SCOPED_TRACE(n);
    vmSetTop(L, 0);
    PushList(std::vector<double>(n, 1.0));
    vmPushCClosure(L, Always, 0);
    EXPECT_EQ(SortArrayTable(L, 1, 2, 0, n - 1), 1362u);
    EXPECT_EQ(vmGetTop(L), 2);
  }
}

}  // namespace
