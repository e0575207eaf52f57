// Tables: raw get/set/next, node placement and the rehash rule.
#include "engine/table.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "base/errorcodes.h"
#include "engine/errors.h"
#include "engine/memory.h"
#include "base/numconv.h"
#include "engine/state.h"
#include "engine/strings.h"

namespace {

inline vkNode* nodeAt(vkTable* t, uint32_t i) { return &t->node[i]; }
inline uint32_t sizeNode(const vkTable* t) { return 1u << t->lsizenode; }

vkNode* hashNumber(vkTable* t, double d) {
  double x = d + 1.0;
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  uint32_t sum = static_cast<uint32_t>(bits >> 32) + static_cast<uint32_t>(bits);
  return nodeAt(t, sum % ((sizeNode(t) - 1) | 1));
}

vkNode* hashPointer(vkTable* t, const void* p) {
  return nodeAt(t, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p) % ((sizeNode(t) - 1) | 1)));
}

vkNode* mainPosition(vkTable* t, const vkValue* key) {
  switch (key->tt) {
    case VK_TNUMBER: return hashNumber(t, key->v.n);
    case VK_TSTRING: return nodeAt(t, vmStringHashOf(vmStr(key)) & (sizeNode(t) - 1));
    case VK_TBOOLEAN: return nodeAt(t, static_cast<uint32_t>(key->v.b) & (sizeNode(t) - 1));
    case VK_TNIL: return hashNumber(t, 0.0);
    default: return hashPointer(t, key->v.p);
  }
}

const vkValue* getAny(vkTable* t, const vkValue* key) {
  for (vkNode* n = mainPosition(t, key); n; n = n->next)
    if (vmRawEqualObj(&n->key, key)) return &n->val;
  return &vkNilObject;
}

void setArrayVector(vkState* L, vkTable* t, int size) {
  t->array = static_cast<vkValue*>(
      vmRealloc(L, t->array, static_cast<size_t>(t->sizearray) * sizeof(vkValue), static_cast<size_t>(size) * sizeof(vkValue)));
  for (int i = t->sizearray; i < size; i++) vmSetNil(&t->array[i]);
  t->sizearray = size;
}

void setNodeVector(vkState* L, vkTable* t, int lsize) {
  if (lsize > kMaxTableBits) vmRaiseError(L, kErrTableOverflow);
  if (lsize == 0) {
    t->node = &L->G->dummynode;
  } else {
    uint32_t size = 1u << lsize;
    t->node = vmNewArray<vkNode>(L, size);
    for (uint32_t i = 0; i < size; i++) {
      vmSetNil(&t->node[i].key);
      vmSetNil(&t->node[i].val);
      t->node[i].next = nullptr;
    }
  }
  t->lsizenode = static_cast<uint8_t>(lsize);
  t->firstfree = &t->node[sizeNode(t) - 1];
}

// Bucket of an integer key k: 0 for 1, i for 2^(i-1)+1 .. 2^i.
inline int keyBucket(int k) { return vmLog2(static_cast<uint32_t>(k - 1)) + 1; }

// Adds the non-nil entries of the array part to their buckets and returns
// their number. The entries of bucket b sit at indices 2^(b-1) .. 2^b - 1
// (bucket 0 at index 0), so each bucket is a run of the array.
int countArrayPart(const vkTable* t, int* nums) {
  int total = 0;
  for (int b = 0, lo = 0; lo < t->sizearray; b++) {
    int hi = std::min(1 << b, t->sizearray);
    int n = 0;
    for (int i = lo; i < hi; i++) n += !vmIsNil(&t->array[i]);
    nums[b] += n;
    total += n;
    lo = hi;
  }
  return total;
}

bool arrayCandidate(const vkValue* key, int* k) {
  return key->tt == VK_TNUMBER && vkDoubleIsInt32(key->v.n, k) && *k >= 1 && *k <= (1 << kMaxTableBits);
}

void resize(vkState* L, vkTable* t, int nasize, int lsize);

