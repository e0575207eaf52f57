// The scene the effect tests draw into.
#include "fxscene.h"

#include <cstdlib>

#include "effects/transitionfx.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/graphicslib.h"
#include "layers/layers.h"
#include "text/textlib.h"
#include "text/textobjects.h"
#include "platform/vkos.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"
#include "runtime/eventlib.h"

namespace fxtest {

namespace {

int OpenLibraries(vkState* L) {
  if (int rc = OpenGraphicsLibrary(L)) return rc;
  if (int rc = OpenEventLibrary(L)) return rc;
  if (int rc = OpenDisplayLibrary(L)) return rc;
  if (int rc = OpenBGPicLibrary(L)) return rc;
  if (int rc = OpenBrushLibrary(L)) return rc;
  if (int rc = OpenLayersLibrary(L)) return rc;
  if (int rc = OpenTextLibrary(L)) return rc;
  if (int rc = OpenTextObjectLibrary(L)) return rc;
  return OpenTransitionFXLibrary(L);
}

void FillPicture(vkBitMap* b, bool fresh) {
  for (int32_t y = 0; y < b->height; y++)
    for (int32_t x = 0; x < b->width; x++) WriteBitMapPixel(b, x, y, fresh ? NewPixel(x, y) : OldPixel(x, y));
}

void Observe(void* context, const vkFXState&) {
  auto* self = static_cast<std::pair<FXScene*, std::vector<Pixels>*>*>(context);
  self->second->push_back(self->first->Window());
}

}  // namespace

void FXScene::SetUp() {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  ASSERT_EQ(vkosInit(), 0);
  OpenLibrary(OpenLibraries);
  srand48(20);
  srand(20);
}

void FXScene::TearDown() {
  CloseAllDisplays(L);
  FreeAllBrushes(L);
  FreeAllBGPics(L);
  FreeAllTextObjectsAndFonts(L);
  vktest::LibraryTest::TearDown();
  L = nullptr;
  vkosExit();
}

vkGraphicsState& FXScene::gs() { return GraphicsState(L); }

vkDisplay* FXScene::display() { return gs().CurrentDisplay; }

void FXScene::MakeDisplay(int32_t width, int32_t height) {
  CloseAllDisplays(L);
  FreeAllBGPics(L);
  width_ = width, height_ = height;
  for (int32_t number : {1, 2}) {
    ASSERT_EQ(Call("CreateBGPic", {number, width, height}), "");
    vkBGPic* p = nullptr;
    ASSERT_EQ(FindBGPic(gs(), vkObjectId{number, nullptr}, &p, 0), 0);
    FillPicture(p->bitmap, number == 2);
  }
  vmPushString(L, "fxdisplay");
  vmNewTable(L);
  SetFieldInt(L, "bgpic", 1);
  vmSetTable(L, VK_GLOBALSINDEX);
  ASSERT_EQ(Call("CreateDisplay", {1, vktest::Arg::global("fxdisplay")}), "");
  ASSERT_EQ(Call("OpenDisplay", {1}), "");
  ASSERT_NE(display(), nullptr);
  vkosSetOption(L, VKOS_OPTION_FRAMERATE, -1);  // no pacing (an opened window paces at its refresh rate)
}

void FXScene::MakeBrush(int32_t number, int32_t width, int32_t height, bool masked) {
  ASSERT_EQ(FreeBrushById(gs(), vkObjectId{number, nullptr}, false), 0);
  vkBrush* b = nullptr;
  ASSERT_EQ(CreateBrushRecord(gs(), vkIdRequest{number, false}, width, height, 0, masked, false, true, &b), 0);
  FillPicture(b->bitmap.get(), true);
  if (masked)
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) WriteBitMapPixel(b->mask.get(), x, y, CheckerSet(x, y) ? 0 : 1);
}

Pixels FXScene::Window() {
  Pixels out;
  vkosPresentPending(true);
  EXPECT_TRUE(vkosReadWindow(display()->os, &out));
  for (uint32_t& p : out) p &= 0xFFFFFF;
  return out;
}

uint32_t FXScene::RunCollecting(vkFXRequest& rq, std::vector<Pixels>* frames) {
  std::pair<FXScene*, std::vector<Pixels>*> context{this, frames};
  rq.L = L;
  rq.observer = Observe;
  rq.observerContext = &context;
  return RunTransitionFX(rq);
}

void FXScene::StepAll(std::vector<Pixels>* frames, int limit) {
  const vkObjectId handle{0, const_cast<void*>(vmToPointer(L, -1))};
  ASSERT_NE(handle.handle, nullptr);
  for (int guard = 0; guard < limit; guard++) {
    int32_t done = 0;
    ASSERT_EQ(AsyncDrawFrame(gs(), handle, nullptr, &done), 0);
    if (done) return;
    frames->push_back(Window());
  }
  FAIL() << "the effect did not end";
}

void FXScene::CheckSeeksReplay(const std::vector<Pixels>& played, const std::vector<int32_t>& seeks) {
  const vkObjectId handle{0, const_cast<void*>(vmToPointer(L, -1))};
  ASSERT_NE(handle.handle, nullptr);
  ASSERT_FALSE(seeks.empty());
  int32_t done = 0;
  for (int32_t frame : seeks) {
    ASSERT_TRUE(frame >= 1 && size_t(frame) <= played.size()) << "seek to " << frame;
    ASSERT_EQ(AsyncDrawFrame(gs(), handle, &frame, &done), 0);
    ASSERT_EQ(Window(), played[size_t(frame) - 1]) << "seek to " << frame;
  }
  size_t frame = size_t(seeks.back());
  for (; frame < played.size() + 2; frame++) {
    ASSERT_EQ(AsyncDrawFrame(gs(), handle, nullptr, &done), 0);
    if (done) break;
    ASSERT_LT(frame, played.size()) << "the effect went on past its frames";
    ASSERT_EQ(Window(), played[frame]) << "play after the seeks, frame " << frame + 1;
  }
  EXPECT_EQ(frame, played.size());
}

void FXScene::Table(const char* name, const std::vector<std::pair<const char*, int32_t>>& fields) {
  vmPushString(L, name);
  vmNewTable(L);
  for (const auto& [k, v] : fields) SetFieldInt(L, k, v);
  vmSetTable(L, VK_GLOBALSINDEX);
}

int32_t FXScene::BrushLocks(int32_t number) {
  vkBrush* b = nullptr;
  return FindBrush(gs(), vkObjectId{number, nullptr}, &b, 0) == 0 ? b->lockCount : -1;
}

}  // namespace fxtest
