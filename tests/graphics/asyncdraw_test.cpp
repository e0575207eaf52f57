// Asynchronous drawing objects driven by a counting fake creator: the
// True/False protocol of the frame loop, seeking, the render targets and
// displays a frame may be drawn for, the queries of displays and layers,
// and the free callback run exactly once however an object ends.
#include "graphics/asyncdraw.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "engine/errormessages.h"
#include "graphics/attributes.h"
#include "graphics/bgpics.h"
#include "graphics/graphicsstate.h"
#include "../runtime/support/libcall.h"

namespace {

// The creator's private record: a run of [frames] frames that counts every
// callback it receives.
struct FakeRun {
  int32_t frames = 3;
  int32_t current = 0;
  int32_t draws = 0, redraws = 0, seeks = 0;
  int32_t drawError = 0, seekError = 0;
  int32_t frees = 0, freeCompleted = -1;
  int32_t finishes = 0, finishCompleted = -1;
  vkLayer* layer = nullptr;
  vkBGPic* bgpic = nullptr;
  std::string notices;  // "[" and "]" for the picture-frame notices, "m<n>" for other messages
  void (*onFinish)(FakeRun&) = nullptr;
  vkGraphicsState* gs = nullptr;
};

int32_t Draw(void* data, int32_t* finished) {
  auto& run = *static_cast<FakeRun*>(data);
  if (run.drawError) return run.drawError;
  ++run.draws;
  if (++run.current >= run.frames) *finished = 1;
  return 0;
}
void Finish(void* data, int32_t completed) {
  auto& run = *static_cast<FakeRun*>(data);
  ++run.finishes, run.finishCompleted = completed;
  if (run.onFinish) run.onFinish(run);
}
void Free(void* data, int32_t completed) {
  auto& run = *static_cast<FakeRun*>(data);
  ++run.frees, run.freeCompleted = completed;
}
intptr_t Message(int32_t message, void* payload, void* data) {
  auto& run = *static_cast<FakeRun*>(data);
  switch (message) {
    case kAsyncFrameCount: return run.frames;
    case kAsyncCurrentFrame: return run.current;
    case kAsyncSeek:
      ++run.seeks;
      if (run.seekError) return run.seekError;
      run.current = *static_cast<int32_t*>(payload);
      return 0;
    case kAsyncRedraw: ++run.redraws; return 0;
    case kAsyncGetLayer: *static_cast<vkLayer**>(payload) = run.layer; return 0;
    case kAsyncGetBGPic: *static_cast<vkBGPic**>(payload) = run.bgpic; return 0;
    case kAsyncBGPicFrame: run.notices += payload ? "[" : "]"; return 0;
    default: run.notices += "m" + std::to_string(message); return 0;
  }
}

vkLayer* FakeLayer(int n) { return reinterpret_cast<vkLayer*>(uintptr_t(0x1000 * n)); }

// Two displays, the first current with layers on; the dirty list hook
// records the layers handed to it.
struct Scene {
  vkGraphicsState gs;
  vkDisplay& first = Add();
  vkDisplay& second = Add();
  std::vector<vkLayer*> dirty;
  // The creators' records, which outlive the objects the destructor frees.
  std::deque<FakeRun> runs;
  static Scene* current;
  vkDisplay& Add() {
    gs.DisplayList.emplace_back(new vkDisplay);
    return *gs.DisplayList.back();
  }
  Scene() {
    first.layersOn = 1;
    gs.CurrentDisplay = &first;
    current = this;
    gs.layerDirty = [](vkGraphicsState&, vkDisplay*, vkLayer* layer) { current->dirty.push_back(layer); };
  }
  ~Scene() {
    FreeAllAsyncDraws(gs);
  }
  FakeRun& NewRun() { return runs.emplace_back(); }
  vkObjectId Make(FakeRun& run, int32_t kind = ADF_FX) {
    void* handle = nullptr;
    run.gs = &gs;
    EXPECT_EQ(CreateAsyncDraw(gs, kind, Draw, Finish, Free, Message, &run, &handle), 0);
    return vkObjectId{0, handle};
  }
  // AsyncDrawFrame as the script sees it: "error N", "True" or "False".
  std::string Step(vkObjectId id, const int32_t* frame = nullptr) {
    int32_t done = -1;
    const int32_t rc = AsyncDrawFrame(gs, id, frame, &done);
    if (rc) return "error " + std::to_string(rc);
    return done ? "True" : "False";
  }
  std::string Seek(vkObjectId id, int32_t frame) { return Step(id, &frame); }
};
Scene* Scene::current = nullptr;

TEST(AsyncDrawFrame, FramesUntilTheLastThenTrueFreesOnce) {
  Scene s;
  FakeRun& run = s.NewRun();
  const vkObjectId id = s.Make(run);
  EXPECT_EQ(s.Step(id), "False");
  EXPECT_EQ(s.Step(id), "False");
  EXPECT_EQ(s.Step(id), "False");  // the last frame is drawn, still False
  EXPECT_EQ(run.draws, 3);
  EXPECT_EQ(run.frees, 0);
  EXPECT_EQ(s.Step(id), "True");  // draws nothing, ends the object
  EXPECT_EQ(run.draws, 3);
  EXPECT_EQ(run.finishes, 1);
  EXPECT_EQ(run.finishCompleted, 1);
  EXPECT_EQ(run.frees, 1);
  EXPECT_EQ(run.freeCompleted, 1);
  EXPECT_EQ(s.Step(id), "error 1041");
  FreeAllAsyncDraws(s.gs);
  EXPECT_EQ(run.frees, 1);
}

TEST(AsyncDrawFrame, RefusesOtherTargetsDisplaysAndUnknownObjects) {
  Scene s;
  FakeRun& run = s.NewRun();
  const vkObjectId id = s.Make(run);
  const struct {
    int32_t target;
    std::string outcome;
  } targets[] = {{kTargetBrush, "error 1082"}, {kTargetMask, "error 1147"}, {kTargetAlphaChannel, "error 1167"},
                 {kTargetBGPic, "False"}, {kTargetDisplay, "False"}};
  for (const auto& t : targets) {
    s.first.renderTarget = t.target;
    EXPECT_EQ(s.Step(id), t.outcome) << t.target;
  }
  EXPECT_EQ(run.draws, 2);
  // A brush target that is the double buffer names it.
  s.first.renderTarget = kTargetBrush;
  s.first.doubleBuffer = 1;
  EXPECT_EQ(s.Step(id), "error 1229");
  s.first.doubleBuffer = 0;
  s.first.renderTarget = kTargetDisplay;

  EXPECT_EQ(s.Step(vkObjectId{0, &run}), "error 1041");
  EXPECT_EQ(s.Step(vkObjectId{7, nullptr}), "error 1326");
  EXPECT_EQ(ErrorInfo().errorNumber, 7);
  EXPECT_EQ(CancelAsyncDraw(s.gs, vkObjectId{8, nullptr}), kErrNoAsyncDraw);
  EXPECT_EQ(FinishAsyncDraw(s.gs, vkObjectId{0, &run}), kErrObjectNotFound);

  // An object made while another display was current.
  s.gs.CurrentDisplay = &s.second;
  FakeRun& other = s.NewRun();
  const vkObjectId elsewhere = s.Make(other);
  s.gs.CurrentDisplay = &s.first;
  EXPECT_EQ(s.Step(elsewhere), "error 1379");
  EXPECT_EQ(s.Seek(elsewhere, 2), "error 1379");
  EXPECT_EQ(other.draws, 0);
}

TEST(AsyncDrawFrame, SeekingByFrameNumber) {
  // Each case starts from a run of 5 frames at frame [current] (finished
  // when it is 5) and gives one frame number.
  const struct {
    int32_t current, frame;
    bool layersOn;
    std::string outcome;
    int32_t draws, seeks, redraws, frees, currentAfter;
  } cases[] = {
      {2, 2, true, "False", 0, 0, 0, 0, 2},        // the current frame: nothing drawn
      {2, 3, true, "False", 1, 0, 0, 0, 3},        // the next frame is drawn
      {2, 0, true, "False", 1, 0, 0, 0, 3},        // 0 draws the next frame too
      {2, -4, true, "False", 1, 0, 0, 0, 3},       // below 1 counts as 0
      {2, 4, true, "False", 0, 1, 1, 0, 4},        // elsewhere: seek and redraw
      {2, 1, true, "False", 0, 1, 1, 0, 1},        // backwards too
      {2, 5, true, "True", 0, 1, 1, 0, 5},         // the last frame: True, object kept
      {2, 6, true, "error 1094", 0, 0, 0, 0, 2},   // past the end, unfinished
      {5, 6, true, "True", 0, 0, 0, 1, 5},         // past the end, finished: ends it
      {5, 0, true, "True", 0, 0, 0, 1, 5},
      {2, 3, false, "error 1078", 0, 0, 0, 0, 2},  // layers off
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.current << " -> " << c.frame);
    Scene s;
    s.first.layersOn = c.layersOn;
    FakeRun& run = s.NewRun();
    run.frames = 5, run.current = c.current;
    const vkObjectId id = s.Make(run);
    if (c.current == 5) {  // finished by drawing its last frame
      run.current = 4;
      ASSERT_EQ(s.Step(id), "False");
      run.draws = 0;
    }
    EXPECT_EQ(s.Seek(id, c.frame), c.outcome);
    EXPECT_EQ(run.draws, c.draws);
    EXPECT_EQ(run.seeks, c.seeks);
    EXPECT_EQ(run.redraws, c.redraws);
    EXPECT_EQ(run.frees, c.frees);
    EXPECT_EQ(run.current, c.currentAfter);
  }
}

