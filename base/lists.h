// The runtime's general doubly linked list: intrusive nodes ({next, previous}
// first in the record, payload after) between a head sentinel and a tail
// sentinel held in the list header. The last node's next is the tail
// sentinel, whose own next is NULL; walk with
//   for (vkNode* n = list.headNode.next; n->next; n = n->next)
#pragma once

struct vkList;
// Empties [list]: both sentinels point at each other. Nodes that were in it
// are left as they were.
void NewList(vkList* list);

struct vkNode {
  vkNode* next = nullptr;
  vkNode* prev = nullptr;
};

struct vkList {
  vkNode headNode;  // next = first node (or &tailNode when empty); prev = NULL
  vkNode tailNode;  // next = NULL; prev = last node (or &headNode when empty)

  vkList() { NewList(this); }
  vkList(const vkList&) = delete;
  vkList& operator=(const vkList&) = delete;
};

void AddHead(vkList* list, vkNode* node);
void AddTail(vkList* list, vkNode* node);
// Unlinks [node] from whatever list holds it.
void RemoveNode(vkNode* node);
// Inserts [node] after [after]: NULL inserts at the head, the tail sentinel
// (a node whose next is NULL) appends at the tail.
void InsertNode(vkList* list, vkNode* node, vkNode* after);
bool IsListEmpty(const vkList* list);
