// What the graphics commands add to the object type codes (defined with the
// attribute registry in runtime/objectattributes.h): their names, the last
// type GetAttribute accepts, and the width/height value that keeps a
// source's aspect ratio.
#pragma once

#include <cstdint>

#include "runtime/objectattributes.h"  // vkObjectType

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
