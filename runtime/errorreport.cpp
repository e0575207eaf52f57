// Finding the file and source line of a script error and reporting it.
#include "runtime/errorreport.h"

#include <strings.h>

#include <cstdio>

#include "base/errorcodes.h"
#include "engine/attributes.h"
#include "base/errorinfo.h"
#include "engine/errormessages.h"
#include "base/numconv.h"
#include "engine/vmapi.h"
#include "platform/vkos_requesters.h"
#include "base/catalog.h"
#include "runtime/context.h"

namespace {

constexpr const char* kAppletScript = ":none:";
constexpr const char* kNoFunction = "----";
// Catalog texts of the requester's and the report's labels.
constexpr uint32_t kTextCurrentLine = 92;
constexpr uint32_t kTextFile = 194;
constexpr uint32_t kTextInFunction = 280;
constexpr uint32_t kTextError = 402;

std::string catalogText(uint32_t id) {
  const char* text = GetCatalogText(id);
  return text ? text : "";
}

const vkApplet* applet(vkState* L) { return static_cast<const vkApplet*>(vmGetRegistryPointer(L, "applet")); }

// The include range of the current chunk that holds the error line.
const vkIncludeRange* rangeOfErrorLine(vkState* L) {
  const vkApplet* a = applet(L);
  if (!a) return nullptr;
  for (const vkIncludeRange& r : a->includeRanges)
    if (r.chunkName == ErrorInfo().currentChunkName && ErrorInfo().errorLine >= r.firstVmLine &&
        ErrorInfo().errorLine <= r.lastVmLine)
      return &r;
  return nullptr;
}

}  // namespace

std::optional<std::string> ErrorFileName(vkState* L) {
  if (!RuntimeAttrs(L).lineInfo) return std::nullopt;
  std::string script = vmGetRegistryString(L, "script");
  if (script != kAppletScript) return script;
  const vkIncludeRange* r = rangeOfErrorLine(L);
  return r ? r->fileName : "---";
}

int32_t GetSourceLine(vkState* L) {
  std::string script = vmGetRegistryString(L, "script");
  if (script != kAppletScript) {
    int64_t line = int64_t{ErrorInfo().errorLine} - vkDoubleToInt32(vmGetRegistryNumber(L, "beginline")) + 1;
    if (const vkApplet* a = applet(L))
      for (const vkIncludeRange& r : a->includeRanges)
        if (strcasecmp(r.fileName.c_str(), script.c_str()) == 0) line += int64_t{r.lastVmLine} - r.firstVmLine;
    return static_cast<int32_t>(line);
  }
  const vkIncludeRange* r = rangeOfErrorLine(L);
  if (!r) return -1;
  return static_cast<int32_t>(int64_t{ErrorInfo().errorLine} - r->firstVmLine + r->firstSourceLine + 1);
}

std::string FormatErrorMessage(vkState* L, int32_t code, std::optional<std::string>* file, int32_t* line) {
  if (file) *file = ErrorFileName(L);
  if (line) *line = RuntimeAttrs(L).lineInfo ? GetSourceLine(L) : 0;
  return FormatErrorMessage(code);
}

std::string ScriptErrorText(vkState* L, const std::string& message, bool plain) {
  if (plain || !RuntimeAttrs(L).lineInfo) return message;
  std::string file = ShortName(ErrorFileName(L).value_or(""));
  std::string text = message + "\n" + catalogText(kTextFile) + ": " + file + " (" + catalogText(kTextCurrentLine) +
                     ": " + std::to_string(GetSourceLine(L));
  if (ErrorInfo().functionName != kNoFunction) text += " - " + catalogText(kTextInFunction) + ": " + ErrorInfo().functionName;
  return text + ")";
}

namespace {
// "file:line: message", or "Error: message" when the file is not known.
void printReport(FILE* out, vkState* L, const std::string& message) {
  std::optional<std::string> file = ErrorFileName(L);
  if (file)
    std::fprintf(out, "%s:%d: %s\n", file->c_str(), static_cast<int>(GetSourceLine(L)), message.c_str());
  else
    std::fprintf(out, "%s: %s\n", catalogText(kTextError).c_str(), message.c_str());
  std::fflush(out);
}
}  // namespace

int ShowScriptError(vkState* L, const std::string& message, bool plain) {
  if (!vkosHasWindowSystem()) {
    printReport(stderr, L, message);
    return 0;
  }
  return vkosShowRequester(kRequesterTitle, ScriptErrorText(L, message, plain).c_str(), nullptr);
}

void ReportFinalError(vkState* L, int32_t code, bool debugDevice, std::string* messageOut) {
  if (code <= 0 || code == kErrUserAbort) return;
  std::string message = FormatErrorMessage(code);
  if (messageOut) *messageOut = message;
  if (debugDevice)
    printReport(stdout, L, message);
  else
    ShowScriptError(L, message, false);
}
