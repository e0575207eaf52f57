// Runtime attributes: the tags the runtime keeps, and the tags offered to the
// two handler chains in registration order.
#include "engine/attributes.h"

#include <string>
#include <vector>

#include "graphics/graphicslib.h"
#include "sound/soundlib.h"
#include "support/services.h"

namespace {

using vktest::ServicesTest;

std::vector<std::string> gLog;

// Two libraries' handlers: the first takes tag 5 only, the second tags 5 and 3.
int FirstSet(vkState*, void*, uint32_t tag, intptr_t value) {
  gLog.push_back("first set " + std::to_string(tag) + "=" + std::to_string(value));
  return tag == 5;
}
int SecondSet(vkState*, void* object, uint32_t tag, intptr_t value) {
  gLog.push_back("second set " + std::to_string(tag) + "=" + std::to_string(value) +
                 (object ? " with object" : ""));
  return tag == 5 || tag == 3;
}
int FirstGet(vkState*, void*, uint32_t tag, int32_t* result) {
  gLog.push_back("first get " + std::to_string(tag));
  if (tag != 7) return 0;
  *result = 128;
  return 1;
}
int SecondGet(vkState*, void*, uint32_t tag, int32_t* result) {
  gLog.push_back("second get " + std::to_string(tag));
  if (tag != 7 && tag != 8) return 0;
  *result = 8;
  return 1;
}

class AttributesTest : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    gLog.clear();
  }
  void RegisterBoth() {
    ASSERT_EQ(AddSetAttrHandler(L, FirstSet), 0);
    ASSERT_EQ(AddSetAttrHandler(L, SecondSet), 0);
    ASSERT_EQ(AddGetAttrHandler(L, FirstGet), 0);
    ASSERT_EQ(AddGetAttrHandler(L, SecondGet), 0);
  }
};

TEST_F(AttributesTest, KeptTagsStartAtTheirInitialValues) {
  const struct {
    uint32_t tag;
    int32_t initial;
  } cases[] = {{ATTR_EVENTEXPIRY, 1500}, {ATTR_QUIET, 0}, {ATTR_SCRIPTPHASE, 0}, {ATTR_PCALLDEPTH, 0}};
  for (const auto& c : cases) {
    int32_t word = -7;
    EXPECT_EQ(GetAttrs(L, nullptr, {{c.tag, &word}}), 1) << c.tag;
    EXPECT_EQ(word, c.initial) << c.tag;
  }
  EXPECT_EQ(RuntimeAttrs(L).exitOnError, 1);
  EXPECT_EQ(RuntimeAttrs(L).lineInfo, 0);
}

TEST_F(AttributesTest, KeptTagsAreStoredAndCounted) {
  EXPECT_EQ(SetAttrs(L, nullptr, {{ATTR_EVENTEXPIRY, 300}, {ATTR_QUIET, 1}, {ATTR_SCRIPTPHASE, 1},
                               {ATTR_EXITONERROR, 0}, {ATTR_LINEINFO, 1}}),
            5);
  int32_t expiry = 0, quiet = 0, phase = 0;
  EXPECT_EQ(GetAttrs(L, nullptr, {{ATTR_EVENTEXPIRY, &expiry}, {ATTR_QUIET, &quiet}, {ATTR_SCRIPTPHASE, &phase}}), 3);
  EXPECT_EQ(expiry, 300);
  EXPECT_EQ(quiet, 1);
  EXPECT_EQ(phase, 1);
  EXPECT_EQ(RuntimeAttrs(L).exitOnError, 0);
  EXPECT_EQ(RuntimeAttrs(L).lineInfo, 1);
  EXPECT_TRUE(gLog.empty());
}

TEST_F(AttributesTest, ProtectedCallDepthCountsEntriesAndStopsAtZero) {
  // Each non-zero value enters one level, whatever the value; zero leaves one.
  const struct {
    intptr_t value;
    int32_t depth;
  } steps[] = {{5, 1}, {1, 2}, {0, 1}, {0, 0}, {0, 0}, {-3, 1}};
  for (const auto& s : steps) {
    EXPECT_EQ(SetAttrs(L, nullptr, {{ATTR_PCALLDEPTH, s.value}}), 1);
    int32_t depth = -1;
    GetAttrs(L, nullptr, {{ATTR_PCALLDEPTH, &depth}});
    EXPECT_EQ(depth, s.depth) << "after " << s.value;
  }
}