TEST(AsyncDrawFrame, SeekToTheLastFrameThenTheNextCallEndsIt) {
  Scene s;
  FakeRun& run = s.NewRun();
  run.frames = 4;
  const vkObjectId id = s.Make(run);
  EXPECT_EQ(s.Seek(id, 4), "True");
  EXPECT_EQ(run.frees, 0);
  EXPECT_EQ(s.Step(id), "True");
  EXPECT_EQ(run.draws, 0);
  EXPECT_EQ(run.frees, 1);
  EXPECT_EQ(run.freeCompleted, 1);
  // A seek away from the end makes it unfinished again.
  FakeRun& back = s.NewRun();
  back.frames = 4;
  const vkObjectId id2 = s.Make(back);
  EXPECT_EQ(s.Seek(id2, 4), "True");
  EXPECT_EQ(s.Seek(id2, 2), "False");
  EXPECT_EQ(s.Step(id2), "False");
  EXPECT_EQ(back.draws, 1);
}

TEST(AsyncDrawFrame, PictureTargetsBracketTheFrameAndMarkTheLayer) {
  Scene s;
  s.first.renderTarget = kTargetBGPic;
  FakeRun& run = s.NewRun();
  run.frames = 6, run.layer = FakeLayer(3);
  const vkObjectId id = s.Make(run);
  EXPECT_EQ(s.Step(id), "False");
  EXPECT_EQ(run.notices, "[]");
  EXPECT_EQ(s.dirty, std::vector<vkLayer*>{FakeLayer(3)});
  EXPECT_EQ(s.Seek(id, 4), "False");  // a seek marks the layer, no redraw
  EXPECT_EQ(run.redraws, 0);
  EXPECT_EQ(s.dirty.size(), 2u);
  // A failing frame: its error, the notices still paired, the object kept.
  run.drawError = kErrOutOfMemory;
  EXPECT_EQ(s.Step(id), "error 1000");
  EXPECT_EQ(run.notices, "[][]");
  EXPECT_EQ(s.dirty.size(), 2u);
  run.seekError = kErrAnimFrameRange;
  EXPECT_EQ(s.Seek(id, 1), "error 1094");
  EXPECT_EQ(run.frees, 0);
  EXPECT_NE(FindAsyncDraw(s.gs, id.handle), nullptr);
}

