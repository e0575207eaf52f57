// Test support for the dos library: engine fixture, handles and functions.
#include "dostest.h"

#include <cstdlib>

#include "base/errorinfo.h"
#include "engine/errors.h"
#include "engine/state.h"
#include "tools/vkasm/vkasm.h"

namespace dostest {

namespace {
const std::function<uint32_t()>* gBody = nullptr;
int Trampoline(vkState* L) {
  uint32_t code = (*gBody)();
  return code != 0 ? static_cast<int>(code) : vmGetTop(L);
}
}  // namespace

void DosTest::SetUp() {
  L = vmNewState();  // a fresh engine: its own error record, file handles and transfer mode
  ASSERT_NE(L, nullptr);
}

void DosTest::TearDown() {
  if (L) vmCloseState(L);
}

vkFileHandle* DosTest::Open(const std::string& path, int32_t mode, int32_t number) {
  vkFileHandle* h = nullptr;
  EXPECT_EQ(OpenFileHandle(L, vkIdRequest{number, false}, path.c_str(), mode, &h), 0u) << path;
  return h;
}

vkFileHandle* DosTest::OpenBytes(const std::string& bytes, int32_t number) {
  return Open(dir.Write("input" + std::to_string(number), bytes), MODE_READ, number);
}

void DosTest::PushFunction(const std::string& listing) {
  std::vector<uint8_t> code = vkasm::Assemble(listing, "test.vkasm");
  ASSERT_EQ(vmLoadBuffer(L, code.data(), code.size(), "=test"), 0);
}

int DosTest::Run(const std::function<uint32_t()>& body, int nresults) {
  const std::function<uint32_t()>* saved = gBody;
  gBody = &body;
  vmPushCClosure(L, Trampoline, 0);
  int status = vmPCall(L, 0, nresults, 0);
  gBody = saved;
  return status;
}

std::string ReturnListing(double value, int padding) {
  std::string listing = ".source \"=fn\"\n";
  for (int i = 0; i < padding; i++) listing += ".const \"padding constant " + std::to_string(i) + "\"\n";
  listing += "LOADK 0 #" + std::to_string(value) + "\nRETURN 0 2\n";
  return listing;
}

bool HavePython() { return std::system("python3 -c 'import base64' >/dev/null 2>&1") == 0; }

}  // namespace dostest
