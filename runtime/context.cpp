// The marker block and the tables of the program context. The block is read
// only through its volatile definition, so the offset that the attach tool
// writes into the executable is what the player sees at run time.
#include "runtime/context.h"

#include "engine/runstate.h"
#include "engine/vmapi.h"

// The block's text and bytes stand only here in the executable: the attach
// tool searches for them.
__attribute__((used)) extern const volatile uint8_t gAppletMarker[kMarkerSize] = {
    'Q', 'u', 'i', 'l', 'l', 'm', 'o', 'o', 'r', ' ', 'A', 's', 'h', 't', 'u',
    'n', ' ', 'E', 'n', 't', 'e', 'r', 't', 'a', 'i', 'n', 'm', 'e', 'n', 't',
    0x00, 0x00,
    0xDE, 0xAD, 0xC0, 0xDE,
    0xC0, 0xDE, 0xCA, 0xFE, 0xC0, 0xCA, 0xC0, 0x1A,
    0x00};

const vkIconSize kIconSizes[kIconCount] = {
    {"ic16x16", 16, 16, 53},    {"ic24x24", 24, 24, 54},    {"ic32x32", 32, 32, 55},
    {"ic48x48", 48, 48, 56},    {"ic128x128", 128, 128, 57}, {"ic256x256", 256, 256, 58},
    {"ic512x512", 512, 512, 59},
};

std::array<uint8_t, kMarkerSize> CopyMarkerBlock() {
  std::array<uint8_t, kMarkerSize> copy{};
  for (size_t i = 0; i < kMarkerSize; ++i) copy[i] = gAppletMarker[i];
  return copy;
}

std::string MarkerText() {
  const std::array<uint8_t, kMarkerSize> block = CopyMarkerBlock();
  std::string text;
  for (size_t i = 0; i < kMarkerTextSize && block[i] != 0; ++i) text.push_back(char(block[i]));
  return text;
}

uint32_t AttachedAppletOffset() {
  const std::array<uint8_t, kMarkerSize> block = CopyMarkerBlock();
  const uint8_t* p = block.data() + kMarkerOffsetField;
  const uint32_t offset = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
  return offset == kNoAttachedApplet ? 0 : offset;
}

const char* ResolveLinkedFile(vkState* L, const char* fileName, int fontFlag, int* outFontFlag) {
  const auto* applet = static_cast<const vkApplet*>(vmGetRegistryPointer(L, "applet"));
  if (!applet) return fileName;
  const auto* context = static_cast<const vkProgramContext*>(vmGetRegistryPointer(L, "clargs"));
  return ResolveLinkedFileIn(ProgramContext(L).resolvedLinkedFile, applet->linkedFiles, applet->baseOffset,
                             context ? context->scriptPath.c_str() : "", fileName, fontFlag, outFontFlag);
}

vkProgramContext& ProgramContext(vkState* L) {
  vkEngineRun& run = EngineRun(L);
  if (run.program == nullptr) {
    run.ownProgram = std::make_shared<vkProgramContext>();
    run.program = run.ownProgram.get();
  }
  return *run.program;
}

void AttachProgramContext(vkState* L, vkProgramContext* context) {
  EngineRun(L).program = context;
  vmSetRegistryPointer(L, "clargs", context);
}