TEST(AsyncDraws, FreeCallbackRunsExactlyOnceOnEveryPath) {
  enum Path { kCancel, kFinishUnfinished, kFinishFinished, kFreeAll, kStateGoes };
  const struct {
    Path path;
    int32_t finishes, finishCompleted, freeCompleted;
  } cases[] = {{kCancel, 0, -1, 0},
               {kFinishUnfinished, 1, 0, 0},
               {kFinishFinished, 1, 1, 1},
               {kFreeAll, 0, -1, 0},  // shutdown, or a display's new picture
               {kStateGoes, 0, -1, 0}};  // the run ends without anyone freeing them
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.path));
    FakeRun run, bystander;
    run.frames = 1;
    {
      Scene s;
      const vkObjectId id = s.Make(run);
      s.Make(bystander);
      if (c.path == kFinishFinished) {
        ASSERT_EQ(s.Step(id), "False");
      }
      switch (c.path) {
        case kCancel: EXPECT_EQ(CancelAsyncDraw(s.gs, id), 0); break;
        case kFinishUnfinished:
        case kFinishFinished: EXPECT_EQ(FinishAsyncDraw(s.gs, id), 0); break;
        case kFreeAll: FreeAllAsyncDraws(s.gs); break;
        case kStateGoes: {
          auto gs = std::make_unique<vkGraphicsState>();
          EXPECT_EQ(CancelAsyncDraw(s.gs, id), 0);
          run.frees = 0;
          ASSERT_EQ(CreateAsyncDraw(*gs, ADF_ANIM, Draw, nullptr, Free, nullptr, &run, nullptr), 0);
          gs.reset();
          break;
        }
      }
      EXPECT_EQ(FindAsyncDraw(s.gs, id.handle), nullptr);
      EXPECT_EQ(CancelAsyncDraw(s.gs, id), kErrObjectNotFound);
      EXPECT_EQ(bystander.frees, c.path == kFreeAll ? 1 : 0);
    }
    EXPECT_EQ(run.frees, 1);
    EXPECT_EQ(run.finishes, c.finishes);
    EXPECT_EQ(run.finishCompleted, c.finishCompleted);
    EXPECT_EQ(run.freeCompleted, c.freeCompleted);
    EXPECT_EQ(bystander.frees, 1);
  }
}

