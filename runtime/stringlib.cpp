// The string library's 26 commands. Every position is a 0-based byte offset
// and every count a byte count, truncated to 32 bits; positions outside the
// text are clamped or refused as each command says, never read. The three
// searching commands share one search that resumes after each match.
#include "runtime/stringlib.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/errorcodes.h"
#include "engine/argcheck.h"
#include "engine/libraries.h"
#include "base/numconv.h"
#include "engine/strings.h"
#include "engine/vmapi.h"
#include "runtime/options.h"

namespace {

// Binary digit counts by type code (LONG 1, SHORT 6, BYTE 7).
constexpr int kTypeLong = 1;
constexpr int kTypeShort = 6;
constexpr int kTypeByte = 7;

char lowerByte(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char upperByte(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view checkText(vkState* L, int i) {
  size_t len = 0;
  const char* s = vmCheckString(L, i, &len);
  return {s, len};
}

int32_t checkInt(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }
int32_t optInt(vkState* L, int i, int32_t def) { return vkDoubleToInt32(vmOptNumber(L, i, def)); }

int pushText(vkState* L, std::string_view s) {
  vmPushLString(L, s.empty() ? "" : s.data(), s.size());
  return 1;
}

int pushNumber(vkState* L, double d) {
  vmPushNumber(L, d);
  return 1;
}

// Finds [sub] in [text]. Without case sensitivity both are searched as
// lower-cased copies: folding is per byte, so positions stay the same.
class Searcher {
 public:
  Searcher(std::string_view text, std::string_view sub, bool caseSensitive) : text_(text), sub_(sub) {
    if (!caseSensitive) {
      foldedText_.assign(text);
      foldedSub_.assign(sub);
      for (char& c : foldedText_) c = lowerByte(c);
      for (char& c : foldedSub_) c = lowerByte(c);
      text_ = foldedText_;
      sub_ = foldedSub_;
    }
  }
  // The first match at or after [from]; npos when there is none.
  size_t find(size_t from) const { return text_.find(sub_, from); }

 private:
  std::string_view text_, sub_;
  std::string foldedText_, foldedSub_;
};

int cmdLowerStr(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::string s(checkText(L, 1));
  for (char& c : s) c = lowerByte(c);
  return pushText(L, s);
}

int cmdUpperStr(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::string s(checkText(L, 1));
  for (char& c : s) c = upperByte(c);
  return pushText(L, s);
}

// The number at the start of the text and how many characters it took; a
// text that holds no number gives 0 and 0.
int cmdVal(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkParsedNumber n = ParseNumber(std::string(checkText(L, 1)));
  if (n.error != 0) n = {};
  vmPushNumber(L, n.value);
  vmPushNumber(L, static_cast<double>(n.length));
  return 2;
}

int cmdStrStr(vkState* L) {
  CheckArgCount(L, 1, 2);
  double n = vmCheckNumber(L, 1);
  int32_t digits = optInt(L, 2, 2);
  char buf[kNumberTextMax];
  std::string s(buf, static_cast<size_t>(vmNumberToText(n, buf)));
  size_t point = s.find('.');
  if (point != std::string::npos) {
    if (digits > 0)
      s.resize(std::min(s.size(), point + 1 + static_cast<size_t>(digits)));
    else
      s.resize(digits == 0 ? point : point + 1);
  }
  return pushText(L, s);
}

int cmdUnrightStr(vkState* L) {
  CheckArgCount(L, 2, 2);
  std::string_view s = checkText(L, 1);
  int32_t n = checkInt(L, 2);
  if (n < 0) return kErrWrongUsage;
  return pushText(L, static_cast<size_t>(n) >= s.size() ? std::string_view() : s.substr(n));
}

int cmdUnleftStr(vkState* L) {
  CheckArgCount(L, 2, 2);
  std::string_view s = checkText(L, 1);
  int32_t n = checkInt(L, 2);
  if (n < 0) return kErrWrongUsage;
  return pushText(L, static_cast<size_t>(n) >= s.size() ? std::string_view() : s.substr(0, s.size() - n));
}

int cmdChr(vkState* L) {
  CheckArgCount(L, 1, 1);
  int32_t n = checkInt(L, 1);
  if (n < 0 || n > 255) return kErrWrongUsage;
  char c = static_cast<char>(n);
  return pushText(L, std::string_view(&c, n == 0 ? 0 : 1));
}

int cmdMidStr(vkState* L) {
  CheckArgCount(L, 3, 3);
  std::string_view s = checkText(L, 1);
  int32_t pos = checkInt(L, 2);
  int32_t len = checkInt(L, 3);
  if (len <= 0 || pos < 0 || static_cast<size_t>(pos) >= s.size()) return pushText(L, {});
  return pushText(L, s.substr(pos, len));
}

int cmdRightStr(vkState* L) {
  CheckArgCount(L, 2, 2);
  std::string_view s = checkText(L, 1);
  int32_t n = checkInt(L, 2);
  if (n <= 0) return pushText(L, {});
  return pushText(L, static_cast<size_t>(n) >= s.size() ? s : s.substr(s.size() - n));
}

int cmdLeftStr(vkState* L) {
  CheckArgCount(L, 2, 2);
  std::string_view s = checkText(L, 1);
  int32_t n = checkInt(L, 2);
  if (n <= 0) return pushText(L, {});
  return pushText(L, s.substr(0, n));
}

// The arguments FindStr and CountStr share: text, piece, case switch, start.
struct SearchArgs {
  std::string_view s, sub;
  bool caseSensitive;
  int32_t pos;
};

SearchArgs searchArgs(vkState* L) {
  CheckArgCount(L, 2, 4);
  SearchArgs a;
  a.s = checkText(L, 1);
  a.sub = checkText(L, 2);
  a.caseSensitive = vmOptNumber(L, 3, 1) != 0;
  a.pos = optInt(L, 4, 0);
  return a;
}

bool nothingToSearch(const SearchArgs& a) {
  return a.s.empty() || a.sub.empty() || static_cast<size_t>(a.pos) >= a.s.size();
}

int cmdFindStr(vkState* L) {
  SearchArgs a = searchArgs(L);
  if (a.pos < 0) return kErrWrongUsage;
  if (nothingToSearch(a)) return pushNumber(L, -1);
  size_t at = Searcher(a.s, a.sub, a.caseSensitive).find(a.pos);
  return pushNumber(L, at == std::string_view::npos ? -1.0 : static_cast<double>(at));
}

int cmdCountStr(vkState* L) {
  SearchArgs a = searchArgs(L);
  if (a.pos < 0) return kErrWrongUsage;
  if (nothingToSearch(a)) return pushNumber(L, 0);
  Searcher searcher(a.s, a.sub, a.caseSensitive);
  double count = 0;
  for (size_t at = searcher.find(a.pos); at != std::string_view::npos; at = searcher.find(at + a.sub.size()))
    count++;
  return pushNumber(L, count);
}

// Joined by the engine's own concatenation, which builds in its reused
// scratch buffer instead of a new one per call.
// The engine's concatenation, which appends to text being built in place.
int cmdAddStr(vkState* L) {
  CheckArgCount(L, 2, 2);
  vmCheckStringType(L, 1);
  vmCheckStringType(L, 2);
  vmConcat(L, 2);
  return 1;
}

int cmdHexStr(vkState* L) {
  CheckArgCount(L, 1, 1);
  char buf[16];
  int n = std::snprintf(buf, sizeof buf, "$%X", vmCheckUnsigned(L, 1));
  return pushText(L, std::string_view(buf, static_cast<size_t>(n)));
}

int cmdAsc(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::string_view s = checkText(L, 1);
  return pushNumber(L, s.empty() ? 0 : static_cast<unsigned char>(s[0]));
}

int cmdStrLen(vkState* L) {
  CheckArgCount(L, 1, 1);
  return pushNumber(L, static_cast<double>(checkText(L, 1).size()));
}

int cmdReplaceStr(vkState* L) {
  CheckArgCount(L, 3, 5);
  std::string_view s = checkText(L, 1);
  std::string_view find = checkText(L, 2);
  std::string_view replacement = checkText(L, 3);
  bool caseSensitive = vmOptNumber(L, 4, 1) != 0;
  int32_t pos = optInt(L, 5, 0);
  if (pos < 0) return kErrWrongUsage;
  size_t from = std::min(static_cast<size_t>(pos), s.size());
  if (find.empty() || from == s.size()) return pushText(L, s);
  Searcher searcher(s, find, caseSensitive);
  std::string out;
  size_t copied = 0;
  for (size_t at = searcher.find(from); at != std::string_view::npos; at = searcher.find(copied)) {
    if (out.empty()) out.reserve(s.size());
    out.append(s.substr(copied, at - copied));
    out.append(replacement);
    copied = at + find.size();
  }
  if (copied == 0) return pushText(L, s);
  out.append(s.substr(copied));
  return pushText(L, out);
}

int cmdBinStr(vkState* L) {
  CheckArgCount(L, 1, 2);
  uint32_t n = vmCheckUnsigned(L, 1);
  int32_t type = optInt(L, 2, kTypeLong);
  int bits = type == kTypeLong ? 32 : type == kTypeShort ? 16 : type == kTypeByte ? 8 : 0;
  std::string s;
  for (int b = bits - 1; b >= 0; b--) s += (n >> b) & 1 ? '1' : '0';
  return pushText(L, s);
}

int cmdSplitStr(vkState* L) {
  CheckArgCount(L, 2, 2);
  std::string_view s = checkText(L, 1);
  std::string_view sep = checkText(L, 2);
  if (sep.size() != 1) return kErrWrongUsage;
  vmNewTable(L);
  int count = 0;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep[0], start);
    std::string_view piece = s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
    vmPushLString(L, piece.data(), piece.size());
    vmRawSetI(L, -2, count++);
    if (at == std::string_view::npos) break;
    start = at + 1;
  }
  vmPushNumber(L, count);
  return 2;
}

int cmdPadNum(vkState* L) {
  CheckArgCount(L, 2, 2);
  int32_t n = checkInt(L, 1);
  int32_t len = checkInt(L, 2);
  if (n < 0 || len < 1) return kErrWrongUsage;
  std::string digits = std::to_string(n);
  if (digits.size() < static_cast<size_t>(len)) digits.insert(0, len - digits.size(), '0');
  return pushText(L, digits);
}

int cmdStrToArray(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::string_view s = checkText(L, 1);
  vmNewTable(L);
  int i = 0;
  for (char c : s) {
    vmPushNumber(L, static_cast<unsigned char>(c));
    vmRawSetI(L, -2, i++);
  }
  vmPushNumber(L, 0);
  vmRawSetI(L, -2, i);
  return 1;
}

int cmdTrimStr(vkState* L) {
  CheckArgCount(L, 3, 3);
  std::string_view s = checkText(L, 1);
  std::string_view c = checkText(L, 2);
  int32_t side = checkInt(L, 3);
  if (c.size() != 1) return kErrWrongUsage;
  if (side == 0) {
    size_t first = s.find_first_not_of(c[0]);
    return pushText(L, first == std::string_view::npos ? std::string_view() : s.substr(first));
  }
  size_t last = s.find_last_not_of(c[0]);
  return pushText(L, last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1));
}

