// The floor under the interpreter's calls: a stripped interpreter that runs
// the same instruction words as bench_engine_interp's BM_Fib27 and
// BM_NumberCommandCalls/1, on the same 16-byte values, dispatched the same
// way, and does only what those two programs need. It has no hooks and no
// polls, never grows the stack or the call records, keeps no top, collects
// nothing, checks no GOSUB, upvalue or error state, and reads each global
// through a slot found before the run instead of searching the global table.
// What the engine takes beyond these times is what those duties cost it:
//
//     build/bench/bench_engine_floor
//     build/bench/bench_engine_interp --benchmark_filter='Fib27|NumberCommandCalls/1'
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/engine_protos.h"

namespace {

using namespace vkbench;

struct FloorProto {
  std::vector<uint32_t> code;
  std::vector<vkValue> k;         // numbers; nil where the constant is a name
  std::vector<vkValue*> globals;  // the global a name constant stands for
  std::vector<std::unique_ptr<FloorProto>> p;
  int frame = 0;
  int numparams = 0;
};

// What a function value points to: a script function or a command of one
// number.
struct FloorFunction {
  const FloorProto* proto;
  double (*number)(double);
};

struct FloorFrame {
  vkValue* base;
  const uint32_t* savedpc;
  const FloorProto* proto;
};

struct Floor {
  std::map<std::string, vkValue> globals;
  std::vector<std::unique_ptr<FloorFunction>> functions;
  std::unique_ptr<FloorProto> main;

  std::unique_ptr<FloorProto> build(const Func& f) {
    auto p = std::make_unique<FloorProto>();
    p->code = f.code;
    p->frame = f.maxstack;
    p->numparams = f.numparams;
    for (const Const& c : f.k) {
      vkValue v;
      if (c.isString) {
        vmSetNil(&v);
        p->globals.push_back(&globals[c.s]);
      } else {
        vmSetNumber(&v, c.n);
        p->globals.push_back(nullptr);
      }
      p->k.push_back(v);
    }
    for (const Func& sub : f.p) p->p.push_back(build(sub));
    return p;
  }

  void setCommand(const std::string& name, double (*number)(double)) {
    functions.push_back(std::make_unique<FloorFunction>(FloorFunction{nullptr, number}));
    vkValue& v = globals[name];
    v.tt = VK_TFUNCTION;
    v.v.p = functions.back().get();
  }