TEST(AsyncDraws, CallbacksThatFreeEverythingDoNotFreeTwice) {
  Scene s;
  FakeRun& run = s.NewRun();
  FakeRun& other = s.NewRun();
  run.frames = 1;
  run.onFinish = [](FakeRun& r) { FreeAllAsyncDraws(*r.gs); };
  const vkObjectId id = s.Make(run);
  s.Make(other);
  ASSERT_EQ(s.Step(id), "False");
  EXPECT_EQ(s.Step(id), "True");
  EXPECT_EQ(run.frees, 1);
  EXPECT_EQ(run.freeCompleted, 0);  // freed by the free-all inside the finish
  EXPECT_EQ(other.frees, 1);

  FakeRun& third = s.NewRun();
  third.onFinish = [](FakeRun& r) { FreeAllAsyncDraws(*r.gs); };
  const vkObjectId id3 = s.Make(third);
  EXPECT_EQ(FinishAsyncDraw(s.gs, id3), 0);
  EXPECT_EQ(third.frees, 1);
}

TEST(AsyncDraws, QueriesOfDisplaysAndLayers) {
  Scene s;
  FakeRun& anim = s.NewRun();
  FakeRun& fx1 = s.NewRun();
  FakeRun& fx2 = s.NewRun();
  FakeRun& silent = s.NewRun();
  vkBGPic picture;
  anim.layer = FakeLayer(1);
  anim.bgpic = &picture;  // not an effect: never asked
  fx2.bgpic = &picture;
  fx2.layer = FakeLayer(2);
  EXPECT_FALSE(HasAsyncDrawOnDisplay(s.gs, &s.first));
  s.Make(anim, ADF_ANIM);
  s.Make(fx1, ADF_FX);
  s.Make(fx2, ADF_FX);
  void* handle = nullptr;
  ASSERT_EQ(CreateAsyncDraw(s.gs, ADF_MOVEOBJECT, Draw, nullptr, Free, nullptr, &silent, &handle), 0);
  EXPECT_TRUE(HasAsyncDrawOnDisplay(s.gs, &s.first));
  EXPECT_FALSE(HasAsyncDrawOnDisplay(s.gs, &s.second));
  EXPECT_EQ(AskFXAsyncDraws(s.gs), &picture);
  EXPECT_TRUE(IsLayerBoundToAsyncDraw(s.gs, FakeLayer(1)));
  EXPECT_TRUE(IsLayerBoundToAsyncDraw(s.gs, FakeLayer(2)));
  EXPECT_FALSE(IsLayerBoundToAsyncDraw(s.gs, FakeLayer(3)));
  EXPECT_FALSE(IsLayerBoundToAsyncDraw(s.gs, nullptr));
  vkLayer* replaced[2] = {FakeLayer(1), FakeLayer(4)};
  BroadcastAsyncDrawMessage(s.gs, kAsyncLayerReplaced, replaced);
  BroadcastAsyncDrawMessage(s.gs, kAsyncLayerChanged, FakeLayer(2));
  for (FakeRun* r : {&anim, &fx1, &fx2}) EXPECT_EQ(r->notices, "m0m1");
  // Stepping the object without a message callback works too.
  int32_t done = 0;
  EXPECT_EQ(AsyncDrawFrame(s.gs, vkObjectId{0, handle}, nullptr, &done), 0);
  EXPECT_EQ(silent.draws, 1);
  FreeAllAsyncDraws(s.gs);
  EXPECT_FALSE(HasAsyncDrawOnDisplay(s.gs, &s.first));
  EXPECT_EQ(AskFXAsyncDraws(s.gs), nullptr);
  for (FakeRun* r : {&anim, &fx1, &fx2, &silent}) EXPECT_EQ(r->frees, 1);
}

