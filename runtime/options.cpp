// Option parsing and checking. The argument line and the ".ini" file only fill
// option slots (their texts are owned by the slots, user arguments own their
// copies); ApplyOptions is the one place that interprets them, in a fixed
// order so that the first error found is the one reported.
#include "runtime/options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

#include "base/nocase.h"
#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"

namespace {

// The longest key of a ".ini" entry.
constexpr size_t kIniKeyMax = 127;

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

const vkOptionDef* FindOption(std::string_view name) {
  for (const vkOptionDef& def : kOptionTable)
    if (EqualsNoCase(name, def.name)) return &def;
  return nullptr;
}

// Reads a whole file; nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string text;
  char block[16384];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  return text;
}

// The option in [slot] as an integer; [percent], when given, learns whether a
// '%' follows the number.
uint32_t OptionNumber(const vkOptionSlots& slots, uint32_t slot, int32_t& out, bool* percent = nullptr) {
  const std::string& text = slots.Text(slot);
  const vkParsedNumber n = ParseNumber(text);
  if (n.error != 0) return n.error;
  out = vkDoubleToInt32(n.value);
  if (percent != nullptr) *percent = n.length < text.size() && text[n.length] == '%';
  return 0;
}

uint32_t OptionWord(const vkOptionSlots& slots, uint32_t slot, uint32_t& out) {
  int32_t value = 0;
  const uint32_t error = OptionNumber(slots, slot, value);
  if (error == 0) out = static_cast<uint32_t>(value);
  return error;
}

// A switch's value in a ".ini" file.
bool IsTrueText(const std::string& value) {
  for (const char* word : {"true", "yes", "on"})
    if (EqualsNoCase(value, word)) return true;
  const vkParsedNumber n = ParseNumber(value);
  return n.error == 0 && n.value != 0;
}

// Display flags that a switch sets directly.
struct FlagOption {
  uint32_t slot;
  uint32_t flag;
};
constexpr FlagOption kFlagOptions[] = {
    {OPT_BORDERLESS, kDisplayBorderless},   {OPT_SIZEABLE, kDisplaySizeable},
    {OPT_FIXED, kDisplayFixed},             {OPT_USEQUARTZ, kDisplayUseQuartz},
    {OPT_NOHIDE, kDisplayNoHide},           {OPT_HIDEPOINTER, kDisplayHidePointer},
    {OPT_NOMODESWITCH, kDisplayNoModeSwitch}, {OPT_AUTOSCALE, kDisplayAutoScale},
    {OPT_LAYERSCALE, kDisplayLayerScale},   {OPT_KEEPPROPORTIONS, kDisplayKeepProportions},
    {OPT_FITSCALE, kDisplayFitScale},
};

struct NamedValue {
  const char* name;
  uint32_t value;
};

constexpr NamedValue kBackfillTypes[] = {
    {"COLOR", kBackfillColor},     {"RAINBOW", kBackfillGradient}, {"GRADIENT", kBackfillGradient},
    {"TEXTURE", kBackfillTexture}, {"PICTURE", kBackfillPicture},
};

constexpr NamedValue kExeTypes[] = {
    {"CLASSIC", 1},   {"MORPHOS", 2},  {"WARPOS", 8},   {"AMIGAOS4", 4},   {"AROS", 0x10},
    {"APPLET", 0x20}, {"WIN32", 0x40}, {"LINUX", 0x80}, {"MACOS", 0x100}, {"MACOS86", 0x200},
};

template <size_t N>
std::optional<uint32_t> FindNamed(const NamedValue (&table)[N], std::string_view name) {
  for (const NamedValue& row : table)
    if (EqualsNoCase(name, row.name)) return row.value;
  return std::nullopt;
}

// A '+'-joined list of executable types; 0 when any name is unknown.
uint32_t ParseExeTypes(std::string_view list) {
  uint32_t flags = 0;
  size_t at = 0;
  while (true) {
    const size_t plus = list.find('+', at);
    const std::string_view name = list.substr(at, plus == std::string_view::npos ? std::string_view::npos : plus - at);
    const std::optional<uint32_t> type = FindNamed(kExeTypes, name);
    if (!type) return 0;
    flags |= *type;
    if (plus == std::string_view::npos) return flags;
    at = plus + 1;
  }
}

