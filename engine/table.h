// The engine's tables: an array part for the integer keys 1..n and a chained
// scatter hash part with a moving free pointer. Node placement, insertion and
// rehash decide traversal order, which scripts observe; this unit is the raw
// get/set/next layer (metamethods are applied by the interpreter).
#pragma once

#include "engine/object.h"

// The largest hash log-size and array size.
inline constexpr int kMaxTableBits = 24;

vkTable* vmTableNew(vkState* L, int narray, int lnhash);
void vmFreeTable(vkState* L, vkTable* t);

inline int vmTableNodeCount(const vkTable* t) { return 1 << t->lsizenode; }

// Whether the number key [d] is an integer in 1..sizearray (NaN is not); its
// array index, d - 1, goes to [*index].
inline bool vmTableArrayIndex(const vkTable* t, double d, size_t* index) {
  if (!(d >= 1.0 && d <= static_cast<double>(t->sizearray))) return false;
  int k = static_cast<int>(d);
  *index = static_cast<size_t>(k - 1);
  return static_cast<double>(k) == d;
}

// Raw lookups: the value slot, or &vkNilObject when the key is absent.
// vmTableGet reads the array part in line; vmTableGetKey is the search for
// any other key.
const vkValue* vmTableGetKey(vkTable* t, const vkValue* key);
inline const vkValue* vmTableGet(vkTable* t, const vkValue* key) {
  size_t index;
  if (key->tt == VK_TNUMBER && vmTableArrayIndex(t, key->v.n, &index)) return &t->array[index];
  return vmTableGetKey(t, key);
}
const vkValue* vmTableGetNum(vkTable* t, int key);
const vkValue* vmTableGetLongStr(vkTable* t, vkString* key);
inline const vkValue* vmTableGetStr(vkTable* t, vkString* key) {
  if (vmIsLongString(key)) return vmTableGetLongStr(t, key);
  // A short string is interned: its node holds the same object. The object
  // is compared first, as it tells the other strings of the chain apart.
  const vkNode* n = &t->node[key->hash & (vmTableNodeCount(t) - 1)];
  do {
    if (n->key.v.gc == key && n->key.tt == VK_TSTRING) return &n->val;
    n = n->next;
  } while (n);
  return &vkNilObject;
}

// The slot to write for [key], created when absent (a nil key is the number
// 0; a NaN key raises 1208). Clears the metamethod-absence flags.
vkValue* vmTableSet(vkState* L, vkTable* t, const vkValue* key);
// The same when [found] is what vmTableGet(t, key) has just returned, which
// saves the second search when the caller has already looked.
vkValue* vmTableSetFound(vkState* L, vkTable* t, const vkValue* key, const vkValue* found);
vkValue* vmTableSetNum(vkState* L, vkTable* t, int key);

// Whether the metatable [mt] (null for none) is known to lack the
// metamethod for [event] (one of the first eight): there is no metatable, or
// its flags byte has cached the absence. Otherwise the metatable must be
// searched.
inline bool vmTableTMKnownAbsent(const vkTable* mt, int event) { return !mt || (mt->flags & (1u << event)); }

// Traversal: writes the next key and value into key[0] and key[1]; 0 at the
// end. A key not in the table raises 1206.
int vmTableNext(vkState* L, vkTable* t, vkValue* key);