TEST(AsyncDraws, HandlesAreNewForEveryObject) {
  Scene s;
  FakeRun& a = s.NewRun();
  FakeRun& b = s.NewRun();
  const vkObjectId first = s.Make(a);
  EXPECT_EQ(CancelAsyncDraw(s.gs, first), 0);
  const vkObjectId second = s.Make(b);
  EXPECT_NE(first.handle, second.handle);
  EXPECT_EQ(s.Step(first), "error 1041");
  EXPECT_EQ(s.Step(second), "False");
}

}  // namespace

namespace {

TEST(AsyncDraws, ErrorsCarryTheirMessages) {
  const struct {
    int32_t code;
    const char* text;
  } cases[] = {
      {kErrNoAsyncDraw, "Could not find async draw function 12!"},
      {kErrAsyncDrawDisplay, "Asynchronous drawing object is not associated with current display!"},
      {kErrFreeDisplayAsyncDraw, "Cannot free display before associated async draw objects have been freed!"},
      {kErrLayerModeAsyncDraw, "Cannot switch layer mode while async draw is active!"},
      {kErrRemoveLayerAsyncDraw, "Cannot remove layer while it is used by an async draw object!"},
      {kErrRenderLayerAsyncDraw, "Cannot render layer because it is attached to async draw object!"},
      {kErrLayersRequired, "This function requires enabled layers!"},
      {kErrAnimFrameRange, "Specified animation frame is out of range!"},
      {kErrSelectBrushActive, "This command cannot be used when SelectBrush() is active!"},
      {kErrSelectMaskActive, "This command cannot be used when SelectMask() is active!"},
      {kErrSelectAlphaActive, "This command cannot be used when SelectAlphaChannel() is active!"},
      {kErrSelectAnimActive, "This command cannot be used when SelectAnim() is active!"},
      {kErrEndDoubleBuffer, "Please end double buffering first!"},
  };
  SetErrorNumber(12);
  for (const auto& c : cases) EXPECT_EQ(FormatErrorMessage(c.code), c.text) << c.code;
}

}  // namespace

namespace {

int OpenAsyncAttributes(vkState* L) {
  RegisterAttributeCommands(L);
  RegisterAsyncDrawCommands(L);
  return 0;
}

class AsyncDrawAttributes : public vktest::LibraryTest {};

// GetAttribute asks an object's message callback for its frames; without
// one the answer is -1.
TEST_F(AsyncDrawAttributes, KindAndFramesComeFromTheObject) {
  OpenLibrary(OpenAsyncAttributes);
  vkGraphicsState& gs = GraphicsState(L);
  auto frame = [](void*, int32_t*) -> int32_t { return 0; };
  auto release = [](void*, int32_t) {};
  auto message = [](int32_t m, void*, void*) -> intptr_t {
    return m == kAsyncFrameCount ? 12 : m == kAsyncCurrentFrame ? 5 : 0;
  };
  void* anim = nullptr;
  void* effect = nullptr;
  ASSERT_EQ(CreateAsyncDraw(gs, ADF_ANIM, frame, nullptr, release, message, nullptr, &anim), 0);
  ASSERT_EQ(CreateAsyncDraw(gs, ADF_FX, frame, nullptr, release, nullptr, nullptr, &effect), 0);
  constexpr int ASYNCDRAW = 37;
  RunCases({
      {"GetAttribute", {ASYNCDRAW, vktest::Arg::handle(anim), ATTRTYPE}, "2"},
      {"GetAttribute", {ASYNCDRAW, vktest::Arg::handle(anim), ATTRNUMFRAMES}, "12"},
      {"GetAttribute", {ASYNCDRAW, vktest::Arg::handle(anim), ATTRCURFRAME}, "5"},
      {"GetAttribute", {ASYNCDRAW, vktest::Arg::handle(effect), ATTRNUMFRAMES}, "-1"},
      {"GetAttribute", {ASYNCDRAW, 0, ATTRCOUNT}, "2"},
      {"GetAttribute", {ASYNCDRAW, 3, ATTRTYPE}, "error 1326"},
      {"GetAttribute", {ASYNCDRAW, vktest::Arg::handle(anim), ATTRWIDTH}, "error 1080"},
  });
  FreeAllAsyncDraws(gs);
}

}  // namespace