uint32_t ApplyBackfill(const vkOptionSlots& slots, vkBackfill& backfill) {
  const std::optional<uint32_t> type = FindNamed(kBackfillTypes, slots.Text(OPT_BACKFILL));
  if (!type) return kErrBackfill;
  const bool brush = slots.Has(OPT_BRUSH);
  const bool brushFile = slots.Has(OPT_BRUSHFILE);
  const bool start = slots.Has(OPT_STARTCOLOR);
  const bool end = slots.Has(OPT_ENDCOLOR);
  if (brush && brushFile) return kErrBackfill;
  if (*type == kBackfillColor && !start) return kErrBackfill;
  if (*type == kBackfillGradient && !(start && end)) return kErrBackfill;
  if ((*type == kBackfillTexture || *type == kBackfillPicture) && !brush && !brushFile) return kErrBackfill;
  backfill.type = *type;

  uint32_t error = 0;
  if (brush && (error = OptionNumber(slots, OPT_BRUSH, backfill.brushId)) != 0) return error;
  if (brushFile) backfill.brushFile = slots.Text(OPT_BRUSHFILE);
  if (start && (error = OptionNumber(slots, OPT_STARTCOLOR, backfill.startColor)) != 0) return error;
  if (end && (error = OptionNumber(slots, OPT_ENDCOLOR, backfill.endColor)) != 0) return error;
  if (slots.Has(OPT_SCALEPICTURE)) backfill.scalePicture = 1;
  if (slots.Has(OPT_PICXPOS) && (error = OptionNumber(slots, OPT_PICXPOS, backfill.pictureX)) != 0) return error;
  if (slots.Has(OPT_PICYPOS) && (error = OptionNumber(slots, OPT_PICYPOS, backfill.pictureY)) != 0) return error;
  if (slots.Has(OPT_PICTRANS) && (error = OptionNumber(slots, OPT_PICTRANS, backfill.pictureTransparency)) != 0)
    return error;
  return 0;
}

void AddLinkEntry(vkApplet& applet, std::string name, bool font) {
  if (font) {
    if (EndsWithNoCase(name, ".font")) name.resize(name.size() - 5);
    name = "::font:" + name;
  }
  for (const vkLinkedFile& linked : applet.linkedFiles)
    if (EqualsNoCase(linked.name, name)) return;
  vkLinkedFile entry;
  entry.name = std::move(name);
  applet.linkedFiles.push_back(std::move(entry));
}

}  // namespace

const vkOptionDef kOptionTable[kOptionCount] = {
    {"WINDOW", 1, false},         {"BORDERLESS", 2, false},     {"SIZEABLE", 3, false},
    {"BACKFILL", 4, true},        {"HIDETITLEBAR", 5, false},   {"BRUSH", 6, true},
    {"STARTCOLOR", 7, true},      {"ENDCOLOR", 8, true},        {"DEPTH", 9, true},
    {"COMPILE", 10, true},        {"QUIET", 11, false},         {"PUBSCREEN", 12, true},
    {"BRUSHFILE", 13, true},      {"MASTERVOLUME", 14, true},   {"FIXED", 15, false},
    {"NOSOUND", 16, false},       {"EXETYPE", 17, true},        {"SCALEPICTURE", 18, false},
    {"PICXPOS", 19, true},        {"PICYPOS", 20, true},        {"PICTRANS", 21, true},
    {"FULLSCREEN", 22, false},    {"PRIVATE1", 23, true},       {"PRIVATE2", 24, true},
    {"USEQUARTZ", 25, false},     {"NOHIDE", 26, false},        {"OWNSCREEN", 27, false},
    {"SCRWIDTH", 28, true},       {"SCRHEIGHT", 29, true},      {"FAKEFULLSCREEN", 30, false},
    {"HIDEPOINTER", 31, false},   {"NOMODESWITCH", 32, false},  {"LINKFILES", 33, true},
    {"DEBUGDEVICE", 34, true},    {"COMPRESS", 35, false},      {"OVERWRITE", 36, false},
    {"AUTOSCALE", 37, false},     {"SMOOTHSCALE", 40, false},   {"SCALEWIDTH", 38, true},
    {"SCALEHEIGHT", 39, true},    {"LAYERSCALE", 41, false},    {"USEWPA", 42, false},
    {"WPAMODE", 43, true},        {"LOCKSETTINGS", 48, false},  {"LINKFONTS", 49, true},
    {"PRIVATE3", 50, true},       {"SCRIPTALIAS", 52, true},    {"ICON16X16", 53, true},
    {"ICON24X24", 54, true},      {"ICON32X32", 55, true},      {"ICON48X48", 56, true},
    {"ICON128X128", 57, true},    {"ICON256X256", 58, true},    {"ICON512X512", 59, true},
    {"KEEPPROPORTIONS", 60, false}, {"FITSCALE", 61, false},
};

