// Start-up and shutdown. The library table and the shutdown's free-all list
// are tables walked in order; a library not built yet has no opener. Every
// failure of the start-up jumps to the shutdown with its code, and the
// shutdown runs whatever was reached: each free-all step tolerates empty lists.
#include "player/startup.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/errorcodes.h"
#include "engine/attributes.h"
#include "engine/bytecode.h"
#include "engine/call.h"
#include "base/errorinfo.h"
#include "engine/errormessages.h"
#include "engine/errors.h"
#include "runtime/errorreport.h"
#include "engine/libraries.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/drawlib.h"
#include "graphics/graphicslib.h"
#include "player/soundattributes.h"
#include "layers/textlayers.h"
#include "graphics/graphicsstate.h"
#include "graphics/sprites.h"
#include "effects/transitionfx.h"
#include "layers/anims.h"
#include "layers/layers.h"
#include "layers/moveobject.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"
#include "platform/vkos_files.h"
#include "runtime/appletreader.h"
#include "base/catalog.h"
#include "runtime/console.h"
#include "runtime/doslib.h"
#include "runtime/eventlib.h"
#include "platform/eventqueue.h"
#include "runtime/mathlib.h"
#include "runtime/memblocklib.h"
#include "runtime/options.h"
#include "runtime/preloads.h"
#include "runtime/stringlib.h"
#include "runtime/systemlib.h"
#include "sound/soundlib.h"
#include "text/fonts.h"
#include "text/textlib.h"
#include "text/textobjects.h"