void rehash(vkState* L, vkTable* t, const vkValue* extra) {
  int nums[kMaxTableBits + 1] = {0};
  int nint = countArrayPart(t, nums);
  int total = nint;
  if (t->node != &L->G->dummynode) {
    for (uint32_t i = 0; i < sizeNode(t); i++) {
      vkNode* n = &t->node[i];
      if (vmIsNil(&n->val)) continue;
      total++;
      int k;
      if (arrayCandidate(&n->key, &k)) {
        nums[keyBucket(k)]++;
        nint++;
      }
    }
  }
  if (extra) {
    total++;
    int k;
    if (arrayCandidate(extra, &k)) {
      nums[keyBucket(k)]++;
      nint++;
    }
  }
  int a = nums[0];
  int filling = a;
  int n = a == 0 ? -1 : 0;
  for (int i = 1; i <= kMaxTableBits && a < nint && (1 << (i - 1)) <= nint; i++) {
    if (nums[i] > 0) {
      a += nums[i];
      if (a >= (1 << (i - 1))) {
        n = i;
        filling = a;
      }
    }
  }
  int nasize = n == -1 ? 0 : 1 << n;
  resize(L, t, nasize, vmLog2(static_cast<uint32_t>(total - filling)) + 1);
}

void resize(vkState* L, vkTable* t, int nasize, int lsize) {
  if (lsize > kMaxTableBits) vmRaiseError(L, kErrTableOverflow);
  int oldasize = t->sizearray;
  vkNode* nold = t->node;
  uint32_t oldnodes = sizeNode(t);
  bool oldDummy = nold == &L->G->dummynode;
  if (nasize > oldasize) setArrayVector(L, t, nasize);
  setNodeVector(L, t, lsize);
  if (nasize < oldasize) {
    t->sizearray = nasize;
    for (int i = nasize; i < oldasize; i++)
      if (!vmIsNil(&t->array[i])) *vmTableSetNum(L, t, i + 1) = t->array[i];
    t->array = static_cast<vkValue*>(vmRealloc(L, t->array, static_cast<size_t>(oldasize) * sizeof(vkValue),
                                               static_cast<size_t>(nasize) * sizeof(vkValue)));
  }
  if (!oldDummy) {
    for (int64_t i = static_cast<int64_t>(oldnodes) - 1; i >= 0; i--) {
      vkNode* old = &nold[i];
      if (!vmIsNil(&old->val)) *vmTableSet(L, t, &old->key) = old->val;
    }
    vmFreeArray(L, nold, oldnodes);
  }
}

vkValue* newKey(vkState* L, vkTable* t, const vkValue* key) {
  if (t->node == &L->G->dummynode) {
    rehash(L, t, key);
    return vmTableSet(L, t, key);
  }
  vkNode* mp = mainPosition(t, key);
  if (!vmIsNil(&mp->val)) {
    vkNode* othern = mainPosition(t, &mp->key);
    vkNode* n = t->firstfree;
    if (othern != mp) {
      while (othern->next != mp) othern = othern->next;
      othern->next = n;
      *n = *mp;
      mp->next = nullptr;
      vmSetNil(&mp->val);
    } else {
      n->next = mp->next;
      mp->next = n;
      mp = n;
    }
  }
  mp->key = *key;
  for (;;) {
    if (vmIsNil(&t->firstfree->key)) return &mp->val;
    if (t->firstfree == t->node) break;
    t->firstfree--;
  }
  vmSetBool(&mp->val, 0);
  rehash(L, t, nullptr);
  vkValue* v = const_cast<vkValue*>(vmTableGet(t, key));
  vmSetNil(v);
  return v;
}

}  // namespace

vkTable* vmTableNew(vkState* L, int narray, int lnhash) {
  if (lnhash > kMaxTableBits || narray > (1 << kMaxTableBits) || narray < 0 || lnhash < 0)
    vmRaiseError(L, kErrTableOverflow);
  vkTable* t = static_cast<vkTable*>(vmRealloc(L, nullptr, 0, sizeof(vkTable)));
  t->tt = VK_TTABLE;
  t->marked = 0;
  t->flags = 0xFF;
  t->lsizenode = 0;
  t->metatable = L->G->defaultMeta.tt == VK_TTABLE ? vmTab(&L->G->defaultMeta) : nullptr;
  t->array = nullptr;
  t->sizearray = 0;
  t->node = &L->G->dummynode;
  t->firstfree = t->node;
  t->gclist = nullptr;
  t->next = L->G->rootgc;
  L->G->rootgc = t;
  setArrayVector(L, t, narray);
  setNodeVector(L, t, lnhash);
  return t;
}

