// The mark-and-sweep collector, weak tables and finalisers.
#include "engine/gc.h"

#include <cstring>
#include <vector>

#include "engine/call.h"
#include "engine/function.h"
#include "engine/interpreter.h"
#include "engine/memory.h"
#include "engine/strings.h"
#include "engine/table.h"

namespace {

struct GCState {
  vkGCObject* gray = nullptr;
  vkTable* weak[4] = {nullptr, nullptr, nullptr, nullptr};  // indexed by weak bits >> 2: 1 keys, 2 values, 3 both
  vkGlobalState* g;
  std::vector<vkTable*> deadKeyTables;  // reached tables with string keys in nodes whose value is nil
};

inline bool isReached(const vkGCObject* o) { return (o->marked & VK_MARK_REACHED) != 0; }

vkGCObject** grayLink(vkGCObject* o) {
  switch (o->tt) {
    case VK_TTABLE: return &static_cast<vkTable*>(o)->gclist;
    case VK_TFUNCTION: return &static_cast<vkClosure*>(o)->gclist;
    case VK_TTHREAD: return &static_cast<vkState*>(o)->gclist;
    default: return &static_cast<vkProto*>(o)->gclist;
  }
}

void markObject(GCState& st, vkGCObject* o) {
  if (isReached(o)) return;
  o->marked |= VK_MARK_REACHED;
  switch (o->tt) {
    case VK_TSTRING: break;
    case VK_TUSERDATA: {
      vkTable* mt = static_cast<vkUserdata*>(o)->metatable;
      if (mt) markObject(st, mt);
      break;
    }
    case VK_TUPVAL: {
      vkUpval* uv = static_cast<vkUpval*>(o);
      if (vmIsCollectable(uv->v)) markObject(st, uv->v->v.gc);
      break;
    }
    default:
      *grayLink(o) = st.gray;
      st.gray = o;
      break;
  }
}

inline void markValue(GCState& st, const vkValue* v) {
  if (vmIsCollectable(v)) markObject(st, v->v.gc);
}

void traverseTable(GCState& st, vkTable* h) {
  bool weakKeys = false, weakValues = false;
  if (h->metatable) {
    markObject(st, h->metatable);
    const vkValue* mode = vmTableGetStr(h->metatable, st.g->tmname[VK_TM_MODE]);
    if (vmIsStringT(mode)) {
      // The mode's letters up to its first NUL.
      const vkString* m = vmStr(mode);
      size_t n = strnlen(m->data(), m->len);
      weakKeys = std::memchr(m->data(), 'k', n) != nullptr;
      weakValues = std::memchr(m->data(), 'v', n) != nullptr;
    }
  }
  if (weakKeys || weakValues) {
    int bits = (weakKeys ? VK_MARK_WEAKKEYS : 0) | (weakValues ? VK_MARK_WEAKVALUES : 0);
    h->marked = static_cast<uint8_t>((h->marked & ~(VK_MARK_WEAKKEYS | VK_MARK_WEAKVALUES)) | bits);
    h->gclist = st.weak[bits >> 2];
    st.weak[bits >> 2] = h;
  }
  if (!weakValues)
    for (int i = 0; i < h->sizearray; i++) markValue(st, &h->array[i]);
  if (h->node == &st.g->dummynode) return;
  int n = vmTableNodeCount(h);
  bool deadStringKey = false;
  for (int i = 0; i < n; i++) {
    vkNode* nd = &h->node[i];
    if (vmIsNil(&nd->val)) {  // a dead key is only a placeholder
      if (nd->key.tt == VK_TSTRING && !deadStringKey) {
        deadStringKey = true;
        st.deadKeyTables.push_back(h);
      }
      continue;
    }
    if (!weakKeys) markValue(st, &nd->key);
    if (!weakValues) markValue(st, &nd->val);
  }
}

void traverseClosure(GCState& st, vkClosure* cl) {
  if (cl->isC) {
    for (int i = 0; i < cl->nupvalues; i++) markValue(st, &cl->cUpvalues()[i]);
    return;
  }
  markObject(st, cl->p);
  markValue(st, &cl->g);
  for (int i = 0; i < cl->nupvalues; i++) {
    vkUpval* uv = cl->upvals()[i];
    if (!uv) continue;
    uv->marked |= VK_MARK_REACHED;
    markValue(st, uv->v);
  }
}

void traverseProto(GCState& st, vkProto* p) {
  if (p->source) markObject(st, p->source);
  for (int i = 0; i < p->sizek; i++)
    if (vmIsStringT(&p->k[i])) markObject(st, p->k[i].v.gc);
  for (int i = 0; i < p->sizeupvalues; i++)
    if (p->upvalues[i]) markObject(st, p->upvalues[i]);
  for (int i = 0; i < p->sizep; i++)
    if (p->p[i]) markObject(st, p->p[i]);
  for (int i = 0; i < p->sizelocvars; i++)
    if (p->locvars[i].varname) markObject(st, p->locvars[i].varname);
}

void traverseThread(GCState& st, vkState* L1) {
  markValue(st, &L1->globals);
  vkValue* lim = L1->top;
  for (vkCallInfo* ci = L1->baseCi; ci <= L1->ci; ci++) {
    if (lim < ci->top) lim = ci->top;
    if (ci->func) markObject(st, ci->func);  // running functions live while they run
  }
  vkValue* o = L1->stack;
  for (; o < L1->top; o++) markValue(st, o);
  for (; o < lim; o++) vmSetNil(o);
  int ciUsed = static_cast<int>(L1->ci - L1->baseCi) + 1;
  if (4 * ciUsed < L1->sizeCi && L1->sizeCi > 2 * kBasicCiSize) vmReallocCallInfo(L1, L1->sizeCi / 2);
  int used = static_cast<int>(lim - L1->stack);
  if (4 * used < L1->stacksize && L1->stacksize > 2 * kBasicStackSize) vmReallocStack(L1, L1->stacksize / 2);
}

void propagate(GCState& st) {
  while (st.gray) {
    vkGCObject* o = st.gray;
    vkGCObject** link = grayLink(o);
    st.gray = *link;
    *link = nullptr;
    switch (o->tt) {
      case VK_TTABLE: traverseTable(st, static_cast<vkTable*>(o)); break;
      case VK_TFUNCTION: traverseClosure(st, static_cast<vkClosure*>(o)); break;
      case VK_TTHREAD: traverseThread(st, static_cast<vkState*>(o)); break;
      case VK_TPROTO: traverseProto(st, static_cast<vkProto*>(o)); break;
      default: break;
    }
  }
}

// A weak entry survives when its object is reached; strings are values and
// never weak (they are marked here so that the sweep keeps them).
bool survives(const vkValue* v) {
  if (v->tt == VK_TSTRING) {
    v->v.gc->marked |= VK_MARK_REACHED;
    return true;
  }
  return !vmIsCollectable(v) || isReached(v->v.gc);
}

void clearValues(GCState& st, vkTable* h) {
  for (; h; h = static_cast<vkTable*>(h->gclist)) {
    if (!(h->marked & VK_MARK_WEAKVALUES)) continue;
    for (int i = 0; i < h->sizearray; i++)
      if (!survives(&h->array[i])) vmSetNil(&h->array[i]);
    if (h->node == &st.g->dummynode) continue;
    int n = vmTableNodeCount(h);
    bool deadStringKey = false;
    for (int i = 0; i < n; i++) {
      vkNode* nd = &h->node[i];
      if (!vmIsNil(&nd->val) && !survives(&nd->val)) {
        vmSetNil(&nd->val);
        if (nd->key.tt == VK_TSTRING && !deadStringKey) {
          deadStringKey = true;
          st.deadKeyTables.push_back(h);
        }
      }
    }
  }
}

void clearKeys(GCState& st, vkTable* h) {
  for (; h; h = static_cast<vkTable*>(h->gclist)) {
    if (!(h->marked & VK_MARK_WEAKKEYS) || h->node == &st.g->dummynode) continue;
    int n = vmTableNodeCount(h);
    for (int i = 0; i < n; i++) {
      vkNode* nd = &h->node[i];
      if (!vmIsNil(&nd->val) && !survives(&nd->key)) vmSetNil(&nd->val);
    }
  }
}

// A string key of a node whose value is nil stays in the node after its
// string is collected; it becomes a dead key, which no lookup matches, so
// that no lookup reads the freed string.
void markDeadKeys(GCState& st) {
  for (vkTable* h : st.deadKeyTables) {
    int n = vmTableNodeCount(h);
    for (int i = 0; i < n; i++) {
      vkNode* nd = &h->node[i];
      if (vmIsNil(&nd->val) && nd->key.tt == VK_TSTRING &&
          !(nd->key.v.gc->marked & (VK_MARK_REACHED | VK_MARK_FIXED)))
        nd->key.tt = VK_TDEADKEY;
    }
  }
}

bool keepObject(vkGCObject* o, bool all) {
  if (all) return false;
  return (o->marked & (VK_MARK_REACHED | VK_MARK_FIXED)) != 0;
}

void sweepList(vkState* L, vkGCObject** p, bool all) {
  vkGCObject* curr;
  while ((curr = *p) != nullptr) {
    if (keepObject(curr, all)) {
      curr->marked &= static_cast<uint8_t>(~(VK_MARK_REACHED | VK_MARK_WEAKKEYS | VK_MARK_WEAKVALUES));
      p = &curr->next;
    } else {
      *p = curr->next;
      if (curr->tt == VK_TSTRING)  // long strings, views of built text mostly: the commonest garbage
        vmFreeString(L, static_cast<vkString*>(curr));
      else
        vmFreeObject(L, curr);
    }
  }
}

}  // namespace

