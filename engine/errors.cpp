// Raising numbered errors and handling the error codes of commands.
#include "engine/errors.h"

#include <cstdlib>
#include <string>

#include "engine/call.h"
#include "engine/errorinfo.h"
#include "engine/state.h"
#include "engine/varnames.h"

vkCommandErrorSettings gCommandErrorSettings;

void vmThrow(vkState* L, int code) {
  if (L->errorJump) throw vkScriptError{code};
  if (L->G && L->G->panic) L->G->panic(L);
  std::exit(1);
}

namespace {
// The error line of the running level: its current line, or, for a command,
// the line of the script function that called it when that is still unknown.
void recordErrorLine(vkState* L, bool fromCaller) {
  vkCallInfo* ci = L->ci;
  gErrorInfo.errorLine = vmCurrentLine(L, ci);
  if (fromCaller && gErrorInfo.errorLine == -1 && ci > L->baseCi) gErrorInfo.errorLine = vmCurrentLine(L, ci - 1);
}
}  // namespace

void vmRaiseError(vkState* L, int code) {
  recordErrorLine(L, false);
  vmThrow(L, code);
}

void vmRaiseNameError(vkState* L, const vkValue* v, int code, const char* suffix) {
  const char* kind = nullptr;
  const char* name = vmVariableName(L, v, &kind);
  std::string text = name ? name : "??";
  text += suffix;
  SetErrorText(text.c_str());
  vmRaiseError(L, code);
}

int ReportCommandError(vkState* L, uint32_t code) {
  gErrorInfo.lastError = code;
  if (!gCommandErrorSettings.exitOnError) {
    if (gCommandErrorSettings.pcallDepth == 0) {
      gErrorInfo.functionName = "----";
      gErrorInfo.errorLine = -1;
    }
    return 0;
  }
  recordErrorLine(L, true);
  if (gCommandErrorSettings.pcallDepth == 0) gErrorInfo.stopFlag = 1;
  vmThrow(L, static_cast<int>(code));
}