std::string JoinArguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    const std::string_view arg = argv[i] ? argv[i] : "";
    if (!arg.empty() && arg[0] == '-') {
      line += arg;
    } else {
      line += '"';
      line += arg;
      line += '"';
    }
  }
  return line;
}

uint32_t ParseArgumentLine(const std::string& line, vkOptionSlots& slots, vkProgramContext& context) {
  constexpr size_t kNone = SIZE_MAX;
  const size_t n = line.size();
  size_t at = 0;
  size_t waitingSlot = kNone;     // a valued option waiting for its value
  size_t waitingUserArg = kNone;  // a user argument that may take a value
  while (true) {
    while (at < n && IsBlank(line[at])) ++at;
    if (at >= n) break;

    if (line[at] == '-') {
      if (waitingSlot != kNone) return kErrWrongArguments;
      waitingUserArg = kNone;
      const size_t start = ++at;
      while (at < n && IsNameChar(line[at])) ++at;
      const std::string name = line.substr(start, at - start);
      if (at < n) ++at;  // the character that ended the name goes with it
      if (const vkOptionDef* def = FindOption(name)) {
        if (def->takesArgument)
          waitingSlot = def->slot;
        else
          slots.word[def->slot] = 1;
      } else {
        context.userArgs.push_back({name, std::nullopt});
        waitingUserArg = context.userArgs.size() - 1;
      }
      continue;
    }

    std::string value;
    if (line[at] == '"') {
      const size_t close = line.find('"', at + 1);
      if (close == std::string::npos) return kErrWrongArguments;
      value = line.substr(at + 1, close - at - 1);
      at = close + 1;
    } else {
      const size_t start = at;
      while (at < n && !IsBlank(line[at])) ++at;
      value = line.substr(start, at - start);
    }
    if (waitingSlot != kNone) {
      slots.word[waitingSlot] = 1;
      slots.text[waitingSlot] = std::move(value);
      waitingSlot = kNone;
    } else if (waitingUserArg != kNone) {
      context.userArgs[waitingUserArg].value = std::move(value);
      waitingUserArg = kNone;
    } else {
      if (slots.Has(OPT_SCRIPT)) return kErrWrongArguments;
      slots.word[OPT_SCRIPT] = 1;
      slots.text[OPT_SCRIPT] = std::move(value);
    }
  }
  return waitingSlot != kNone ? kErrWrongArguments : 0;
}

std::string IniPathFor(const std::string& scriptPath) {
  const size_t slash = scriptPath.find_last_of('/');
  const size_t filePart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = scriptPath.find_last_of('.');
  if (dot == std::string::npos || dot < filePart) return scriptPath + ".ini";
  return scriptPath.substr(0, dot) + ".ini";
}

uint32_t ParseIniText(const std::string& text, vkOptionSlots& slots, vkProgramContext& context) {
  const size_t n = text.size();
  size_t at = 0;
  while (true) {
    while (at < n && (IsBlank(text[at]) || IsLineEnd(text[at]))) ++at;
    if (at >= n) return 0;
    if (text[at] == '#' || text[at] == '[') {
      while (at < n && !IsLineEnd(text[at])) ++at;
      continue;
    }

    if (!IsAsciiAlpha(text[at])) return kErrIniSyntax;
    const size_t keyStart = at;
    while (at < n && IsNameChar(text[at])) ++at;
    if (at - keyStart > kIniKeyMax) return kErrIniSyntax;
    const std::string key = text.substr(keyStart, at - keyStart);
    while (at < n && IsBlank(text[at])) ++at;
    if (at >= n || text[at] != '=') return kErrIniSyntax;
    ++at;
    while (at < n && IsBlank(text[at])) ++at;

    std::string value;
    if (at < n && text[at] == '"') {
      size_t close = at + 1;
      while (close < n && text[close] != '"' && !IsLineEnd(text[close])) ++close;
      if (close >= n || text[close] != '"') return kErrIniSyntax;
      value = text.substr(at + 1, close - at - 1);
      at = close + 1;
    } else {
      const size_t start = at;
      while (at < n && !IsLineEnd(text[at])) ++at;
      size_t end = at;
      while (end > start && IsBlank(text[end - 1])) --end;
      value = text.substr(start, end - start);
    }

    if (const vkOptionDef* def = FindOption(key)) {
      if (def->takesArgument) {
        slots.word[def->slot] = 1;
        slots.text[def->slot] = std::move(value);
      } else {
        slots.word[def->slot] = IsTrueText(value) ? 1 : 0;
      }
    } else {
      context.userArgs.push_back({key, std::move(value)});
    }
  }
}

