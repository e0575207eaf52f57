// The sentinel list: inserts at every place, removal, and the tail sentinel
// that ends every walk.
#include "base/lists.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Item {
  vkNode node;
  int value;
};

std::vector<int> Values(vkList& list) {
  std::vector<int> out;
  for (vkNode* n = list.headNode.next; n->next; n = n->next) out.push_back(reinterpret_cast<Item*>(n)->value);
  // The backward walk must agree.
  std::vector<int> back;
  for (vkNode* n = list.tailNode.prev; n->prev; n = n->prev) back.insert(back.begin(), reinterpret_cast<Item*>(n)->value);
  EXPECT_EQ(out, back);
  return out;
}

TEST(Lists, InsertsAtEveryPlace) {
  vkList list;
  EXPECT_TRUE(IsListEmpty(&list));
  Item a{{}, 1}, b{{}, 2}, c{{}, 3}, d{{}, 4}, e{{}, 5};
  InsertNode(&list, &a.node, nullptr);  // empty list: first and last
  EXPECT_EQ(list.headNode.next, &a.node);
  EXPECT_EQ(list.tailNode.prev, &a.node);
  AddTail(&list, &b.node);
  AddHead(&list, &c.node);
  InsertNode(&list, &d.node, &a.node);
  InsertNode(&list, &e.node, &list.tailNode);  // after the tail sentinel: append
  EXPECT_EQ(Values(list), (std::vector<int>{3, 1, 4, 2, 5}));
  EXPECT_EQ(e.node.next, &list.tailNode);
  EXPECT_EQ(e.node.next->next, nullptr);
}

TEST(Lists, RemoveAndRenew) {
  vkList list;
  Item a{{}, 1}, b{{}, 2}, c{{}, 3};
  AddTail(&list, &a.node);
  AddTail(&list, &b.node);
  AddTail(&list, &c.node);
  RemoveNode(&b.node);
  EXPECT_EQ(Values(list), (std::vector<int>{1, 3}));
  RemoveNode(&a.node);
  RemoveNode(&c.node);
  EXPECT_TRUE(IsListEmpty(&list));
  AddTail(&list, &b.node);
  NewList(&list);
  EXPECT_TRUE(IsListEmpty(&list));
}

}  // namespace