void vmFreeTable(vkState* L, vkTable* t) {
  if (t->node != &L->G->dummynode) vmFreeArray(L, t->node, sizeNode(t));
  vmFreeArray(L, t->array, static_cast<size_t>(t->sizearray));
  vmRealloc(L, t, sizeof(vkTable), 0);
}

const vkValue* vmTableGetNum(vkTable* t, int key) {
  if (static_cast<unsigned>(key) - 1u < static_cast<unsigned>(t->sizearray)) return &t->array[key - 1];
  double d = key;
  for (vkNode* n = hashNumber(t, d); n; n = n->next)
    if (n->key.tt == VK_TNUMBER && n->key.v.n == d) return &n->val;
  return &vkNilObject;
}

const vkValue* vmTableGetLongStr(vkTable* t, vkString* key) {
  for (vkNode* n = nodeAt(t, vmStringHashOf(key) & (sizeNode(t) - 1)); n; n = n->next)
    if (n->key.tt == VK_TSTRING && vmStringsEqual(vmStr(&n->key), key)) return &n->val;
  return &vkNilObject;
}

const vkValue* vmTableGetKey(vkTable* t, const vkValue* key) {
  switch (key->tt) {
    case VK_TSTRING: return vmTableGetStr(t, vmStr(key));
    case VK_TNIL: return vmTableGetNum(t, 0);
    case VK_TNUMBER: {
      int k;
      if (vkDoubleIsInt32(key->v.n, &k)) return vmTableGetNum(t, k);
      return getAny(t, key);
    }
    default: return getAny(t, key);
  }
}

vkValue* vmTableSet(vkState* L, vkTable* t, const vkValue* key) {
  return vmTableSetFound(L, t, key, vmTableGet(t, key));
}

vkValue* vmTableSetFound(vkState* L, vkTable* t, const vkValue* key, const vkValue* found) {
  t->flags = 0;
  if (found != &vkNilObject) return const_cast<vkValue*>(found);
  if (key->tt == VK_TNIL) {
    vkValue zero;
    vmSetNumber(&zero, 0.0);
    return newKey(L, t, &zero);
  }
  if (key->tt == VK_TNUMBER && std::isnan(key->v.n)) vmRaiseError(L, kErrTableIndexNaN);
  return newKey(L, t, key);
}

vkValue* vmTableSetNum(vkState* L, vkTable* t, int key) {
  const vkValue* p = vmTableGetNum(t, key);
  t->flags = 0;
  if (p != &vkNilObject) return const_cast<vkValue*>(p);
  vkValue k;
  vmSetNumber(&k, key);
  return newKey(L, t, &k);
}

int vmTableNext(vkState* L, vkTable* t, vkValue* key) {
  int64_t i;
  size_t index;
  if (key->tt == VK_TNIL) {
    i = -1;
  } else if (key->tt == VK_TNUMBER && vmTableArrayIndex(t, key->v.n, &index)) {
    i = static_cast<int64_t>(index);
  } else {
    const vkValue* v = vmTableGet(t, key);
    if (v == &vkNilObject) vmRaiseError(L, kErrInvalidNextKey);
    const vkNode* n = reinterpret_cast<const vkNode*>(reinterpret_cast<const char*>(v) - offsetof(vkNode, val));
    i = (n - t->node) + t->sizearray;
  }
  for (i++; i < t->sizearray; i++) {
    if (!vmIsNil(&t->array[i])) {
      vmSetNumber(key, static_cast<double>(i + 1));
      key[1] = t->array[i];
      return 1;
    }
  }
  if (t->node == &L->G->dummynode) return 0;
  for (i -= t->sizearray; i < static_cast<int64_t>(sizeNode(t)); i++) {
    if (!vmIsNil(&t->node[i].val)) {
      key[0] = t->node[i].key;
      key[1] = t->node[i].val;
      return 1;
    }
  }
  return 0;
}
