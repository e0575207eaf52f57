// Raising numbered errors, handling the error codes of commands and naming
// the erring function and line for the message.
#include "engine/errors.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/call.h"
#include "engine/debug.h"
#include "base/errorinfo.h"
#include "engine/libraries.h"
#include "engine/state.h"
#include "engine/varnames.h"

void vmThrow(vkState* L, int code) {
  if (L->errorJump) throw vkScriptError{code};
  if (L->G && L->G->panic) L->G->panic(L);
  std::exit(1);
}

void vmRaiseError(vkState* L, int code) {
  ErrorInfo().errorLine = vmCurrentLine(L, L->ci);
  FindCurrentFunctionName(L);
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

void FindCurrentFunctionName(vkState* L) {
  static constexpr const char* kNoName = "----";
  bool chunkFound = false;
  vkDebugInfo ar{};
  for (int level = 0; vmGetStack(L, level, &ar); level++) {
    vmGetInfo(L, "Sn", &ar);
    if (!chunkFound && ar.source[0] != '=' && ar.source[0] != '?') {
      ErrorInfo().currentChunkName = ar.source;
      if (ErrorInfo().currentChunkName.size() > kErrorTextMax) ErrorInfo().currentChunkName.resize(kErrorTextMax);
      chunkFound = true;
    }
    const bool unnamed = ErrorInfo().functionName == kNoName;
    const char kind = ar.namewhat ? ar.namewhat[0] : '\0';
    const bool script = std::strcmp(ar.what, "Vellumark") == 0;
    if (kind == 'f' || kind == 'g' || kind == 'l' || kind == 'm') {
      if (!unnamed) continue;
      if (script) {
        ErrorInfo().functionName = ar.name ? ar.name : "anonymous";
      } else if (std::strcmp(ar.what, "C") == 0) {
        const char* spelled = FindCommandName(L, ar.name);
        ErrorInfo().functionName = spelled ? spelled : "?";
      }
    } else if (kind == '\0' && script && unnamed) {
      ErrorInfo().functionName = "<<unnamed>>";
    }
  }
  if (ErrorInfo().errorLine == -1 && vmGetStack(L, 1, &ar)) {
    vmGetInfo(L, "l", &ar);
    ErrorInfo().errorLine = ar.currentline;
  }
}

int ReportCommandError(vkState* L, uint32_t code) {
  ErrorInfo().lastError = code;
  if (!RuntimeAttrs(L).exitOnError) {
    if (RuntimeAttrs(L).pcallDepth == 0) {
      ErrorInfo().functionName = "----";
      ErrorInfo().errorLine = -1;
    }
    return 0;
  }
  FindCurrentFunctionName(L);
  if (RuntimeAttrs(L).pcallDepth == 0) ErrorInfo().stopFlag = 1;
  vmThrow(L, static_cast<int>(code));
}