namespace {

constexpr uint32_t kCatalogCompiling = 106;

// The command libraries in the order they are opened.
const vkLibraryOpener kLibraryTable[] = {
    {"string", OpenStringLibrary},
    {"math", OpenMathLibrary},
    {"graphics", OpenGraphicsLibrary},
    {"draw", OpenDrawLibrary},
    {"moveobject", OpenMoveObjectLibrary},
    {"dos", OpenDOSLibrary},
    {"event", OpenEventLibrary},
    {"system", OpenSystemLibrary},
    {"layers", OpenLayersLibrary},
    {"text", OpenTextLibrary},
    {"text objects", OpenTextObjectLibrary},
    {"anim", OpenAnimLibrary},
    {"display", OpenDisplayLibrary},
    {"sound", OpenSoundLibrary},
    {"brush", OpenBrushLibrary},
    {"bgpic", OpenBGPicLibrary},
    {"transitionfx", OpenTransitionFXLibrary},
    {"sprite", OpenSpriteLibrary},
    {"memblock", OpenMemBlockLibrary},
};

// The free-all steps of the shutdown, in their order: platform, drawing
// buffers, audio, displays and graphics objects, timers, text, anims and
// layers, files, memory blocks, event objects, and last samples and music.
const vkShutdownStep kShutdownSteps[] = {
    {"vkosRunStateHook", [](vkState*) { vkosRunStateHook(); }},
    {"FreeDrawBuffers", FreeDrawBuffers},
    {"StopAllAudio", [](vkState* L) { if (L) StopAllAudio(L); }},
    {"CloseAllDisplays", [](vkState* L) { CloseAllDisplays(L); }},
    {"FreeGraphicsObjects", [](vkState* L) { FreeGraphicsObjects(L); }},
    {"FreeDrawTables", [](vkState* L) { FreeDrawTables(L); }},
    {"FreeAllBrushes", [](vkState* L) { FreeAllBrushes(L); }},
    {"FreeAllBGPics", [](vkState* L) { FreeAllBGPics(L); }},
    {"FreeAllSprites", [](vkState* L) { FreeAllSprites(L); }},
    {"FreeAllStopwatches", [](vkState* L) { if (L) FreeAllStopwatches(L); }},
    {"FreeAllTextObjectsAndFonts", [](vkState* L) { FreeAllTextObjectsAndFonts(L); }},
    {"FreeAllAnims", [](vkState* L) { FreeAllAnims(L); }},
    {"CloseLayersLibrary", [](vkState* L) { CloseLayersLibrary(L); }},
    {"CloseAllFileHandles", [](vkState* L) { if (L) CloseAllDosObjects(L); }},
    {"FreeAllMemBlocks", [](vkState* L) { if (L) FreeAllMemBlocks(L); }},
    {"FreeAllEventObjects", [](vkState* L) { if (L) FreeAllEventObjects(L); }},
    {"FreeAllSounds", [](vkState* L) { if (L) FreeAllSounds(L); }},
};

// The libraries whose commands never need a display on screen: a run that
// calls only these leaves the first display's window unopened.
constexpr const char* kLibrariesWithoutDisplay[] = {"string", "math", "dos", "memblock"};

// A run that computes for longer than this shows its windows anyway.
constexpr int32_t kShowDisplaysAfterMs = 250;

void ShowDisplaysFromPump(vkState* L) {
  if (int code = ShowPendingDisplays(L)) vmRaiseError(L, code);
}

// Opens the displays' windows before the first command of any other library,
// or from the event pump once the run has gone on for a while.
void GateDisplayCommands(vkState* L) {
  for (const vkLibraryEntry* library = FirstLibrary(L); library; library = library->next.get()) {
    bool needsDisplay = true;
    for (const char* name : kLibrariesWithoutDisplay)
      if (library->name == name) needsDisplay = false;
    if (needsDisplay) vmMarkFirstUseCommands(L, library->commands);
  }
  vmSetFirstUseHook(L, ShowPendingDisplays);
  vkosCallAfter(kShowDisplaysAfterMs, ShowDisplaysFromPump);
}

uint32_t OpenLibraries(vkState* L) {
  for (const vkLibraryOpener& library : kLibraryTable) {
    if (!library.open) continue;
    vmPushValue(L, VK_GLOBALSINDEX);
    const int code = library.open(L);
    vmSetTop(L, 0);
    if (code != 0) return uint32_t(code);
  }
  return 0;
}

void SetRegistryPointer(vkState* L, const char* key, void* pointer) {
  vmPushString(L, key);
  vmPushLightUserdata(L, pointer);
  vmRawSet(L, VK_REGISTRYINDEX);
}

// The registry entries and globals the libraries find the run by.
void RegisterRun(vkState* L, vkProgramContext& context, vkApplet& applet) {
  SetRegistryPointer(L, "applet", &applet);
  AttachProgramContext(L, &context);
  vmPushString(L, "inclevels");
  vmNewTable(L);
  vmPushString(L, "count");
  vmPushNumber(L, 0);
  vmRawSet(L, -3);
  vmRawSet(L, VK_REGISTRYINDEX);
  vmPushString(L, "_g");
  vmPushValue(L, VK_GLOBALSINDEX);
  vmRawSet(L, VK_GLOBALSINDEX);
}

// The graphics library's settings and queries first, then the sound library's.
uint32_t AddAttrHandlers(vkState* L) {
  if (int code = AddSetAttrHandler(L, SetGraphicsAttr)) return uint32_t(code);
  if (int code = AddSetAttrHandler(L, SoundSettingsHandler)) return uint32_t(code);
  if (int code = AddGetAttrHandler(L, GetGraphicsAttr)) return uint32_t(code);
  return uint32_t(AddGetAttrHandler(L, SoundAttributeHandler));
}

void PumpHook(vkState* L, vkDebugInfo* ar) { vkosPumpEvents(L, ar); }

// Start-up steps after the engine exists; the first error ends them.
uint32_t StartUp(vkState* L, int argc, const char* const* argv, vkProgramContext& context, vkApplet& applet) {
  const uint32_t attachedOffset = AttachedAppletOffset();
  char path[4096];
  if (vkosGetExecutablePath(path, sizeof path) == 0) context.executablePath = path;

  vkOptionSlots slots;
  if (uint32_t code = ParseArgumentLine(JoinArguments(argc, argv), slots, context)) return code;
  if (slots.Has(OPT_SCRIPT)) {
    context.scriptPath = slots.Text(OPT_SCRIPT);
    if (slots.Has(OPT_COMPILE)) context.outputPath = slots.Text(OPT_COMPILE);
  } else if (const char* document = vkosGetLaunchDocument()) {
    context.scriptPath = document;
  } else if (attachedOffset == 0) {
    return kErrUserAbort;  // nothing to run: end without a word
  }
  if (attachedOffset != 0) context.scriptPath = context.executablePath;

  if (uint32_t code = ReadIniFile(IniPathFor(context.scriptPath), slots, context)) return code;
  if (uint32_t code = ApplyOptions(slots, context, applet)) return code;
  if (uint32_t code = CheckCompileRequest(context)) return code;
  if (attachedOffset != 0) context.quiet = 1;
  SetAttrs(L, nullptr, {{ATTR_QUIET, context.quiet}});

  RegisterRun(L, context, applet);
  if (uint32_t code = OpenLibraries(L)) return code;
  if (uint32_t code = AddAttrHandlers(L)) return code;
  RegisterSoundAttributes(L);
  RegisterTextLayers(L);
  SetAttrs(L, nullptr, {{ATTR_NOSOUND, context.noSound}, {ATTR_MASTERVOLUME, context.masterVolume}});

  if (!context.private1Path.empty() || !context.private2Path.empty()) {
    if (!context.private1Path.empty()) DumpCommands(L, context.private1Path.c_str());
    if (!context.private2Path.empty()) DumpConstants(L, context.private2Path.c_str());
    return 0;
  }

  if (uint32_t code = ReadApplet(L, context, applet, attachedOffset)) return code;
  if (uint32_t code = LoadMainChunk(L, context, applet)) return code;
  if (uint32_t code = RunPreloads(L, context, applet)) return code;
  FreeImageCache(L);  // what the preloads shared is theirs now
  if (int code = OpenFirstDisplay(L, &applet, &context)) return uint32_t(code);
  if (DisplaysPending(L)) GateDisplayCommands(L);
  if (uint32_t code = CreatePendingFontBitMaps(L)) return code;
  SetAttrs(L, nullptr, {{ATTR_LINEINFO, 1}});
  return uint32_t(vkosRunMainChunk(L, [](vkState* s) { return vmPCall(s, 0, 0, 0); }));
}

}  // namespace

