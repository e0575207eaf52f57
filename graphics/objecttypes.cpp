// The type-code name table and the aspect-ratio resolution.
#include "graphics/objecttypes.h"

#include <cmath>

#include "base/errorcodes.h"
#include "base/numconv.h"

namespace {

constexpr const char* kTypeNames[kObjectTypeCount] = {
    "",          "BGPIC",      "SAMPLE",       "BRUSH",      "ANIM",         "SNDMODULE",   "KEYDOWN",
    "NOOBJECT",  "TEXTOBJECT", "TEXTOUT",      "UNDO",       "PRINT",        "BRUSHPART",   "BGPICPART",
    "BOX",       "CIRCLE",     "ELLIPSE",      "LINE",       "PLOT",         "MAINWINDOW",  "ANIMDISK",
    "DISPLAY",   "LAYER",      "HIDEBRUSH",    "INSERTBRUSH", "HIDELAYER",   "REMOVELAYER", "POLYGON",
    "MASK",      "NEXTFRAME",  "ALPHACHANNEL", "ARC",        "SPRITE",       "MUSIC",       "NEXTFRAME2",
    "CLIPREGION", "POINTER",   "ASYNCDRAW",    "DOUBLEBUFFER", "MEMORY",     "EVENTHANDLER", "INTERVAL",
    "TIMEOUT",   "FONT",       "FILE",         "DIRECTORY",  "X",            "X",           "X",
    "VECTORPATH"};

// value rounded half up, saturated to 32 bits.
int32_t RoundHalfUp(double value) { return vkDoubleToInt32(std::floor(value + 0.5)); }

}  // namespace

const char* ObjectTypeName(int32_t type) {
  return type >= 0 && type < kObjectTypeCount ? kTypeNames[type] : nullptr;
}

int32_t ResolveKeepAspect(int32_t sourceWidth, int32_t sourceHeight, int32_t* width, int32_t* height) {
  if (*width == KEEPASPRAT && *height == KEEPASPRAT) return kErrWrongUsage;
  if (*width <= 0 || *height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return kErrSizeNotPositive;
  const double ratio = double(sourceWidth) / double(sourceHeight);
  if (*width == KEEPASPRAT) *width = RoundHalfUp(*height * ratio);
  else if (*height == KEEPASPRAT) *height = RoundHalfUp(*width / ratio);
  return 0;
}
