// Text built by repeated concatenation: earlier strings keep their text while
// the text they were cut from grows, serve as table keys before and after,
// convert and compare by their own bytes, survive collections between
// appends, and text handed to C code stays NUL-terminated while it is held.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/gc.h"
#include "engine/strings.h"
#include "support/vmtest.h"

namespace {

using vktest::EngineTest;

// Appends [piece] to the string at the top of the stack.
void append(vkState* L, const std::string& piece) {
  vmPushLString(L, piece.data(), piece.size());
  vmConcat(L, 2);
}

// The string at [idx] as the engine holds it, read by length only.
std::string bytesAt(vkState* L, int idx) {
  const vkValue* v = idx > 0 ? L->base + (idx - 1) : L->top + idx;
  const vkString* s = vmStr(v);
  return std::string(s->data(), s->len);
}

// Builds a long text one piece of [pieceLen] bytes at a time and keeps every
// [keepEvery]th step in a table at the index of the step, with a collection
// after every [collectEvery]th append (0: none). Returns the expected texts.
std::vector<std::string> buildKeepingPrefixes(vkState* L, int steps, int keepEvery, int collectEvery,
                                              size_t pieceLen) {
  vmNewTable(L);                 // 1: the kept prefixes
  vmPushString(L, "start:");     // 2: the text being built
  std::vector<std::string> expect(static_cast<size_t>(steps + 1));
  std::string text = "start:";
  for (int i = 1; i <= steps; i++) {
    std::string piece(pieceLen, static_cast<char>('a' + i % 26));
    if (i % 97 == 0) piece = std::string("\0z", 2);  // embedded NULs travel too
    append(L, piece);
    text += piece;
    if (i % keepEvery == 0) {
      vmPushValue(L, 2);
      vmRawSetI(L, 1, i);
      expect[static_cast<size_t>(i)] = text;
    }
    if (collectEvery && i % collectEvery == 0) vmCollectGarbage(L);
  }
  return expect;
}

TEST_F(EngineTest, PrefixesKeepTheirTextWhileTheirBufferGrows) {
  struct Case {
    const char* name;
    int steps, keepEvery, collectEvery;
    size_t pieceLen = 1;
  } cases[] = {
      {"every prefix kept", 300, 1, 0},
      {"some prefixes kept", 2000, 37, 0},
      {"collections between appends", 2000, 13, 5},
      // Collected views serve the next appends: pieces of a few bytes and longer.
      {"a collection after every append", 500, 7, 1},
      {"pieces of eight bytes", 1000, 11, 3, 8},
      {"pieces of nine bytes", 1000, 11, 3, 9},
      {"pieces of two hundred bytes", 300, 5, 2, 200},
  };
  for (const Case& c : cases) {
    std::vector<std::string> expect = buildKeepingPrefixes(L, c.steps, c.keepEvery, c.collectEvery, c.pieceLen);
    for (int i = c.keepEvery; i <= c.steps; i += c.keepEvery) {
      vmRawGetI(L, 1, i);
      const std::string& want = expect[static_cast<size_t>(i)];
      ASSERT_EQ(bytesAt(L, -1), want) << c.name << " step " << i;
      // Text handed to C ends in a NUL right after it, whatever followed it in its buffer.
      const char* text = vmToString(L, -1);
      size_t len = vmStrLen(L, -1);
      ASSERT_EQ(len, want.size()) << c.name;
      ASSERT_EQ(std::memcmp(text, want.data(), len), 0) << c.name;
      ASSERT_EQ(text[len], '\0') << c.name << " step " << i;
      vmSetTop(L, 2);
    }
    vmSetTop(L, 0);
  }
}

TEST_F(EngineTest, AppendingToTheNewestStringReusesItsBuffer) {
  vmPushLString(L, std::string(100, 'x').data(), 100);
  append(L, "y");
  const char* first = vmStr(L->top - 1)->data();
  for (int i = 0; i < 1000; i++) append(L, "z");
  // Amortised growth: a thousand appends move the text a few times at most.
  int moves = 0;
  const char* at = first;
  for (int i = 0; i < 1000; i++) {
    append(L, "w");
    const char* now = vmStr(L->top - 1)->data();
    if (now != at) moves++;
    at = now;
  }
  EXPECT_LE(moves, 2);
  EXPECT_EQ(vmStrLen(L, -1), 2101u);
}

// Concatenated keys and keys made from the same bytes by C are one key.
TEST_F(EngineTest, BuiltStringsAsTableKeys) {
  const std::string longText(5000, 'k');
  struct Case {
    const char* name;
    size_t prefix;  // bytes the key is built from, the rest appended in one piece
  } cases[] = {{"short key", 3},          {"key one byte short of long", 34}, {"shortest long key", 35},
               {"key of 64 bytes", 60},   {"very long key", 4900}};
  for (const Case& c : cases) {
    vmNewTable(L);  // 1
    vmPushLString(L, longText.data(), c.prefix);
    append(L, "!tail");  // 2: the key, built
    vmPushValue(L, 2);
    vmPushNumber(L, 1);
    vmSetTable(L, 1);    // t[key] = 1
    vmPushValue(L, 2);
    append(L, "more");   // 3: the key extended
    // The key still finds its value; the extension is another key.
    vmPushValue(L, 2);
    vmGetTable(L, 1);
    EXPECT_EQ(vmToNumber(L, -1), 1) << c.name;
    vmSetTop(L, -2);
    vmPushValue(L, 3);
    vmRawGet(L, 1);
    EXPECT_EQ(vmType(L, -1), VK_TNIL) << c.name;
    vmSetTop(L, -2);
    // The same bytes pushed from C reach the same entry, and are raw-equal.
    std::string same = longText.substr(0, c.prefix) + "!tail";
    vmPushLString(L, same.data(), same.size());  // 4
    EXPECT_TRUE(vmRawEqual(L, 2, 4)) << c.name;
    vmPushValue(L, 4);
    vmGetTable(L, 1);
    EXPECT_EQ(vmToNumber(L, -1), 1) << c.name;
    vmSetTop(L, -2);
    vmPushValue(L, 4);
    vmPushNumber(L, 2);
    vmSetTable(L, 1);  // overwrites, no second key
    int keys = 0;
    vmPushNil(L);
    while (vmNext(L, 1)) {
      keys++;
      EXPECT_EQ(bytesAt(L, -2), same) << c.name;
      EXPECT_EQ(vmToNumber(L, -1), 2) << c.name;
      vmSetTop(L, -2);
    }
    EXPECT_EQ(keys, 1) << c.name;
    vmSetTop(L, 0);
  }
}

// An earlier string converts and compares by its own bytes, not by those
// that were appended after it in its buffer.
TEST_F(EngineTest, EarlierStringsConvertAndCompareByTheirOwnBytes) {
  const std::string digits = "1" + std::string(70, '0');  // 1e70
  vmPushLString(L, digits.data(), digits.size());
  append(L, "0");  // 1: 1e71
  vmPushValue(L, 1);
  append(L, "0");  // 2: 1e72, written after 1e71 in the same buffer
  vmPushValue(L, 2);
  append(L, "9");  // 3: 1e72 .. "9"
  EXPECT_DOUBLE_EQ(vmToNumber(L, 1), 1e71);
  EXPECT_DOUBLE_EQ(vmToNumber(L, 2), 1e72);
  struct Case {
    int a, b;
    int caseSensitive;
    bool less;
  } cases[] = {{1, 2, 1, true}, {2, 1, 1, false}, {2, 3, 1, true}, {3, 2, 1, false},
               {1, 3, 0, true}, {3, 1, 0, false}, {1, 1, 1, false}};
  for (const Case& c : cases)
    EXPECT_EQ(vmLessThan(L, c.a, c.b, c.caseSensitive) != 0, c.less) << c.a << " < " << c.b;
  EXPECT_FALSE(vmEqual(L, 1, 2));
  EXPECT_FALSE(vmRawEqual(L, 2, 3));
}

// Pushes [text] made the way [how] says: 0 from C in one piece, 1 by one
// concatenation of two halves, 2 appended a byte at a time onto a copy of
// its first 64 bytes (a view into a growing buffer).
void pushMade(vkState* L, const std::string& text, int how) {
  if (how == 0) {
    vmPushLString(L, text.data(), text.size());
  } else if (how == 1) {
    size_t half = text.size() / 2;
    vmPushLString(L, text.data(), half);
    append(L, text.substr(half));
  } else {
    size_t head = text.size() < 64 ? text.size() : 64;
    vmPushLString(L, text.data(), head);
    for (size_t i = head; i < text.size(); i++) append(L, text.substr(i, 1));
  }
}

// The keys of the table at [idx] in traversal order.
std::vector<std::string> traversal(vkState* L, int idx) {
  std::vector<std::string> keys;
  vmPushNil(L);
  while (vmNext(L, idx)) {
    keys.push_back(bytesAt(L, -2));
    vmSetTop(L, -2);
  }
  return keys;
}

// A table fed the same keys in the same order traverses them in the same
// order however the key strings were made, short or long.
TEST_F(EngineTest, TraversalOrderDoesNotDependOnHowKeysWereMade) {
  std::vector<std::string> keys;
  for (int i = 0; i < 120; i++) {
    size_t len = static_cast<size_t>(3 + (i * 37) % 150);
    std::string k(len, static_cast<char>('a' + i % 26));
    k += std::to_string(i);
    keys.push_back(k);
  }
  std::vector<std::string> orders[3];
  for (int how = 0; how < 3; how++) {
    vmNewTable(L);
    for (size_t i = 0; i < keys.size(); i++) {
      pushMade(L, keys[i], how);
      vmPushNumber(L, static_cast<double>(i));
      vmRawSet(L, 1);
      if (i % 10 == 9) {  // some entries die; their keys stay behind in the nodes
        pushMade(L, keys[i - 3], (how + 1) % 3);
        vmPushNil(L);
        vmRawSet(L, 1);
      }
    }
    orders[how] = traversal(L, 1);
    vmSetTop(L, 0);
  }
  EXPECT_EQ(orders[0].size(), keys.size() - keys.size() / 10);
  EXPECT_EQ(orders[1], orders[0]);
  EXPECT_EQ(orders[2], orders[0]);
}

// Entries removed and their key strings collected: lookups that pass the
// nodes they leave behind find nothing there, and an equal key made later
// is one new entry.
TEST_F(EngineTest, KeysOfRemovedEntriesOutliveNoLookup) {
  struct Case {
    const char* name;
    size_t shortKeys, longKeys;
  } cases[] = {{"short keys", 200, 0}, {"long keys", 0, 200}, {"both", 150, 150}};
  for (const Case& c : cases) {
    std::vector<std::string> keys;
    for (size_t i = 0; i < c.shortKeys; i++) keys.push_back("s" + std::to_string(i));
    for (size_t i = 0; i < c.longKeys; i++) keys.push_back(std::string(60, 'L') + std::to_string(i));
    vmNewTable(L);  // 1
    for (const std::string& k : keys) {
      pushMade(L, k, 1);
      vmPushNumber(L, 1);
      vmRawSet(L, 1);
    }
    // Remove every entry while walking the table, collecting as it goes.
    vmPushNil(L);
    int walked = 0;
    while (vmNext(L, 1)) {
      vmSetTop(L, -2);
      vmPushValue(L, -1);
      vmPushNil(L);
      vmRawSet(L, 1);
      if (++walked % 7 == 0) vmCollectGarbage(L);
    }
    EXPECT_EQ(walked, static_cast<int>(keys.size())) << c.name;
    vmCollectGarbage(L);
    for (const std::string& k : keys) {
      pushMade(L, k, 0);
      vmRawGet(L, 1);
      ASSERT_EQ(vmType(L, -1), VK_TNIL) << c.name << " " << k;
      vmSetTop(L, 1);
    }
    for (const std::string& k : keys) {
      pushMade(L, k, 2);
      vmPushNumber(L, 2);
      vmRawSet(L, 1);
    }
    EXPECT_EQ(traversal(L, 1).size(), keys.size()) << c.name;
    vmSetTop(L, 0);
  }
}

// A command holds the text of its argument while script code appends to
// that same string: the text keeps its NUL until the command returns.
int holdWhileAppending(vkState* L) {
  const char* text = vmToString(L, 1);
  size_t before = std::strlen(text);
  vmPushString(L, "grow");
  vmGetTable(L, VK_GLOBALSINDEX);
  vmPushValue(L, 1);
  vmCall(L, 1, 1);  // grow(s) returns s .. "x"
  vmPushValue(L, 1);
  append(L, "y");   // and the command appends itself
  vmPushNumber(L, static_cast<double>(before));
  vmPushNumber(L, static_cast<double>(std::strlen(text)));
  return 2;
}

TEST_F(EngineTest, TextHeldByACommandKeepsItsEndWhileTheStringGrows) {
  vktest::SetGlobalCommand(L, "hold", holdWhileAppending);
  std::string out;
  ASSERT_EQ(vktest::RunListing(L, R"(
.function grow
.linedefined 1
.params 1
  MOVE 1 0
  LOADK 2 "x"
  CONCAT 1 1 2
  RETURN 1 2
.end
  CLOSURE 0 grow
  SETGLOBAL 0 "grow"
  LOADK 0 "0123456789012345678901234567890123456789012345678901234567890123456789"
  LOADK 1 "abc"
  CONCAT 0 0 1
  MOVE 1 0
  LOADK 2 "d"
  CONCAT 0 1 2
  GETGLOBAL 1 "hold"
  MOVE 2 0
  CALL 1 2 3
  MOVE 3 0
  LOADK 4 "e"
  CONCAT 3 3 4
  RETURN 1 3
)", &out), 0) << out;
  EXPECT_EQ(out, "74 74");
}

}  // namespace
