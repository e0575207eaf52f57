// The engine services' test fixture.
#include "services.h"

#include "engine/attributes.h"
#include "engine/bytecode.h"
#include "base/errorinfo.h"
#include "engine/interpreter.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "tools/vkasm/vkasm.h"

namespace vktest {

void ServicesTest::SetUp() {
  L = vmNewState();  // a fresh engine: its own error record, GOSUB stack and libraries
  ASSERT_NE(L, nullptr);
}

void ServicesTest::TearDown() {
  if (L) vmCloseState(L);
}

void ServicesTest::LoadListing(const std::string& listing, const char* chunkName) {
  std::vector<uint8_t> bytes = vkasm::Assemble(listing, "test.vkasm");
  ASSERT_EQ(vmLoadBuffer(L, bytes.data(), bytes.size(), chunkName), 0);
}

int ServicesTest::RunListing(const std::string& listing, const char* chunkName) {
  LoadListing(listing, chunkName);
  if (HasFatalFailure()) return -1;
  return vmPCall(L, 0, 0, 0);
}

double ServicesTest::GlobalNumber(const char* name) {
  vmPushString(L, name);
  vmRawGet(L, VK_GLOBALSINDEX);
  double n = vmToNumber(L, -1);
  vmSetTop(L, -2);
  return n;
}

}  // namespace vktest
