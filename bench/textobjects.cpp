// What a text object costs: a 120-word paragraph in Vera Sans at 24 pixels,
// antialiased, wrapped at 800 pixels, made into a text object by
// CreateTextObject and shown centred on a 1920 x 1080 display by
// DisplayTextObject, both called as a script calls them; one iteration is
// both. Also each half alone. The display has no window: everything lands
// in its background buffer. bench/textobjects_pygame.py runs this beside
// pygame rendering the same paragraph line by line into one surface and
// blitting it centred, and prints the ratio.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "engine/state.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/graphicsstate.h"
#include "graphics/positions.h"
#include "text/textlib.h"
#include "text/textobjects.h"
#include "text/textstate.h"
#include "text/truetype.h"
#include "textscene.h"

namespace {

using benchtext::kH;
using benchtext::kW;

constexpr int32_t kWords = 120, kSize = 24, kWrap = 800;

// The same words every run (textobjects_pygame.py makes the same).
const std::string& Paragraph() {
  static const std::string text = benchtext::MakeParagraph(kWords);
  return text;
}

struct Scene : benchtext::TextScene {
  Scene() : TextScene(kSize) {
    Open(OpenTextObjectLibrary);
    vkTextState& ts = GetTextState(L);
    ts.style.font = font;
    ts.style.style = kStyleNormal | kStyleAntialias;
    ts.style.fontColour = 0xFFFFFF;
  }

  // Calls the command [name] (as the globals spell it: lower case) with number arguments (and the paragraph after
  // the first when [withText]); false on an error.
  bool Call(const char* name, std::initializer_list<double> args, bool withText) {
    vmPushString(L, name);
    vmGetTable(L, VK_GLOBALSINDEX);
    int n = 0;
    for (double a : args) {
      vmPushNumber(L, a), n++;
      if (withText && n == 1) vmPushLString(L, Paragraph().data(), Paragraph().size()), n++;
    }
    const int rc = vmPCall(L, n, 0, 0);
    vmSetTop(L, 0);
    return rc == 0;
  }
  bool Create() { return Call("createtextobject", {1, kAlignLeft, kWrap}, true); }
  bool Display() { return Call("displaytextobject", {1, kPosCenter, kPosCenter}, false); }
};

Scene& TheScene() {
  static Scene* scene = new Scene;
  return *scene;
}

void Report(benchmark::State& state) {
  state.counters["paragraphs/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CreateAndDisplayTextObject(benchmark::State& state) {
  Scene& s = TheScene();
  for (auto _ : state) {
    if (!s.Create() || !s.Display()) state.SkipWithError("command failed");
    benchmark::DoNotOptimize(s.back->pixels);
  }
  Report(state);
}
BENCHMARK(BM_CreateAndDisplayTextObject)->Unit(benchmark::kMillisecond);

void BM_CreateTextObject(benchmark::State& state) {
  Scene& s = TheScene();
  for (auto _ : state)
    if (!s.Create()) state.SkipWithError("command failed");
  Report(state);
  state.SetLabel("pixel size " + std::to_string(s.font->trueType->glyphs.pixelSize));
}
BENCHMARK(BM_CreateTextObject)->Unit(benchmark::kMillisecond);

void BM_DisplayTextObject(benchmark::State& state) {
  Scene& s = TheScene();
  if (!s.Create()) state.SkipWithError("command failed");
  for (auto _ : state) {
    if (!s.Display()) state.SkipWithError("command failed");
    benchmark::DoNotOptimize(s.back->pixels);
  }
  Report(state);
}
BENCHMARK(BM_DisplayTextObject)->Unit(benchmark::kMillisecond);

}  // namespace
