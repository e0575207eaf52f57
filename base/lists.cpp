// The runtime's doubly linked list with head and tail sentinels: every insert
// and removal is the same two-pointer splice, with no special first or last case.
#include "base/lists.h"

void NewList(vkList* list) {
  list->headNode.next = &list->tailNode;
  list->headNode.prev = nullptr;
  list->tailNode.next = nullptr;
  list->tailNode.prev = &list->headNode;
}

namespace {
void LinkAfter(vkNode* after, vkNode* node) {
  node->next = after->next;
  node->prev = after;
  after->next->prev = node;
  after->next = node;
}
}  // namespace

void AddHead(vkList* list, vkNode* node) { LinkAfter(&list->headNode, node); }

void AddTail(vkList* list, vkNode* node) { LinkAfter(list->tailNode.prev, node); }

void RemoveNode(vkNode* node) {
  node->prev->next = node->next;
  node->next->prev = node->prev;
}

void InsertNode(vkList* list, vkNode* node, vkNode* after) {
  if (!after) AddHead(list, node);
  else if (!after->next) AddTail(list, node);
  else LinkAfter(after, node);
}

bool IsListEmpty(const vkList* list) { return list->headNode.next == &list->tailNode; }
