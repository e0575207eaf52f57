// Label jumps as commands ask for them: the label is found by name in the
// label table, the command stores the jump offset and returns -1 (come back
// after the call) or -2 (come back to run the call again).
#include <string>

#include "base/errorinfo.h"
#include "engine/errormessages.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "support/services.h"

namespace {

using vktest::ServicesTest;

int gCalls = 0;
int gResult = -1;            // what the gosub command returns once the label is found
std::string gLabel = "Sub";  // the label it jumps to

int Gosub(vkState* L) {
  gCalls++;
  const char* name = gLabel.c_str();
  int32_t label = vmFindLabel(L, name);
  if (label < 0) {
    SetErrorText(name);
    return 1072;  // "Cannot find label "%s" !"
  }
  if (gResult == -2 && gCalls > 1) return 0;  // the repeated call goes on
  ErrorInfo().jumpOffset = label - ErrorInfo().pcIndex;
  return gResult;
}

// The call is instruction 1 (with -2 its GETGLOBAL runs again before it);
// the label "sub" is instruction 5.
const char* kListing = R"(
.source "script.vk"
.line 1
  GETGLOBAL 0 "gosub"
  CALL 0 1 1
  LOADK 0 #1
  SETGLOBAL 0 "back"
  RETURN 0 1
sub:
  GETGLOBAL 0 "insub"
  ADD 0 0 #1
  SETGLOBAL 0 "insub"
  RETURN 0 1 1
)";

class LabelJumpsTest : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    gCalls = 0;
    vmPushString(L, "gosub");
    vmPushCClosure(L, Gosub, 0);
    vmRawSet(L, VK_GLOBALSINDEX);
    vmDefineLabel(L, "SUB", 5);
    gLabel = "Sub";
  }
};

TEST_F(LabelJumpsTest, JumpAndComeBack) {
  const struct {
    int result;
    int calls;
  } cases[] = {{-1, 1}, {-2, 2}};
  for (const auto& c : cases) {
    gCalls = 0;
    gResult = c.result;
    vmPushString(L, "insub");
    vmPushNumber(L, 0);
    vmRawSet(L, VK_GLOBALSINDEX);
    ASSERT_EQ(RunListing(kListing), 0) << c.result;
    EXPECT_EQ(GlobalNumber("insub"), 1) << c.result;  // the label's code ran once
    EXPECT_EQ(GlobalNumber("back"), 1) << c.result;   // and came back
    EXPECT_EQ(gCalls, c.calls) << c.result;
  }
}

TEST_F(LabelJumpsTest, UnknownLabelIsANumberedError) {
  gResult = -1;
  gLabel = "Nowhere";
  EXPECT_EQ(RunListing(kListing), 1072);
  EXPECT_EQ(FormatErrorMessage(1072), "Cannot find label \"Nowhere\" !");
  EXPECT_EQ(GlobalNumber("back"), 0);
}

}  // namespace