void vmFreeObject(vkState* L, vkGCObject* o) {
  switch (o->tt) {
    case VK_TSTRING: vmFreeString(L, static_cast<vkString*>(o)); break;
    case VK_TTABLE: vmFreeTable(L, static_cast<vkTable*>(o)); break;
    case VK_TFUNCTION: vmFreeClosure(L, static_cast<vkClosure*>(o)); break;
    case VK_TUSERDATA: {
      vkUserdata* u = static_cast<vkUserdata*>(o);
      vmRealloc(L, u, sizeof(vkUserdata) + u->len, 0);
      break;
    }
    case VK_TTHREAD: vmFreeThread(L, static_cast<vkState*>(o)); break;
    case VK_TPROTO: vmFreeProto(L, static_cast<vkProto*>(o)); break;
    case VK_TUPVAL: vmFreeUpvalue(L, static_cast<vkUpval*>(o)); break;
    default: break;
  }
}

void vmSweep(vkState* L, bool all) {
  vkGlobalState* g = L->G;
  sweepList(L, &g->rootudata, all);
  for (uint32_t i = 0; i < g->strt.size; i++) {
    vkGCObject** p = reinterpret_cast<vkGCObject**>(&g->strt.hash[i]);
    vkGCObject* curr;
    while ((curr = *p) != nullptr) {
      if (keepObject(curr, all)) {
        curr->marked &= static_cast<uint8_t>(~VK_MARK_REACHED);
        p = &curr->next;
      } else {
        *p = curr->next;
        g->strt.nuse--;
        vmFreeString(L, static_cast<vkString*>(curr));
      }
    }
  }
  sweepList(L, &g->rootgc, all);
}

