// The string, math and memblock commands reached from assembled bytecode the
// way a compiled script reaches them: as globals by lower-cased name, with
// results in registers and errors that stop the chunk with their code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/bytecode.h"
#include "base/errorinfo.h"
#include "engine/errormessages.h"
#include "engine/errors.h"
#include "engine/vmapi.h"
#include "runtime/mathlib.h"
#include "runtime/memblocklib.h"
#include "runtime/stringlib.h"
#include "support/libcall.h"
#include "tools/vkasm/vkasm.h"

namespace {

class BaseLibsChunkTest : public vktest::LibraryTest {
 protected:
  void SetUp() override {
    OpenLibrary(OpenStringLibrary);
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenMathLibrary(L), 0);
    ASSERT_EQ(OpenMemBlockLibrary(L), 0);
    vmSetTop(L, 0);
  }
  // Assembles and runs [listing]; returns the status, results on the stack.
  int Run(const std::string& listing) {
    std::vector<uint8_t> code = vkasm::Assemble(listing, "chunk");
    int status = vmLoadBuffer(L, code.data(), code.size(), "chunk");
    if (status != 0) return status;
    return vmPCall(L, 0, VK_MULTRET, 0);
  }
};

TEST_F(BaseLibsChunkTest, ChunkCallsCommandsByName) {
  ASSERT_EQ(Run(R"(
      GETGLOBAL 0 "replacestr"
      LOADK 1 "a-b-c"
      LOADK 2 "-"
      LOADK 3 "+"
      CALL 0 4 2
      GETGLOBAL 1 "round"
      LOADK 2 #2.5
      CALL 1 2 2
      GETGLOBAL 2 "allocmem"
      LOADNIL 3 3
      LOADK 4 #8
      CALL 2 3 2
      GETGLOBAL 3 "poke"
      MOVE 4 2
      LOADK 5 #4
      LOADK 6 #258
      CALL 3 4 1
      GETGLOBAL 3 "peek"
      MOVE 4 2
      LOADK 5 #4
      CALL 3 3 2
      RETURN 0 5
  )"), 0);
  ASSERT_EQ(vmGetTop(L), 4);
  EXPECT_STREQ(vmToString(L, 1), "a+b+c");
  EXPECT_EQ(vmToNumber(L, 2), 2);
  EXPECT_EQ(vmType(L, 3), VK_TLIGHTUSERDATA);
  EXPECT_EQ(vmToNumber(L, 4), 258);
}

TEST_F(BaseLibsChunkTest, CommandErrorStopsTheChunkWithItsCode) {
  EXPECT_EQ(Run(R"(
      GETGLOBAL 0 "allocmem"
      LOADK 1 #1
      LOADK 2 #4
      CALL 0 3 1
      GETGLOBAL 0 "peek"
      LOADK 1 #1
      LOADK 2 #2
      CALL 0 3 2
      RETURN 0 2
  )"), 1146);
  EXPECT_EQ(FormatErrorMessage(1146), "Specified offset is out of range!");
  EXPECT_EQ(ErrorInfo().lastError, 1146u);
  EXPECT_EQ(ErrorInfo().stopFlag, 1u);  // outside a protected script call the run ends
  ErrorInfo().stopFlag = 0;
  EXPECT_EQ(Run(R"(
      GETGLOBAL 0 "bittest"
      LOADK 1 #5
      CALL 0 2 2
      RETURN 0 2
  )"), 1014);
}

}  // namespace
