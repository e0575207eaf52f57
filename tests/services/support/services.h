// Test support for the engine services: a fresh engine with the program-wide
// records (error record, attributes, library registry, handler chains) reset,
// and script chunks assembled from listings and run protected.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "engine/state.h"

namespace vktest {

class ServicesTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Assembles [listing] and pushes its main function; fails the test when it
  // does not load.
  void LoadListing(const std::string& listing, const char* chunkName = "script.vk");
  // Loads [listing] and runs it protected: 0 or the error code.
  int RunListing(const std::string& listing, const char* chunkName = "script.vk");
  double GlobalNumber(const char* name);

  vkState* L = nullptr;
};

}  // namespace vktest
