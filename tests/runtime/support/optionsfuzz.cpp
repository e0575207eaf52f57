#include "optionsfuzz.h"

#include <string>

#include "runtime/options.h"

uint32_t FuzzOptions(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const size_t split = bytes.find('\0');
  const std::string line = bytes.substr(0, split);
  const std::string ini = split == std::string::npos ? std::string() : bytes.substr(split + 1);
  vkOptionSlots slots;
  vkProgramContext context;
  vkApplet applet;
  uint32_t error = ParseArgumentLine(line, slots, context);
  if (error == 0) error = ParseIniText(ini, slots, context);
  if (error == 0) error = ApplyOptions(slots, context, applet);
  if (error == 0) error = CheckCompileRequest(context);
  if (error != 0 && error < 1000) __builtin_trap();
  return error;
}
