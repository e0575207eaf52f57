// Closures and upvalues: two closures over one local share its upvalue
// before and after the frame returns, and open upvalues follow the stack
// when it is reallocated.
#include <gtest/gtest.h>

#include "engine/function.h"
#include "support/vmtest.h"

namespace {

using namespace vktest;

Fn getter() {
  Fn f;
  f.nups = 1;
  f.lineDefined = 1;
  f.maxstack = 2;
  f.code = {ABC(OP_GETUPVAL, 0, 0, 0), RET(0, 1)};
  return f;
}
Fn setter() {
  Fn f;
  f.nups = 1;
  f.numparams = 1;
  f.lineDefined = 2;
  f.maxstack = 2;
  f.code = {ABC(OP_SETUPVAL, 0, 0, 0), RET(0, 0)};
  return f;
}

TEST_F(EngineTest, ClosuresShareAnUpvalueBeforeAndAfterTheFrameReturns) {
  Fn main;
  main.maxstack = 6;
  main.k = {kNum(1), kStr("get"), kStr("set"), kNum(42)};
  main.p = {getter(), setter()};
  main.code = {ABx(OP_LOADK, 0, 0),     ABx(OP_CLOSURE, 1, 0),  ABC(OP_MOVE, 0, 0, 0), ABx(OP_CLOSURE, 2, 1),
               ABC(OP_MOVE, 0, 0, 0),   ABx(OP_SETGLOBAL, 1, 1), ABx(OP_SETGLOBAL, 2, 2), ABC(OP_MOVE, 3, 2, 0),
               ABx(OP_LOADK, 4, 3),     ABC(OP_CALL, 3, 2, 1),  ABC(OP_MOVE, 3, 1, 0), ABC(OP_CALL, 3, 1, 2),
               RET(3, 1)};
  ASSERT_EQ(RunFn(L, main, 1), 0);
  EXPECT_EQ(vmToNumber(L, -1), 42);
  // The frame has returned: the shared upvalue is closed and still shared.
  vmPushString(L, "set");
  vmGetTable(L, VK_GLOBALSINDEX);
  vmPushNumber(L, 7);
  vmCall(L, 1, 0);
  vmPushString(L, "get");
  vmGetTable(L, VK_GLOBALSINDEX);
  vmCall(L, 0, 1);
  EXPECT_EQ(vmToNumber(L, -1), 7);
}

int growStack(vkState* L) {
  vkValue* before = L->stack;
  vmCheckStack(L, 1500);
  (void)before;
  return L->stack != before ? 0 : 1000;  // fails the call when nothing moved
}

TEST_F(EngineTest, OpenUpvaluesFollowTheStackWhenItMoves) {
  Fn main;
  main.maxstack = 6;
  main.k = {kNum(1), kStr("grow"), kNum(99)};
  main.p = {setter()};
  main.code = {ABx(OP_LOADK, 0, 0),  ABx(OP_CLOSURE, 1, 0), ABC(OP_MOVE, 0, 0, 0), ABx(OP_GETGLOBAL, 2, 1),
               ABC(OP_CALL, 2, 1, 1), ABC(OP_MOVE, 2, 1, 0),  ABx(OP_LOADK, 3, 2),  ABC(OP_CALL, 2, 2, 1),
               RET(0, 1)};
  SetGlobalCommand(L, "grow", growStack);
  RuntimeAttrs(L).exitOnError = true;
  ASSERT_EQ(RunFn(L, main, 1), 0);
  EXPECT_EQ(vmToNumber(L, -1), 99);
}

TEST_F(EngineTest, FindUpvalueKeepsOneRecordPerSlotInSlotOrder) {
  vmSetTop(L, 3);
  vkUpval* a = vmFindUpvalue(L, L->base + 0);
  vkUpval* c = vmFindUpvalue(L, L->base + 2);
  vkUpval* b = vmFindUpvalue(L, L->base + 1);
  EXPECT_EQ(vmFindUpvalue(L, L->base + 1), b);
  EXPECT_EQ(L->openupval, c);
  EXPECT_EQ(c->next, b);
  EXPECT_EQ(b->next, a);
  vmSetNumber(L->base + 1, 5);
  vmCloseUpvalues(L, L->base + 1);
  EXPECT_EQ(L->openupval, a);
  EXPECT_EQ(b->v, &b->value);
  EXPECT_EQ(b->value.v.n, 5);
  vmCloseUpvalues(L, L->base);
}

TEST(LocalNames, ActiveLocalsByPc) {
  vkLocVar vars[2] = {{nullptr, 0, 5}, {nullptr, 2, 4}};
  vkProto p{};
  p.locvars = vars;
  p.sizelocvars = 2;
  EXPECT_EQ(vmGetLocalName(&p, 1, 10), nullptr);
  EXPECT_EQ(vmGetLocalName(&p, 3, 3), nullptr);
}

}  // namespace
