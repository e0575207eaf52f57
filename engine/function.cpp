// Closures, upvalues and prototypes.
#include "engine/function.h"

#include "engine/memory.h"
#include "engine/state.h"
#include "engine/strings.h"

namespace {
void linkObject(vkState* L, vkGCObject* o, int tt) {
  o->tt = static_cast<uint8_t>(tt);
  o->marked = 0;
  o->next = L->G->rootgc;
  L->G->rootgc = o;
}
}  // namespace

vkClosure* vmNewCommandClosure(vkState* L, int nelems) {
  vkClosure* c = static_cast<vkClosure*>(vmRealloc(L, nullptr, 0, vmClosureSize(true, nelems)));
  linkObject(L, c, VK_TFUNCTION);
  c->isC = 1;
  c->nupvalues = static_cast<uint8_t>(nelems);
  c->firstUse = 0;
  c->gclist = nullptr;
  c->f = nullptr;
  c->p = nullptr;
  vmSetNil(&c->g);
  for (int i = 0; i < nelems; i++) vmSetNil(&c->cUpvalues()[i]);
  return c;
}

vkClosure* vmNewScriptClosure(vkState* L, int nelems, const vkValue* globals) {
  vkClosure* c = static_cast<vkClosure*>(vmRealloc(L, nullptr, 0, vmClosureSize(false, nelems)));
  linkObject(L, c, VK_TFUNCTION);
  c->isC = 0;
  c->nupvalues = static_cast<uint8_t>(nelems);
  c->firstUse = 0;
  c->gclist = nullptr;
  c->f = nullptr;
  c->p = nullptr;
  c->g = *globals;
  for (int i = 0; i < nelems; i++) c->upvals()[i] = nullptr;
  return c;
}

void vmFreeClosure(vkState* L, vkClosure* c) { vmRealloc(L, c, vmClosureSize(c->isC, c->nupvalues), 0); }

vkUpval* vmFindUpvalue(vkState* L, vkValue* level) {
  vkGCObject** pp = &L->openupval;
  vkUpval* p;
  while ((p = static_cast<vkUpval*>(*pp)) != nullptr && p->v >= level) {
    if (p->v == level) return p;
    pp = &p->next;
  }
  vkUpval* uv = static_cast<vkUpval*>(vmRealloc(L, nullptr, 0, sizeof(vkUpval)));
  uv->tt = VK_TUPVAL;
  uv->marked = VK_MARK_REACHED;  // open upvalues are never collected
  uv->v = level;
  vmSetNil(&uv->value);
  uv->next = *pp;
  *pp = uv;
  return uv;
}

void vmCloseUpvalues(vkState* L, vkValue* level) {
  vkUpval* p;
  while ((p = static_cast<vkUpval*>(L->openupval)) != nullptr && p->v >= level) {
    p->value = *p->v;
    p->v = &p->value;
    L->openupval = p->next;
    p->next = L->G->rootgc;
    L->G->rootgc = p;
  }
}

vkUpval* vmNewClosedUpvalue(vkState* L) {
  vkUpval* uv = static_cast<vkUpval*>(vmRealloc(L, nullptr, 0, sizeof(vkUpval)));
  linkObject(L, uv, VK_TUPVAL);
  vmSetNil(&uv->value);
  uv->v = &uv->value;
  return uv;
}

void vmFreeUpvalue(vkState* L, vkUpval* uv) { vmRealloc(L, uv, sizeof(vkUpval), 0); }

vkProto* vmNewProto(vkState* L) {
  vkProto* p = static_cast<vkProto*>(vmRealloc(L, nullptr, 0, sizeof(vkProto)));
  linkObject(L, p, VK_TPROTO);
  p->k = nullptr;
  p->code = nullptr;
  p->p = nullptr;
  p->lineinfo = nullptr;
  p->locvars = nullptr;
  p->upvalues = nullptr;
  p->source = nullptr;
  p->sizeupvalues = p->sizek = p->sizecode = p->sizelineinfo = p->sizep = p->sizelocvars = 0;
  p->lineDefined = 0;
  p->gclist = nullptr;
  p->nups = p->numparams = p->isVararg = p->maxstacksize = 0;
  p->frameSize = 0;
  return p;
}

void vmFreeProto(vkState* L, vkProto* p) {
  vmFreeArray(L, p->k, static_cast<size_t>(p->sizek));
  vmFreeArray(L, p->code, static_cast<size_t>(p->sizecode));
  vmFreeArray(L, p->p, static_cast<size_t>(p->sizep));
  vmFreeArray(L, p->lineinfo, static_cast<size_t>(p->sizelineinfo));
  vmFreeArray(L, p->locvars, static_cast<size_t>(p->sizelocvars));
  vmFreeArray(L, p->upvalues, static_cast<size_t>(p->sizeupvalues));
  vmRealloc(L, p, sizeof(vkProto), 0);
}

const char* vmGetLocalName(const vkProto* p, int localNumber, int pc) {
  for (int i = 0; i < p->sizelocvars && p->locvars[i].startpc <= pc; i++) {
    if (pc < p->locvars[i].endpc) {
      if (--localNumber == 0) return p->locvars[i].varname ? vmStringText(nullptr, p->locvars[i].varname) : nullptr;
    }
  }
  return nullptr;
}