uint32_t LoadMainChunk(vkState* L, vkProgramContext& context, vkApplet& applet) {
  (void)context;
  PrintStatus(L, GetCatalogText(kCatalogCompiling), nullptr, true);
  SetAttrs(L, nullptr, {{ATTR_LINEINFO, 1}});
  const int code = vmLoadBuffer(L, applet.bytecode.data(), applet.bytecode.size(), context.scriptPath.c_str());
  SetAttrs(L, nullptr, {{ATTR_LINEINFO, 0}});
  if (code != 0) return uint32_t(code);
  vmSetHook(L, PumpHook, VK_MASKLINE, 0, vkosPumpGate());
  PrintDone(L);
  return 0;
}

namespace {

// Test tooling: with VK_WINDOW_DUMP naming a file, what the current
// display's window shows when the run ends is written there as a binary PPM.
void DumpCurrentWindow(vkState* L) {
  const char* path = std::getenv("VK_WINDOW_DUMP");
  if (path == nullptr || L == nullptr) return;
  if (ShowPendingDisplays(L) != 0) return;
  const vkDisplay* d = GraphicsState(L).CurrentDisplay;
  std::vector<uint32_t> pixels;
  if (d == nullptr || d->os == nullptr || !vkosReadWindow(d->os, &pixels)) return;
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "wb"), std::fclose);
  if (!file) return;
  std::fprintf(file.get(), "P6\n%d %d\n255\n", d->os->width, d->os->height);
  std::vector<uint8_t> rgb;
  rgb.reserve(pixels.size() * 3);
  for (uint32_t p : pixels) rgb.insert(rgb.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
  std::fwrite(rgb.data(), 1, rgb.size(), file.get());
}

}  // namespace

int Shutdown(uint32_t error, vkState* L, vkProgramContext& context, vkApplet& applet) {
  DumpCurrentWindow(L);
  context.iconPaths = {};
  SetAttrs(L, nullptr, {{ATTR_SCRIPTPHASE, 0}, {ATTR_QUIET, context.quiet}});
  for (const vkShutdownStep& step : kShutdownSteps) {
    if (context.shutdownObserver) context.shutdownObserver(step.name);
    if (step.run) step.run(L);
  }
  context.userArgs.clear();
  context.private1Path.clear();
  context.private2Path.clear();

  const bool reported = error > 0 && error != kErrUserAbort;
  if (reported) {
    if (context.debugDevice && StatusLineOpen(L)) PrintFailed(L);
    ReportFinalError(L, int32_t(error), context.debugDevice != 0, &context.errorMessage);
  }

  FreeAttrHandlers(L);
  if (L) FreeLibraryRegistry(L);
  RemoveEvents(-1, true);
  applet = vkApplet{};
  if (L) vmCloseState(L);
  context.temporaryFiles.clear();  // deletes the unpacked applet
  vkosExit();
  return reported ? 1 : 0;
}

int RunPlayer(int argc, const char* const* argv, vkShutdownObserver observer) {
  std::unique_ptr<vkProgramContext> context;
  std::unique_ptr<vkApplet> applet;
  try {
    context = std::make_unique<vkProgramContext>();
    applet = std::make_unique<vkApplet>();
  } catch (const std::bad_alloc&) {
    std::printf("Not enough memory.\n");
    return 1;
  }
  context->shutdownObserver = observer;
  vkState* L = vmNewState();
  if (!L) {
    std::printf("Not enough memory.\n");
    return 1;
  }
  uint32_t code = uint32_t(vkosInit());
  if (code == 0) {
    try {
      code = StartUp(L, argc, argv, *context, *applet);
    } catch (const std::bad_alloc&) {
      code = kErrOutOfMemory;
    }
  }
  return Shutdown(code, L, *context, *applet);
}
