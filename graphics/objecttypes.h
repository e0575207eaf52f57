// The object type codes shared by every graphics command: they name the
// kinds of script objects, the kinds of layers and drawing operations, a
// display's render target and the first argument of GetAttribute. Also the
// width/height value that keeps a source's aspect ratio.
#pragma once

#include <cstdint>

// Used as vkObjectType::BGPIC and so on (FILE, LINE and BOX would clash
// with other names at file scope).
namespace vkObjectType {
enum : int32_t {
  BGPIC = 1, SAMPLE = 2, BRUSH = 3, ANIM = 4, SNDMODULE = 5, KEYDOWN = 6, NOOBJECT = 7, TEXTOBJECT = 8,
  TEXTOUT = 9, UNDO = 10, PRINT = 11, BRUSHPART = 12, BGPICPART = 13, BOX = 14, CIRCLE = 15, ELLIPSE = 16,
  LINE = 17, PLOT = 18, MAINWINDOW = 19, ANIMDISK = 20, DISPLAY = 21, LAYER = 22, HIDEBRUSH = 23,
  INSERTBRUSH = 24, HIDELAYER = 25, REMOVELAYER = 26, POLYGON = 27, MASK = 28, NEXTFRAME = 29,
  ALPHACHANNEL = 30, ARC = 31, SPRITE = 32, MUSIC = 33, NEXTFRAME2 = 34, CLIPREGION = 35, POINTER = 36,
  ASYNCDRAW = 37, DOUBLEBUFFER = 38, MEMORY = 39, EVENTHANDLER = 40, INTERVAL = 41, TIMEOUT = 42, FONT = 43,
  FILE = 44, DIRECTORY = 45, BRUSH_VS_BOX = 46, LAYER_VS_BOX = 47, SPRITE_VS_BOX = 48, VECTORPATH = 49,
};
inline constexpr int32_t SHAPE = MASK;
}  // namespace vkObjectType
inline constexpr int32_t kObjectTypeCount = 50;
// The highest type GetAttribute accepts.
inline constexpr int32_t kLastAttributeType = vkObjectType::DIRECTORY;

// The name of a type code as the constants spell it ("" for 0, "X" for the
// collision kinds), or NULL outside the table.
const char* ObjectTypeName(int32_t type);

// A width or height of this value asks for the one that keeps the source's
// aspect ratio.
inline constexpr int32_t KEEPASPRAT = 100000;

// Resolves KEEPASPRAT in *[width] or *[height] from the source size, rounding
// half up. 0, 1218 when a value is not above 0, 1055 when both keep the
// aspect ratio.
int32_t ResolveKeepAspect(int32_t sourceWidth, int32_t sourceHeight, int32_t* width, int32_t* height);
