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

inline uint32_t ABC(int op, int a, int b, int c) { return vmCreateABC(op, a, b, c); }
inline uint32_t ABx(int op, int a, int bx) { return vmCreateABx(op, a, bx); }
inline uint32_t AsBx(int op, int a, int sbx) { return vmCreateAsBx(op, a, sbx); }
inline uint32_t JMP(int offset) { return vmCreateJump(offset, 0); }

// function fib(n) if n < 2 then return n end return fib(n-1) + fib(n-2) end
// return fib([n])
inline Func fibProgram(int n) {
  Func fib;
  fib.numparams = 1;
  fib.lineDefined = 1;
  fib.maxstack = 4;
  fib.k = {num(2), str("fib"), num(1)};
  fib.code = {ABC(OP_LT, 1, 0, RK(0)),    JMP(8),
              ABx(OP_GETGLOBAL, 1, 1),    ABC(OP_SUB, 2, 0, RK(2)), ABC(OP_CALL, 1, 2, 2),
              ABx(OP_GETGLOBAL, 2, 1),    ABC(OP_SUB, 3, 0, RK(0)), ABC(OP_CALL, 2, 2, 2),
              ABC(OP_ADD, 1, 1, 2),       ABC(OP_RETURN, 1, 2, 0),  ABC(OP_RETURN, 0, 2, 0)};
  Func main;
  main.k = {str("fib"), num(n)};
  main.p = {fib};
  main.code = {ABx(OP_CLOSURE, 0, 0), ABx(OP_SETGLOBAL, 0, 0), ABx(OP_GETGLOBAL, 0, 0),
               ABx(OP_LOADK, 1, 1),   ABC(OP_CALL, 0, 2, 2),   ABC(OP_RETURN, 0, 2, 0)};
  return main;
}

// s = 0; for i = 1, 10^6 do s = s + half(i) end; return s
inline Func halfLoopProgram() {
  Func f;
  f.k = {num(0), num(1e6), num(1), str("half")};
  f.code = {ABx(OP_LOADK, 0, 0),     ABx(OP_LOADK, 1, 0),   ABx(OP_LOADK, 2, 1),   ABx(OP_LOADK, 3, 2),
            JMP(4),                  ABx(OP_GETGLOBAL, 5, 3), ABC(OP_MOVE, 6, 1, 0), ABC(OP_CALL, 5, 2, 2),
            ABC(OP_ADD, 0, 0, 5),    AsBx(OP_FORLOOP, 1, -5), ABC(OP_RETURN, 0, 2, 0)};
  return f;
}

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
