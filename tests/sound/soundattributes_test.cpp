// GetAttribute's rows for samples and musics, answered by the sound library
// through the runtime attribute tags as the start-up joins them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../common/scratchdir.h"
#include "../runtime/support/libcall.h"
#include "engine/attributes.h"
#include "graphics/attributes.h"
#include "player/soundattributes.h"
#include "sound/soundlib.h"
#include "support/modules.h"
#include "support/soundfiles.h"

using namespace soundtest;

namespace {

int OpenSoundWithAttributes(vkState* L) {
  if (int rc = OpenSoundLibrary(L)) return rc;
  if (int rc = AddGetAttrHandler(L, SoundAttributeHandler)) return rc;
  RegisterAttributeCommands(L);
  RegisterSoundAttributes(L);
  return 0;
}

class SoundAttributes : public vktest::LibraryTest {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    OpenLibrary(OpenSoundWithAttributes);
  }
  void TearDown() override {
    FreeAllSounds(L);
    vktest::LibraryTest::TearDown();
  }
  ScratchDir dir;
};

TEST_F(SoundAttributes, SamplesAndMusicsAnswerTheirRows) {
  // Half a second of 16-bit stereo at 22050 Hz, and a module.
  const std::string wave = dir.Write("a.wav", WaveSound(1, 2, 22050, 16, std::string(22050 * 2, 0)));
  ModuleSpec spec;
  spec.samples = {ModSampleSpec{std::vector<int8_t>(64, 40)}};
  spec.patterns = {EmptyPattern()};
  spec.order = {0};
  const std::string module = dir.Write("a.mod", ModuleBytes(spec));
  constexpr int SAMPLE = 2, MUSIC = 33;
  RunCases({
      {"LoadSample", {1, wave}, ""},
      {"OpenMusic", {4, module}, ""},
      {"GetAttribute", {SAMPLE, 1, ATTRDURATION}, "500"},
      {"GetAttribute", {SAMPLE, 1, ATTRPITCH}, "22050"},
      {"GetAttribute", {SAMPLE, 1, ATTRTYPE}, "3"},  // STEREO16
      {"GetAttribute", {SAMPLE, 0, ATTRCOUNT}, "1"},
      {"GetAttribute", {SAMPLE, 9, ATTRDURATION}, "error 1178"},
      {"GetAttribute", {SAMPLE, 1, ATTRWIDTH}, "error 1080"},
      {"GetAttribute", {MUSIC, 4, ATTRFORMAT}, "\"Protracker\""},
      {"GetAttribute", {MUSIC, 0, ATTRCOUNT}, "1"},
      {"GetAttribute", {MUSIC, 5, ATTRDURATION}, "error 1231"},
      {"GetAttribute", {MUSIC, 5, ATTRFORMAT}, "error 1231"},
      {"GetAttribute", {MUSIC, 4, ATTRHASMASK}, "error 1080"},
  });
}

}  // namespace
