// The program-wide error record: what the next error message is filled with
// (a text for "%s", a number for "%d"/"%ld"), where the error happened, the
// last command error for GetLastError and the stop flag that the interpreter
// tests before every instruction. One record for the whole process: scripts
// run on the main thread only.
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

extern vkErrorInfo gErrorInfo;

// The longest text the error text and the chunk name keep (their buffers held
// 1024 bytes with the terminator).
inline constexpr size_t kErrorTextMax = 1023;

// Copies [text] into the error text (cut to kErrorTextMax bytes) and returns it.
const char* SetErrorText(const char* text);
void SetErrorNumber(int32_t n);
