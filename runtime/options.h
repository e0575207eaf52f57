// The player's options: the 56 option keywords, the argument line and the
// ".ini" file beside the applet that fill the option slots (the file's values
// win), the number syntax of option values, and ApplyOptions, which checks the
// slots and turns them into fields of the program context and applet record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/context.h"

inline constexpr size_t kOptionSlotCount = 63;
inline constexpr size_t kOptionCount = 56;

struct vkOptionDef {
  const char* name;
  uint32_t slot;
  bool takesArgument;
};
extern const vkOptionDef kOptionTable[kOptionCount];

// Slot numbers the parser and ApplyOptions refer to by name.
enum vkOptionSlot : uint32_t {
  OPT_SCRIPT = 0, OPT_WINDOW = 1, OPT_BORDERLESS = 2, OPT_SIZEABLE = 3, OPT_BACKFILL = 4,
  OPT_HIDETITLEBAR = 5, OPT_BRUSH = 6, OPT_STARTCOLOR = 7, OPT_ENDCOLOR = 8, OPT_DEPTH = 9,
  OPT_COMPILE = 10, OPT_QUIET = 11, OPT_PUBSCREEN = 12, OPT_BRUSHFILE = 13,
  OPT_MASTERVOLUME = 14, OPT_FIXED = 15, OPT_NOSOUND = 16, OPT_EXETYPE = 17,
  OPT_SCALEPICTURE = 18, OPT_PICXPOS = 19, OPT_PICYPOS = 20, OPT_PICTRANS = 21,
  OPT_FULLSCREEN = 22, OPT_PRIVATE1 = 23, OPT_PRIVATE2 = 24, OPT_USEQUARTZ = 25,
  OPT_NOHIDE = 26, OPT_OWNSCREEN = 27, OPT_SCRWIDTH = 28, OPT_SCRHEIGHT = 29,
  OPT_FAKEFULLSCREEN = 30, OPT_HIDEPOINTER = 31, OPT_NOMODESWITCH = 32, OPT_LINKFILES = 33,
  OPT_DEBUGDEVICE = 34, OPT_COMPRESS = 35, OPT_OVERWRITE = 36, OPT_AUTOSCALE = 37,
  OPT_SCALEWIDTH = 38, OPT_SCALEHEIGHT = 39, OPT_SMOOTHSCALE = 40, OPT_LAYERSCALE = 41,
  OPT_USEWPA = 42, OPT_WPAMODE = 43, OPT_LOCKSETTINGS = 48, OPT_LINKFONTS = 49,
  OPT_PRIVATE3 = 50, OPT_SCRIPTALIAS = 52, OPT_ICON16X16 = 53, OPT_KEEPPROPORTIONS = 60,
  OPT_FITSCALE = 61,
};

// What the argument line and the ".ini" file gave. A switch's word is 1 (or 0
// when the ".ini" file turned it off); a valued option's word is 1 once it
// has a value, which its text holds. Slot 0 is the script file.
struct vkOptionSlots {
  std::array<uint32_t, kOptionSlotCount> word{};
  std::array<std::string, kOptionSlotCount> text{};

  bool Has(uint32_t slot) const { return word[slot] != 0; }
  const std::string& Text(uint32_t slot) const { return text[slot]; }
};

// The argument line made of [argc] and [argv]: options (beginning with '-')
// as they are, every other argument in double quotes, one blank between.
std::string JoinArguments(int argc, const char* const* argv);

// Fills [slots] from an argument line; option names the table lacks become
// user arguments of [context]. Returns 0 or 1060.
uint32_t ParseArgumentLine(const std::string& line, vkOptionSlots& slots, vkProgramContext& context);

// The ".ini" file of [scriptPath]: its file part's extension replaced by
// ".ini", or ".ini" appended when the file part has none.
std::string IniPathFor(const std::string& scriptPath);

// Fills [slots] from the text of a ".ini" file, over what the argument line
// gave; unknown keys become user arguments. Returns 0 or 1363.
uint32_t ParseIniText(const std::string& text, vkOptionSlots& slots, vkProgramContext& context);

// Reads the ".ini" file at [path] into [slots]; a missing file is no error.
uint32_t ReadIniFile(const std::string& path, vkOptionSlots& slots, vkProgramContext& context);

// A number in an option value: an optional '-', then "$" and hexadecimal
// digits (a '-' may follow the "$"), "%" and binary digits, "0x" and
// hexadecimal digits, or a decimal floating-point number.
struct vkParsedNumber {
  double value = 0;
  size_t length = 0;   // characters consumed
  uint32_t error = 0;  // 1018 (a prefix without digits) or 1024 (no number)
};
vkParsedNumber ParseNumber(const std::string& text);

// Checks the option slots and stores them into [context] and [applet];
// returns 0 or the first error (1018, 1024, 1045, 1060, 1243, 1266,
// 1305).
uint32_t ApplyOptions(const vkOptionSlots& slots, vkProgramContext& context, vkApplet& applet);

// The player cannot compile: 1212 when the COMPILE option was given, else 0.
// Start-up calls this right after ApplyOptions.
uint32_t CheckCompileRequest(const vkProgramContext& context);

// Adds the files (or, with [fonts], the fonts) that the list file at [path]
// names to [applet]'s linked files. Returns 0, 1045 or 1305.
uint32_t ReadLinkList(vkApplet& applet, const std::string& path, bool fonts);
