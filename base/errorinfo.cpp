// The current error record and its two setters.
#include "base/errorinfo.h"

#include <cstring>

namespace {

// Which record is current is a property of the thread, as errno is: the
// records themselves belong to the engines.
thread_local vkErrorInfo tOwnRecord;
thread_local vkErrorInfo* tCurrent = nullptr;

}  // namespace

vkErrorInfo& ErrorInfo() { return tCurrent ? *tCurrent : tOwnRecord; }

vkErrorInfo* SetCurrentErrorInfo(vkErrorInfo* info) {
  vkErrorInfo* previous = tCurrent;
  tCurrent = info;
  return previous;
}

const char* SetErrorText(const char* text) {
  size_t n = text ? std::strlen(text) : 0;
  if (n > kErrorTextMax) n = kErrorTextMax;
  ErrorInfo().errorText.assign(text ? text : "", n);
  return ErrorInfo().errorText.c_str();
}

void SetErrorNumber(int32_t n) { ErrorInfo().errorNumber = n; }
