// The report of a script error: where it happened (the script or included
// file and its source line, through the applet's include ranges), the
// requester text with file, line and function, and the report at the end of
// a run, which goes to standard output with DEBUGDEVICE, else to the error
// requester, or to standard error where there is no window system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/errormessages.h"

struct vkState;

// Title of the error requester.
inline constexpr const char* kRequesterTitle = "VellumarkPlayer";

// The file the error line belongs to; none with ATTR_LINEINFO off. For an
// applet (registry "script" is ":none:") the file of the include range that
// holds the error line in the current chunk, or "---".
std::optional<std::string> ErrorFileName(vkState* L);

// The source line of the error line: for a script run from source, counted
// from its registry "beginline" past the included stretches of that file;
// for an applet, through its include range (-1 when none holds the line).
int32_t GetSourceLine(vkState* L);

// FormatErrorMessage (engine/errormessages.h) of [code], with the file and
// line of the error: no file and line 0 with ATTR_LINEINFO off.
std::string FormatErrorMessage(vkState* L, int32_t code, std::optional<std::string>* file, int32_t* line);

// The text of the error requester for [message]: the message alone when
// [plain] or ATTR_LINEINFO is off, else with file, current line and, when
// known, the function.
std::string ScriptErrorText(vkState* L, const std::string& message, bool plain);

// Shows [message] in the error requester; returns its result. Without a
// window system the report goes to standard error as "file:line: message"
// (returns 0).
int ShowScriptError(vkState* L, const std::string& message, bool plain);

// The report at the end of a run, for [code] > 0 other than 1003 "User
// abort!" (nothing is reported for those). The message is stored in
// [*messageOut] when given. With [debugDevice] it goes to standard output as
// "file:line: message", or "Error: message" without a file; otherwise to
// ShowScriptError. A "failed" status line, when one is due, is the caller's
// to print first.
void ReportFinalError(vkState* L, int32_t code, bool debugDevice, std::string* messageOut);