int cmdToString(vkState* L) {
  CheckArgCount(L, 1, 1);
  if (vmGetMetatable(L, 1)) {
    vmPushConstString(L, "__tostring");
    vmRawGet(L, -2);
    if (vmType(L, -1) == VK_TFUNCTION) {
      vmPushValue(L, 1);
      vmCall(L, 1, 1);
      return 1;
    }
    vmSetTop(L, 1);
  }
  const char* kind = nullptr;
  switch (vmType(L, 1)) {
    case VK_TNIL: return pushText(L, "Nil");
    case VK_TBOOLEAN: return pushText(L, vmToBoolean(L, 1) ? "true" : "false");
    case VK_TNUMBER:
    case VK_TSTRING: vmPushValue(L, 1); vmToString(L, -1); return 1;
    case VK_TTABLE: kind = "Table: %p"; break;
    case VK_TFUNCTION: kind = "Function: %p"; break;
    case VK_TTHREAD: kind = "Thread: %p"; break;
    default: kind = "UserData: %p"; break;
  }
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, kind, vmToPointer(L, 1));
  return pushText(L, std::string_view(buf, static_cast<size_t>(n)));
}

// [text] as an unsigned number in [base], by the rules of a 32-bit strtoul:
// leading white space and a sign are accepted, a value past 32 bits gives
// the largest word, a minus negates modulo 2^32. Only white space may follow
// the digits; anything else, or no digits, gives 0.
uint32_t parseInBase(const std::string& text, int base) {
  const char* p = text.c_str();
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') p++;
  bool digitFollows = (*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z');
  if (!digitFollows) return 0;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(p, &end, base);
  if (end == p) return 0;
  while (*end == ' ' || (*end >= '\t' && *end <= '\r')) end++;
  if (*end != '\0') return 0;
  if (errno == ERANGE || v > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  uint32_t w = static_cast<uint32_t>(v);
  return negative ? 0u - w : w;
}

int cmdToNumber(vkState* L) {
  CheckArgCount(L, 1, 2);
  int32_t base = optInt(L, 2, 10);
  if (base == 10) {
    if (vmType(L, 1) == VK_TNUMBER) return pushNumber(L, vmToNumber(L, 1));
    std::string s(checkText(L, 1));
    double d = 0;
    return pushNumber(L, vmStringToNumber(s.c_str(), &d) ? d : 0.0);
  }
  if (base < 2 || base > 36) return kErrWrongUsage;
  return pushNumber(L, parseInBase(std::string(checkText(L, 1)), base));
}

int cmdUnmidStr(vkState* L) {
  CheckArgCount(L, 3, 3);
  std::string_view s = checkText(L, 1);
  int32_t pos = checkInt(L, 2);
  int32_t len = checkInt(L, 3);
  if (pos < 0 || len < 0) return kErrWrongUsage;
  if (len == 0 || static_cast<size_t>(pos) >= s.size()) return pushText(L, s);
  std::string out(s.substr(0, pos));
  if (static_cast<size_t>(len) < s.size() - pos) out += s.substr(pos + len);
  return pushText(L, out);
}

int cmdInsertStr(vkState* L) {
  CheckArgCount(L, 3, 4);
  std::string_view s = checkText(L, 1);
  std::string_view insert = checkText(L, 2);
  int32_t pos = checkInt(L, 3);
  bool overwrite = vmOptNumber(L, 4, 0) != 0;
  if (pos < 0) return kErrWrongUsage;
  if (s.empty()) return pushText(L, insert);
  if (insert.empty()) return pushText(L, s);
  size_t at = std::min(static_cast<size_t>(pos), s.size());
  size_t rest = overwrite ? at + insert.size() : at;
  std::string out(s.substr(0, at));
  out += insert;
  if (rest < s.size()) out += s.substr(rest);
  return pushText(L, out);
}

}  // namespace

const vkCommandDef kStringCommands[] = {
    {"LowerStr", cmdLowerStr},     {"UpperStr", cmdUpperStr},     {"Val", cmdVal},
    {"StrStr", cmdStrStr},         {"UnrightStr", cmdUnrightStr}, {"UnleftStr", cmdUnleftStr},
    {"Chr", cmdChr},               {"MidStr", cmdMidStr},         {"RightStr", cmdRightStr},
    {"LeftStr", cmdLeftStr},       {"FindStr", cmdFindStr},       {"AddStr", cmdAddStr},
    {"HexStr", cmdHexStr},         {"Asc", cmdAsc},               {"StrLen", cmdStrLen},
    {"ReplaceStr", cmdReplaceStr}, {"BinStr", cmdBinStr},         {"SplitStr", cmdSplitStr},
    {"PadNum", cmdPadNum},         {"StrToArray", cmdStrToArray}, {"TrimStr", cmdTrimStr},
    {"ToString", cmdToString},     {"ToNumber", cmdToNumber},     {"UnmidStr", cmdUnmidStr},
    {"CountStr", cmdCountStr},     {"InsertStr", cmdInsertStr},   {nullptr, nullptr},
};

int OpenStringLibrary(vkState* L) {
  vmRegisterFunctions(L, nullptr, kStringCommands, 0);
  return RegisterLibrary(L, kStringCommands, "string");
}
