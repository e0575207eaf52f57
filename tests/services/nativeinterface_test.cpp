// The native interface's helpers: references, registry entries, table sizes,
// metatables and metafields, the upvalues of a command, the string buffer.
#include <string>

#include "engine/gc.h"
#include "engine/vmapi.h"
#include "support/services.h"

namespace {

using vktest::ServicesTest;
using NativeInterfaceTest = ServicesTest;

// Pushes a new table {1 = text}.
void PushBox(vkState* L, const std::string& text) {
  vmNewTable(L);
  vmPushString(L, text.c_str());
  vmRawSetI(L, -2, 1);
}

TEST_F(NativeInterfaceTest, ReferencesCountFromThreeAndReuseFreedKeys) {
  vmNewTable(L);
  const int t = vmGetTop(L);
  const struct {
    bool unref;  // else ref a new number
    int key;     // the reference made or freed
  } steps[] = {{false, 3}, {false, 4}, {true, 3}, {false, 3}, {false, 5}, {true, 4}, {true, 5}, {false, 5}, {false, 4}};
  for (const auto& s : steps) {
    if (s.unref) {
      vmUnref(L, t, s.key);
    } else {
      vmPushNumber(L, s.key * 10);
      EXPECT_EQ(vmRef(L, t), s.key);
      vmGetRef(L, t, s.key);
      EXPECT_EQ(vmToNumber(L, -1), s.key * 10);
      vmSetTop(L, t);
    }
  }
  EXPECT_EQ(vmGetTop(L), t);
}

TEST_F(NativeInterfaceTest, NilMakesNoReference) {
  vmNewTable(L);
  vmPushNil(L);
  EXPECT_EQ(vmRef(L, 1), VK_REFNIL);
  EXPECT_EQ(vmGetTop(L), 1);
  vmUnref(L, 1, VK_REFNIL);  // harmless
  vmPushNumber(L, 1);
  EXPECT_EQ(vmRef(L, 1), 3);
}

TEST_F(NativeInterfaceTest, ReferencedValuesSurviveCollections) {
  // Run under VK_GC_STRESS=1 as well: every check point collects then.
  int refs[20];
  for (int i = 0; i < 20; i++) {
    PushBox(L, "value " + std::to_string(i));
    refs[i] = vmRef(L, VK_REGISTRYINDEX);
  }
  for (int i = 0; i < 20; i += 2) vmUnref(L, VK_REGISTRYINDEX, refs[i]);
  for (int round = 0; round < 3; round++) {
    for (int j = 0; j < 200; j++) PushBox(L, "garbage"), vmSetTop(L, 0);
    vmCollectGarbage(L);
  }
  for (int i = 1; i < 20; i += 2) {
    vmGetRef(L, VK_REGISTRYINDEX, refs[i]);
    ASSERT_EQ(vmType(L, -1), VK_TTABLE) << i;
    vmRawGetI(L, -1, 1);
    EXPECT_EQ(std::string(vmToString(L, -1)), "value " + std::to_string(i));
    vmSetTop(L, 0);
  }
}

TEST_F(NativeInterfaceTest, EmptyStringWithoutData) {
  vmPushLString(L, nullptr, 0);
  EXPECT_EQ(vmType(L, 1), VK_TSTRING);
  EXPECT_EQ(vmStrLen(L, 1), 0u);
}

TEST_F(NativeInterfaceTest, RegistryEntriesByName) {
  EXPECT_EQ(vmGetRegistryPointer(L, "applet"), nullptr);
  EXPECT_STREQ(vmGetRegistryString(L, "script"), "");
  EXPECT_EQ(vmGetRegistryNumber(L, "beginline"), 0);
  int marker = 0;
  vmSetRegistryPointer(L, "applet", &marker);
  vmSetRegistryString(L, "script", ":none:");
  vmSetRegistryNumber(L, "beginline", 12);
  EXPECT_EQ(vmGetRegistryPointer(L, "applet"), &marker);
  EXPECT_STREQ(vmGetRegistryString(L, "script"), ":none:");
  EXPECT_EQ(vmGetRegistryNumber(L, "beginline"), 12);
  EXPECT_EQ(vmGetTop(L), 0);
}

TEST_F(NativeInterfaceTest, TableSizes) {
  // The field "n" wins; else the recorded size; else the run of integer keys.
  vmNewTable(L);
  for (int i = 1; i <= 4; i++) vmPushNumber(L, i), vmRawSetI(L, 1, i);
  vmPushNumber(L, 9), vmRawSetI(L, 1, 6);  // after a gap: not counted
  EXPECT_EQ(vmGetTableSize(L, 1), 4);
  vmSetTableSize(L, 1, 10);
  EXPECT_EQ(vmGetTableSize(L, 1), 10);
  vmPushConstString(L, "n"), vmRawGet(L, 1);
  EXPECT_EQ(vmType(L, -1), VK_TNIL);  // recorded aside, not in the table
  vmSetTop(L, 1);

  vmNewTable(L);
  vmPushConstString(L, "n"), vmPushNumber(L, 2), vmRawSet(L, 2);
  EXPECT_EQ(vmGetTableSize(L, 2), 2);
  vmSetTableSize(L, -1, 7);
  vmPushConstString(L, "n"), vmRawGet(L, 2);
  EXPECT_EQ(vmToNumber(L, -1), 7);
}

TEST_F(NativeInterfaceTest, DefaultMetatableReadsAsNone) {
  vmNewTable(L);
  EXPECT_EQ(vmGetMetatable(L, 1), 0);
  EXPECT_EQ(vmGetMetaField(L, 1, "__index"), 0);
  EXPECT_EQ(vmGetTop(L), 1);
  vmNewTable(L);
  vmPushConstString(L, "__tostring");
  vmPushCClosure(L, [](vkState* L) {
    vmPushString(L, "shown");
    return 1;
  }, 0);
  vmRawSet(L, 2);
  EXPECT_EQ(vmSetMetatable(L, 1), 1);
  ASSERT_EQ(vmGetMetatable(L, 1), 1);
  vmSetTop(L, 1);
  EXPECT_EQ(vmGetMetaField(L, 1, "__missing"), 0);
  ASSERT_EQ(vmCallMeta(L, 1, "__tostring"), 1);
  EXPECT_STREQ(vmToString(L, -1), "shown");
  vmSetTop(L, 1);
  vmPushNil(L);
  vmSetMetatable(L, 1);  // back to the default
  EXPECT_EQ(vmGetMetatable(L, 1), 0);
}

TEST_F(NativeInterfaceTest, UpvaluesOfTheRunningCommand) {
  vmPushNumber(L, 1);
  vmPushString(L, "two");
  vmPushCClosure(L, [](vkState* L) {
    EXPECT_EQ(vmType(L, vmUpvalueIndex(3)), VK_TNONE);
    return vmPushUpvalues(L);
  }, 2);
  ASSERT_EQ(vmCall(L, 0, VK_MULTRET), 0u);
  ASSERT_EQ(vmGetTop(L), 2);
  EXPECT_EQ(vmToNumber(L, 1), 1);
  EXPECT_STREQ(vmToString(L, 2), "two");
}

TEST_F(NativeInterfaceTest, StringBufferJoinsPiecesOfAnySize) {
  const size_t sizes[] = {0, 1, 1023, 1024, 1025, 5000, 40000};
  for (size_t size : sizes) {
    std::string expected;
    vkStringBuffer b;
    vmPushString(L, "below");  // left alone by the buffer
    vmBufferInit(L, &b);
    for (size_t i = 0; expected.size() < size; i++) {
      std::string part = std::to_string(i) + (i % 7 == 0 ? std::string(300, 'x') : ",");
      if (expected.size() + part.size() > size) part.resize(size - expected.size());
      expected += part;
      if (i % 3 == 0) {
        vmBufferAddString(&b, part.c_str());
      } else {
        char* room = vmBufferPrepare(&b);
        part.copy(room, part.size());
        vmBufferAddSize(&b, part.size());
      }
      EXPECT_LE(b.pieces, 10);
    }
    vmBufferPushResult(&b);
    ASSERT_EQ(vmGetTop(L), 2) << size;
    EXPECT_EQ(std::string(vmToString(L, 2), vmStrLen(L, 2)), expected) << size;
    EXPECT_STREQ(vmToString(L, 1), "below");
    vmSetTop(L, 0);
  }
}

}  // namespace
