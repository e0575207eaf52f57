#include "appletfuzz.h"

#include <filesystem>
#include <string>

#include "engine/attributes.h"
#include "engine/state.h"
#include "runtime/appletreader.h"
#include "tests/common/fuzzinput.h"

namespace {

bool Inside(int64_t offset, int64_t size, int64_t fileSize) {
  return offset >= 0 && size >= 0 && offset <= fileSize && size <= fileSize - offset;
}

}  // namespace

uint32_t FuzzAppletReader(const uint8_t* data, size_t size) {
  const std::string input = fuzzinput::Write("input.vka", data, size);
  const std::filesystem::path cwd = std::filesystem::current_path();
  vkState* L = vmNewState();
  if (L == nullptr) __builtin_trap();
  SetAttrs(L, nullptr, {{ATTR_QUIET, 1}});
  uint32_t code;
  {
    vkProgramContext context;
    vkApplet applet;
    context.scriptPath = input;
    code = ReadApplet(L, context, applet, 0);
    if (code != 0 && code < 1000) __builtin_trap();
    if (code == 0) {
      // The file read: the input, or the temporary file a packed one was
      // unpacked into.
      std::error_code ec;
      const int64_t fileSize = static_cast<int64_t>(std::filesystem::file_size(context.scriptPath, ec));
      if (ec) __builtin_trap();
      for (const vkPreload& p : applet.preloads)
        if (p.dataSize != 0 && !Inside(p.dataOffset, p.dataSize, fileSize)) __builtin_trap();
      for (const vkLinkedFile& f : applet.linkedFiles)
        if (!Inside(f.offset, f.size, fileSize)) __builtin_trap();
    }
  }
  vmCloseState(L);
  std::filesystem::current_path(cwd);
  return code;
}
