// The program-wide error record and its two setters.
#include "base/errorinfo.h"

#include <cstring>

vkErrorInfo gErrorInfo;

const char* SetErrorText(const char* text) {
  size_t n = text ? std::strlen(text) : 0;
  if (n > kErrorTextMax) n = kErrorTextMax;
  gErrorInfo.errorText.assign(text ? text : "", n);
  return gErrorInfo.errorText.c_str();
}

void SetErrorNumber(int32_t n) { gErrorInfo.errorNumber = n; }