uint32_t ReadIniFile(const std::string& path, vkOptionSlots& slots, vkProgramContext& context) {
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) return 0;
  return ParseIniText(*text, slots, context);
}

vkParsedNumber ParseNumber(const std::string& text) {
  vkParsedNumber result;
  const size_t n = text.size();
  size_t at = 0;
  bool negative = false;
  if (at < n && text[at] == '-') {
    negative = true;
    ++at;
  }

  // Digits of [base] from [at] on; false when there is none.
  auto digits = [&](int base) {
    const size_t start = at;
    double value = 0;
    while (at < n) {
      const char c = AsciiLower(text[at]);
      int digit;
      if (IsAsciiDigit(c))
        digit = c - '0';
      else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else
        break;
      if (digit >= base) break;
      value = value * base + digit;
      ++at;
    }
    result.value = value;
    return at > start;
  };

  if (at < n && text[at] == '$') {
    ++at;
    if (at < n && text[at] == '-') {
      negative = !negative;
      ++at;
    }
    if (!digits(16)) result.error = kErrSyntax;
  } else if (at < n && text[at] == '%') {
    ++at;
    digits(2);
  } else if (at + 1 < n && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    at += 2;
    if (!digits(16)) result.error = kErrSyntax;
  } else if (at < n && IsAsciiDigit(text[at])) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data() + at, text.data() + n, value);
    if (ec == std::errc::result_out_of_range) {
      // Beyond a double: zero for a large negative exponent, else infinity.
      const std::string_view number(text.data() + at, size_t(end - (text.data() + at)));
      value = number.find("e-") != std::string_view::npos || number.find("E-") != std::string_view::npos ? 0.0
                                                                                                         : HUGE_VAL;
    }
    result.value = value;
    at = size_t(end - text.data());
  } else {
    result.error = kErrValueExpected;
  }
  if (negative) result.value = -result.value;
  result.length = at;
  return result;
}