size_t vmSeparateUserdata(vkState* L, bool all) {
  vkGlobalState* g = L->G;
  size_t deadmem = 0;
  vkGCObject** p = &g->rootudata;
  vkGCObject* curr;
  vkGCObject** lastCollected = &g->tmudata;
  while (*lastCollected) lastCollected = &(*lastCollected)->next;
  while ((curr = *p) != nullptr) {
    vkUserdata* u = static_cast<vkUserdata*>(curr);
    bool reached = !all && (curr->marked & (VK_MARK_REACHED | VK_MARK_FIXED));
    if (reached || !(curr->marked & VK_MARK_NOTFINAL)) {
      p = &curr->next;
      continue;
    }
    if (!vmFastTM(L, u->metatable, VK_TM_GC)) {
      curr->marked &= static_cast<uint8_t>(~VK_MARK_NOTFINAL);
      p = &curr->next;
      continue;
    }
    deadmem += sizeof(vkUserdata) + u->len;
    *p = curr->next;
    curr->next = nullptr;
    *lastCollected = curr;
    lastCollected = &curr->next;
  }
  return deadmem;
}

void vmCallAllFinalizers(vkState* L) {
  vkGlobalState* g = L->G;
  uint8_t oldAllowHook = L->allowHook;
  L->allowHook = 0;
  vmEnsureStack(L, 3);
  L->top++;  // one reserved slot
  while (g->tmudata) {
    vkGCObject* o = g->tmudata;
    vkUserdata* u = static_cast<vkUserdata*>(o);
    g->tmudata = o->next;
    o->next = g->rootudata;
    g->rootudata = o;
    o->marked &= static_cast<uint8_t>(~(VK_MARK_REACHED | VK_MARK_NOTFINAL));
    const vkValue* tm = vmFastTM(L, u->metatable, VK_TM_GC);
    if (tm && vmIsFunctionT(tm)) {
      vmEnsureStack(L, 2);
      L->top[0] = *tm;
      vmSetObj(&L->top[1], u, VK_TUSERDATA);
      L->top += 2;
      vmCallCore(L, L->top - 2, 0);
    }
  }
  L->top--;
  L->allowHook = oldAllowHook;
}

void vmCollectGarbage(vkState* L) {
  vkGlobalState* g = L->G;
  if (g->gcRunning) return;
  g->gcRunning = true;
  struct Reset {
    vkGlobalState* g;
    ~Reset() { g->gcRunning = false; }
  } reset{g};
  GCState st;
  st.g = g;
  g->mainthread->marked &= static_cast<uint8_t>(~VK_MARK_REACHED);
  markValue(st, &g->defaultMeta);
  markValue(st, &g->registry);
  markObject(st, g->mainthread);
  if (L != g->mainthread) markObject(st, L);
  propagate(st);
  for (int w = 1; w < 4; w++) clearValues(st, st.weak[w]);
  size_t deadmem = vmSeparateUserdata(L, false);
  for (vkGCObject* o = g->tmudata; o; o = o->next) markObject(st, o);
  propagate(st);
  for (int w = 1; w < 4; w++) {
    clearKeys(st, st.weak[w]);
    clearValues(st, st.weak[w]);
  }
  g->mainthread->marked &= static_cast<uint8_t>(~VK_MARK_REACHED);
  markDeadKeys(st);
  vmSweep(L, false);
  if (g->strt.nuse < g->strt.size / 4 && g->strt.size > 64) vmResizeStringTable(L, g->strt.size / 2);
  if (g->buffsize > 64) {
    size_t ns = g->buffsize / 2;
    g->buff = static_cast<char*>(vmRealloc(L, g->buff, g->buffsize, ns));
    g->buffsize = ns;
  }
  g->GCthreshold = 2 * g->nblocks - deadmem;
  vmCallAllFinalizers(L);
}
