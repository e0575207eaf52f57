// Test support for the dos library: a fresh engine and scratch directory per
// test, file handles opened on generated files, script functions assembled
// from listings, and native code run as a command under a protected call.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "../../common/scratchdir.h"
#include "engine/bytecode.h"
#include "engine/vmapi.h"
#include "runtime/dosfiles.h"

namespace dostest {

class DosTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens [path] with [mode] under [number]; fails the test when it cannot.
  vkFileHandle* Open(const std::string& path, int32_t mode, int32_t number = 1);
  // A read handle on a new file holding [bytes].
  vkFileHandle* OpenBytes(const std::string& bytes, int32_t number = 1);
  // Assembles [listing] and pushes its main function.
  void PushFunction(const std::string& listing);
  // Runs [body] as a command under a protected call, its code as the
  // command's result: 0 (results stay on the stack, [nresults] of them) or
  // the error code, also when the engine raised it.
  int Run(const std::function<uint32_t()>& body, int nresults = 1);

  vkState* L = nullptr;
  ScratchDir dir;
};

// A function returning the number [value], padded with [padding] string
// constants so that its bytecode can be made as long as a test needs.
std::string ReturnListing(double value, int padding = 0);

// True when python3 can be run.
bool HavePython();

}  // namespace dostest