uint32_t ApplyOptions(const vkOptionSlots& slots, vkProgramContext& context, vkApplet& applet) {
  vkDisplaySettings& display = applet.display;
  uint32_t error = 0;

  if (slots.Has(OPT_COMPILE)) context.compile = 1;
  if (slots.Has(OPT_WINDOW)) display.mode = kDisplayModeWindow;
  if (slots.Has(OPT_HIDETITLEBAR)) display.hideTitleBar = 1;
  for (const FlagOption& option : kFlagOptions)
    if (slots.Has(option.slot)) display.flags |= option.flag;

  const uint32_t scaling = kDisplayAutoScale | kDisplayLayerScale;
  if ((display.flags & scaling) == scaling) return kErrWrongArguments;

  if (slots.Has(OPT_OVERWRITE)) context.overwrite = 1;
  if (slots.Has(OPT_LOCKSETTINGS)) context.lockSettings = 1;

  if (display.flags & scaling) {
    if (slots.Has(OPT_SMOOTHSCALE)) display.flags |= kDisplaySmoothScale;
    const struct {
      uint32_t slot;
      int32_t& field;
    } sizes[] = {{OPT_SCALEWIDTH, display.scaleWidth}, {OPT_SCALEHEIGHT, display.scaleHeight}};
    for (const auto& size : sizes) {
      if (!slots.Has(size.slot)) continue;
      bool percent = false;
      if ((error = OptionNumber(slots, size.slot, size.field, &percent)) != 0) return error;
      // A percentage is stored negated, as a 32-bit word: the smallest value
      // stays itself instead of overflowing.
      if (percent) size.field = static_cast<int32_t>(0u - static_cast<uint32_t>(size.field));
    }
  }

  if (slots.Has(OPT_OWNSCREEN)) {
    if (slots.Has(OPT_FULLSCREEN) || slots.Has(OPT_FAKEFULLSCREEN)) return kErrWrongArguments;
    display.mode = kDisplayModeOwnScreen;
  }

  if (slots.Has(OPT_DEPTH) && (error = OptionNumber(slots, OPT_DEPTH, display.screenDepth)) != 0) return error;
  if (slots.Has(OPT_SCRWIDTH) && (error = OptionNumber(slots, OPT_SCRWIDTH, display.screenWidth)) != 0) return error;
  if (slots.Has(OPT_SCRHEIGHT) && (error = OptionNumber(slots, OPT_SCRHEIGHT, display.screenHeight)) != 0)
    return error;

  if (slots.Has(OPT_BACKFILL) && (error = ApplyBackfill(slots, display.backfill)) != 0) return error;

  if (slots.Has(OPT_QUIET)) context.quiet = 1;
  if (slots.Has(OPT_PUBSCREEN)) {
    context.publicScreen = slots.Text(OPT_PUBSCREEN);
    display.mode = kDisplayModeWindow;
  }
  if (slots.Has(OPT_MASTERVOLUME) && (error = OptionWord(slots, OPT_MASTERVOLUME, context.masterVolume)) != 0)
    return error;
  if (slots.Has(OPT_NOSOUND)) context.noSound = 1;

  if (slots.Has(OPT_EXETYPE)) {
    context.exeType = ParseExeTypes(slots.Text(OPT_EXETYPE));
    if (context.exeType == 0) return kErrExeType;
  }

  if (slots.Has(OPT_PRIVATE1)) context.private1Path = slots.Text(OPT_PRIVATE1);
  if (slots.Has(OPT_PRIVATE2)) context.private2Path = slots.Text(OPT_PRIVATE2);
  if (slots.Has(OPT_PRIVATE3)) context.private3 = slots.Text(OPT_PRIVATE3);
  if (slots.Has(OPT_SCRIPTALIAS)) context.scriptAlias = slots.Text(OPT_SCRIPTALIAS);

  if (context.compile) {
    if (slots.Has(OPT_LINKFILES) && (error = ReadLinkList(applet, slots.Text(OPT_LINKFILES), false)) != 0)
      return error;
    if (slots.Has(OPT_LINKFONTS) && (error = ReadLinkList(applet, slots.Text(OPT_LINKFONTS), true)) != 0)
      return error;
  }

  if (slots.Has(OPT_DEBUGDEVICE)) {
    context.debugDevice = 1;
    context.debugDeviceName = slots.Text(OPT_DEBUGDEVICE);
  }
  if (slots.Has(OPT_COMPRESS)) context.compress = 1;
  for (size_t i = 0; i < kIconCount; ++i)
    if (slots.Has(kIconSizes[i].slot)) context.iconPaths[i] = slots.Text(kIconSizes[i].slot);

  if (slots.Has(OPT_FAKEFULLSCREEN)) {
    if (slots.Has(OPT_OWNSCREEN) || slots.Has(OPT_FULLSCREEN)) return kErrWrongArguments;
    display.mode = kDisplayModeFakeFullScreen;
  }
  if (slots.Has(OPT_FULLSCREEN)) {
    if (slots.Has(OPT_OWNSCREEN) || slots.Has(OPT_FAKEFULLSCREEN)) return kErrWrongArguments;
    display.mode = kDisplayModeFullScreen;
  }
  return 0;
}

uint32_t CheckCompileRequest(const vkProgramContext& context) { return context.compile ? kErrCompile : 0; }

uint32_t ReadLinkList(vkApplet& applet, const std::string& path, bool fonts) {
  const std::optional<std::string> file = ReadWholeFile(path);
  if (!file) {
    SetErrorText(path.c_str());
    return kErrCannotRead;
  }
  const std::string& text = *file;
  const size_t n = text.size();
  size_t at = 0;
  while (at < n) {
    while (at < n && IsBlank(text[at])) ++at;
    std::string name;
    if (at < n && text[at] == '"') {
      size_t close = at + 1;
      while (close < n && text[close] != '"' && !IsLineEnd(text[close])) ++close;
      if (close >= n || text[close] != '"') return kErrLinkList;
      name = text.substr(at + 1, close - at - 1);
      at = close + 1;
    } else {
      const size_t start = at;
      while (at < n && !IsBlank(text[at]) && !IsLineEnd(text[at])) ++at;
      name = text.substr(start, at - start);
    }
    while (at < n && IsBlank(text[at])) ++at;
    if (at < n) {
      if (text[at] == '\n')
        at += 1;
      else if (text[at] == '\r' && at + 1 < n && text[at + 1] == '\n')
        at += 2;
      else
        return kErrLinkList;
    }
    if (!name.empty()) AddLinkEntry(applet, std::move(name), fonts);
  }
  return 0;
}
