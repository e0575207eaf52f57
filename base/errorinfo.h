// The error record: what the next error message is filled with (a text for
// "%s", a number for "%d"/"%ld"), where the error happened, the last command
// error for GetLastError and the stop flag that the interpreter tests before
// every instruction. Each engine owns one and makes it current on its thread
// while it runs; code below the engine (readers, the platform) fills the
// current one.
#pragma once

#include <cstdint>
#include <string>

struct vkErrorInfo {
  std::string errorText;              // fills "%s"; at most 1023 bytes kept
  int32_t pcIndex = 0;                // instruction after the running CALL
  int32_t jumpOffset = 0;             // label index minus pc index
  int32_t errorNumber = 0;            // fills "%d" / "%ld"
  int32_t errorLine = -1;             // VM line of the error, -1 = not known
  std::string functionName = "----";  // erring function, "----" = none
  uint32_t lastError = 0;             // code of the last command error
  uint32_t stopFlag = 0;              // set when the script must stop
  std::string currentChunkName;       // source of the innermost script function
};

// The current error record of this thread: the one of the engine running on
// it, or the thread's own while none is.
vkErrorInfo& ErrorInfo();
// Makes [info] current on this thread (NULL: the thread's own) and returns
// the record that was current.
vkErrorInfo* SetCurrentErrorInfo(vkErrorInfo* info);

// The longest text the error text and the chunk name keep (their buffers held
// 1024 bytes with the terminator).
inline constexpr size_t kErrorTextMax = 1023;

// Copies [text] into the error text (cut to kErrorTextMax bytes) and returns it.
const char* SetErrorText(const char* text);
void SetErrorNumber(int32_t n);
