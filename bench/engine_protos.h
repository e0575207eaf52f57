// Builds script functions for the engine benchmarks directly as prototypes
// (no bytecode file), verified like loaded code, and pushes their closures.
#pragma once

#include <string>
#include <vector>

#include "engine/bytecode.h"
#include "engine/function.h"
#include "engine/memory.h"
#include "engine/opcodes.h"
#include "engine/state.h"
#include "engine/strings.h"
#include "engine/vmapi.h"

namespace vkbench {

struct Const {
  bool isString;
  double n;
  std::string s;
};
inline Const num(double d) { return {false, d, {}}; }
inline Const str(std::string s) { return {true, 0, std::move(s)}; }

struct Func {
  int numparams = 0;
  int maxstack = 16;
  int nups = 0;
  int lineDefined = 0;
  std::vector<Const> k;
  std::vector<Func> p;
  std::vector<uint32_t> code;
};

inline int RK(int i) { return kRKConstant + i; }

inline vkProto* buildProto(vkState* L, const Func& f) {
  vkProto* p = vmNewProto(L);
  p->numparams = static_cast<uint8_t>(f.numparams);
  p->maxstacksize = static_cast<uint8_t>(f.maxstack);
  p->nups = static_cast<uint8_t>(f.nups);
  p->lineDefined = f.lineDefined;
  p->k = vmNewArray<vkValue>(L, f.k.size());
  for (size_t j = 0; j < f.k.size(); j++) {
    if (f.k[j].isString)
      vmSetString(&p->k[j], vmNewCString(L, f.k[j].s.c_str()));
    else
      vmSetNumber(&p->k[j], f.k[j].n);
    p->sizek = static_cast<int>(j + 1);
  }
  p->p = vmNewArray<vkProto*>(L, f.p.size());
  for (size_t j = 0; j < f.p.size(); j++) p->p[j] = nullptr;
  p->sizep = static_cast<int>(f.p.size());
  for (size_t j = 0; j < f.p.size(); j++) p->p[j] = buildProto(L, f.p[j]);
  p->code = vmNewArray<uint32_t>(L, f.code.size());
  for (size_t j = 0; j < f.code.size(); j++) p->code[j] = f.code[j];
  p->sizecode = static_cast<int>(f.code.size());
  if (!vmCheckCode(p)) std::abort();
  return p;
}

// Pushes a closure of [f] over the globals.
inline void pushFunction(vkState* L, const Func& f) {
  vkProto* p = buildProto(L, f);
  vkClosure* cl = vmNewScriptClosure(L, 0, &L->globals);
  cl->p = p;
  vmCheckStack(L, 1);
  vmSetClosure(L->top, cl);
  L->top++;
}

}  // namespace vkbench
