// Limits the address space of the running process (a death-test child) to
// what it maps now plus [spare] bytes, so that a test can show that some work
// does not ask for more. Header-only so that the test binaries of several
// folders can share it. Returns false when the limit cannot be set.
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <fstream>
#include <string>

inline bool LimitAddressSpace(uint64_t spare) {
  std::ifstream status("/proc/self/status");
  std::string line;
  uint64_t kilobytes = 0;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) kilobytes = std::stoull(line.substr(7));
  const rlimit limit{(kilobytes << 10) + spare, RLIM_INFINITY};
  return kilobytes != 0 && setrlimit(RLIMIT_AS, &limit) == 0;
}