  double run();
};

double Floor::run() {
  static const void* const kDispatch[64] = {
      &&op_move, &&op_loadk,   &&op_bad,    &&op_bad,     &&op_bad, &&op_getglobal, &&op_bad, &&op_setglobal,
      &&op_bad,  &&op_bad,     &&op_bad,    &&op_add,     &&op_sub, &&op_bad,       &&op_bad, &&op_bad,
      &&op_bad,  &&op_bad,     &&op_bad,    &&op_bad,     &&op_bad, &&op_bad,       &&op_bad, &&op_bad,
      &&op_bad,  &&op_bad,     &&op_bad,    &&op_jmp,     &&op_bad, &&op_lt,        &&op_bad, &&op_bad,
      &&op_call, &&op_bad,     &&op_return, &&op_forloop, &&op_bad, &&op_bad,       &&op_bad, &&op_bad,
      &&op_bad,  &&op_closure, &&op_bad,    &&op_bad,     &&op_bad, &&op_bad,       &&op_bad, &&op_bad,
      &&op_bad,  &&op_bad,     &&op_bad,    &&op_bad,     &&op_bad, &&op_bad,       &&op_bad, &&op_bad,
      &&op_bad,  &&op_bad,     &&op_bad,    &&op_bad,     &&op_bad, &&op_bad,       &&op_bad, &&op_bad};
  std::vector<vkValue> stack(4096);
  std::vector<FloorFrame> frames(256);
  FloorFrame* ci = frames.data();
  const FloorProto* proto = main.get();
  vkValue* base = stack.data() + 1;
  for (int j = 0; j < proto->frame; j++) vmSetNil(&base[j]);
  *ci = {base, proto->code.data(), proto};
  const uint32_t* pc = proto->code.data();
  const vkValue* k = proto->k.data();
  vkValue* const* gl = proto->globals.data();
  uint32_t i;
  vkValue* ra;

#define RK(x) ((x) < kRKConstant ? base + (x) : k + (x) - kRKConstant)
#define NEXT()                 \
  do {                         \
    i = *pc++;                 \
    ra = base + vmArgA(i);     \
    goto* kDispatch[i & 0x3F]; \
  } while (0)
#define ARITH(op)                                                  \
  {                                                                \
    const vkValue* rb = RK(vmArgB(i));                             \
    const vkValue* rc = RK(vmArgC(i));                             \
    if (rb->tt != VK_TNUMBER || rc->tt != VK_TNUMBER) goto op_bad; \
    vmSetNumber(ra, rb->v.n op rc->v.n);                           \
    NEXT();                                                        \
  }

  NEXT();
op_move:
  *ra = base[vmArgB(i)];
  NEXT();
op_loadk:
  *ra = k[vmArgBx(i)];
  NEXT();
op_getglobal:
  *ra = *gl[vmArgBx(i)];
  NEXT();
op_setglobal:
  *gl[vmArgBx(i)] = *ra;
  NEXT();
op_add:
  ARITH(+)
op_sub:
  ARITH(-)
op_jmp:
  pc += vmJumpOffset(i);
  NEXT();
op_lt: {
  const vkValue* rb = RK(vmArgB(i));
  const vkValue* rc = RK(vmArgC(i));
  if (rb->tt != VK_TNUMBER || rc->tt != VK_TNUMBER) goto op_bad;
  if ((rb->v.n < rc->v.n) != vmArgA(i))
    pc++;
  else
    pc += vmJumpOffset(*pc) + 1;
  NEXT();
}
op_forloop: {
  if (ra->tt != VK_TNUMBER || ra[1].tt != VK_TNUMBER || ra[2].tt != VK_TNUMBER) goto op_bad;
  double step = ra[2].v.n;
  double idx = ra->v.n + step;
  if (step > 0 ? idx <= ra[1].v.n : idx >= ra[1].v.n) {
    ra->v.n = idx;
    pc += vmArgSBx(i);
  }
  NEXT();
}
op_closure: {
  functions.push_back(std::make_unique<FloorFunction>(FloorFunction{proto->p[vmArgBx(i)].get(), nullptr}));
  ra->tt = VK_TFUNCTION;
  ra->v.p = functions.back().get();
  NEXT();
}
op_call: {
  if (ra->tt != VK_TFUNCTION) goto op_bad;
  const FloorFunction* f = static_cast<const FloorFunction*>(ra->v.p);
  int b = vmArgB(i);
  if (f->number) {
    if (b != 2 || ra[1].tt != VK_TNUMBER || vmArgC(i) != 2) goto op_bad;
    vmSetNumber(ra, f->number(ra[1].v.n));
    NEXT();
  }
  ci->savedpc = pc;
  proto = f->proto;
  vkValue* args = ra + b;
  base = ra + 1;
  if (args > base + proto->numparams) args = base + proto->numparams;
  for (vkValue* top = base + proto->frame; args < top; args++) vmSetNil(args);
  *++ci = {base, proto->code.data(), proto};
  pc = proto->code.data();
  k = proto->k.data();
  gl = proto->globals.data();
  NEXT();
}
op_return:  // one result, as both programs return
  if (ci == frames.data()) return ra->v.n;
  base[-1] = *ra;
  --ci;
  base = ci->base;
  pc = ci->savedpc;
  proto = ci->proto;
  k = proto->k.data();
  gl = proto->globals.data();
  NEXT();
op_bad:
  std::abort();
#undef RK
#undef NEXT
#undef ARITH
}

double half(double x) { return x / 2; }

void BM_Fib27Floor(benchmark::State& state) {
  Floor floor;
  floor.main = floor.build(fibProgram(27));
  for (auto _ : state)
    if (floor.run() != 196418) state.SkipWithError("wrong result");
}
BENCHMARK(BM_Fib27Floor)->Unit(benchmark::kMillisecond);

void BM_NumberCommandCallsFloor(benchmark::State& state) {
  Floor floor;
  floor.setCommand("half", half);
  floor.main = floor.build(halfLoopProgram());
  for (auto _ : state)
    if (floor.run() != 1e6 * (1e6 + 1) / 4) state.SkipWithError("wrong result");
}
BENCHMARK(BM_NumberCommandCallsFloor)->Unit(benchmark::kMillisecond);

}  // namespace