TEST_F(AttributesTest, SettableOnlyTagsAreReadThroughTheChains) {
  int32_t word = 77;
  EXPECT_EQ(GetAttrs(L, nullptr, {{ATTR_EXITONERROR, &word}, {ATTR_LINEINFO, &word}}), 0);
  EXPECT_EQ(word, 77);
  int answer12 = 0;
  ASSERT_EQ(AddGetAttrHandler(L, [](vkState*, void*, uint32_t tag, int32_t* r) {
              if (tag != ATTR_EXITONERROR) return 0;
              *r = 1;
              return 1;
            }),
            0);
  EXPECT_EQ(GetAttrs(L, nullptr, {{ATTR_EXITONERROR, &answer12}}), 1);
  EXPECT_EQ(answer12, 1);
}

TEST_F(AttributesTest, UnknownTagsAreIgnored) {
  EXPECT_EQ(SetAttrs(L, nullptr, {{99, 1}}), 0);
  RegisterBoth();
  int32_t word = 5;
  EXPECT_EQ(SetAttrs(L, nullptr, {{99, 1}}), 0);
  EXPECT_EQ(GetAttrs(L, nullptr, {{99, &word}}), 0);
  EXPECT_EQ(word, 5);
}

TEST_F(AttributesTest, SetOffersEachTagToTheChainInOrderUntilTaken) {
  RegisterBoth();
  int object = 0;
  EXPECT_EQ(SetAttrs(L, &object, {{5, 2}, {3, 1}, {ATTR_QUIET, 1}, {42, 9}}), 3);
  EXPECT_EQ(gLog, (std::vector<std::string>{
                      "first set 5=2",                  // taken by the first
                      "first set 3=1",                  // refused by the first,
                      "second set 3=1 with object",     // taken by the second
                      "first set 42=9",                 // refused by both
                      "second set 42=9 with object",
                  }));
}

TEST_F(AttributesTest, GetOffersEachTagToTheChainInOrderUntilAnswered) {
  RegisterBoth();
  int32_t seven = 0, eight = 0, nine = -1, quiet = -1;
  EXPECT_EQ(GetAttrs(L, nullptr, {{7, &seven}, {8, &eight}, {9, &nine}, {ATTR_QUIET, &quiet}}), 3);
  EXPECT_EQ(seven, 128);
  EXPECT_EQ(eight, 8);
  EXPECT_EQ(nine, -1);
  EXPECT_EQ(quiet, 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"first get 7", "first get 8", "second get 8", "first get 9",
                                            "second get 9"}));
}

TEST_F(AttributesTest, TagZeroEndsTheList) {
  RegisterBoth();
  EXPECT_EQ(SetAttrs(L, nullptr, {{ATTR_QUIET, 1}, {0, 0}, {5, 1}}), 1);
  EXPECT_TRUE(gLog.empty());
}

TEST_F(AttributesTest, StartupChainsReachTheGraphicsAndSoundLibraries) {
  // The start-up's order: graphics before sound in both chains.
  ASSERT_EQ(AddSetAttrHandler(L, SetGraphicsAttr), 0);
  ASSERT_EQ(AddSetAttrHandler(L, SoundSettingsHandler), 0);
  ASSERT_EQ(AddGetAttrHandler(L, GetGraphicsAttr), 0);
  ASSERT_EQ(AddGetAttrHandler(L, SoundAttributeHandler), 0);
  EXPECT_EQ(SetAttrs(L, nullptr, {{ATTR_MASKMODE, 1}, {ATTR_ONSAMPLEEND, 1}, {ATTR_ALPHAINTENSITY, 64}}), 3);
  EXPECT_EQ(SoundEventSwitches(L).sampleEnd.load(), 1);
  int32_t mask = 0, alpha = 0;
  EXPECT_EQ(GetAttrs(L, nullptr, {{ATTR_MASKMODE, &mask}, {ATTR_ALPHAINTENSITY, &alpha}}), 2);
  EXPECT_EQ(mask, 1);
  EXPECT_EQ(alpha, 64);
  SetAttrs(L, nullptr, {{ATTR_ONSAMPLEEND, 0}});
}

}  // namespace
