// GetAttribute's rows for the runtime's objects: memory blocks, files,
// directories, intervals, timeouts and event handlers, each registered by
// its own library in the run's attribute registry.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../common/scratchdir.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "platform/vkos.h"
#include "runtime/doslib.h"
#include "runtime/eventlib.h"
#include "runtime/memblocklib.h"
#include "support/libcall.h"

namespace {

using vktest::Arg;

int OpenRuntimeLibraries(vkState* L) {
  if (int rc = OpenMemBlockLibrary(L)) return rc;
  if (int rc = OpenDOSLibrary(L)) return rc;
  if (int rc = OpenEventLibrary(L)) return rc;
  RegisterAttributeCommands(L);
  return 0;
}

int Tick(vkState*) { return 0; }

class ObjectAttributes : public vktest::LibraryTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(vkosInit(), 0);
    OpenLibrary(OpenRuntimeLibraries);
    vmPushString(L, "tick");
    vmPushCClosure(L, Tick, 0);
    vmSetTable(L, VK_GLOBALSINDEX);
  }
  void TearDown() override {
    FreeAllEventObjects(L);
    CloseAllDosObjects(L);
    FreeAllMemBlocks(L);
    vktest::LibraryTest::TearDown();
    vkosExit();
  }
  ScratchDir dir;
};

TEST_F(ObjectAttributes, RuntimeObjectsAnswerTheirRows) {
  constexpr int MEMORY = 39, EVENTHANDLER = 40, INTERVAL = 41, TIMEOUT = 42, FILE = 44, DIRECTORY = 45;
  const std::string file = dir.Write("a.txt", "abc");
  RunCases({
      {"AllocMem", {1, 300}, ""},
      {"GetAttribute", {MEMORY, 1, ATTRSIZE}, "300"},
      {"GetAttribute", {MEMORY, 0, ATTRCOUNT}, "1"},
      {"GetAttribute", {MEMORY, 2, ATTRSIZE}, "error 1180"},
      {"GetAttribute", {MEMORY, 1, ATTRWIDTH}, "error 1080"},
      {"OpenFile", {3, file, 1005}, ""},  // MODE_READ
      {"GetAttribute", {FILE, 3, ATTRMODE}, "1005"},
      {"GetAttribute", {FILE, 4, ATTRMODE}, "error 1179"},
      {"GetAttribute", {FILE, 0, ATTRCOUNT}, "1"},
      {"GetAttribute", {DIRECTORY, 0, ATTRCOUNT}, "0"},
      {"GetAttribute", {DIRECTORY, 1, ATTRMODE}, "error 1080"},
      {"SetInterval", {5, Arg::global("tick"), 250, 77}, ""},
      {"GetAttribute", {INTERVAL, 5, ATTRDURATION}, "250"},
      {"GetAttribute", {INTERVAL, 5, ATTRUSERDATA}, "77"},
      {"GetAttribute", {INTERVAL, 5, ATTRFUNCTION}, "?"},  // the function itself
      {"GetAttribute", {INTERVAL, 0, ATTRCOUNT}, "1"},
      {"GetAttribute", {INTERVAL, 6, ATTRDURATION}, "error 1194"},
      {"SetTimeout", {6, Arg::global("tick"), 40}, ""},
      {"GetAttribute", {TIMEOUT, 6, ATTRUSERDATA}, "0"},
      {"GetAttribute", {TIMEOUT, 5, ATTRDURATION}, "error 1195"},
      {"GetAttribute", {EVENTHANDLER, "OnSampleEnd", ATTRFUNCTION}, "0"},
      {"GetAttribute", {EVENTHANDLER, "onkeydown", ATTRUSERDATA}, "0"},
      {"GetAttribute", {EVENTHANDLER, "onnothing", ATTRFUNCTION}, "error 1222"},
  });
}

}  // namespace
