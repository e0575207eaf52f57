// A display window's input state as the window's event translation keeps it:
// which keys and mouse buttons are down, where the pointer is and whether it
// moved. A key is remembered by its physical key, so that its release clears
// the code its press set even when a modifier changed in between, and the
// modifier keys are read from the window system.
#pragma once

#include <array>
#include <cstdint>

#include "platform/vkos_time.h"

// Key codes: single characters by their ISO 8859-1 code, named keys from 256.
inline constexpr uint32_t kKeyCodeCount = 512;
// Physical keys the state remembers a code for.
inline constexpr uint32_t kPhysicalKeyCount = 512;

// Modifier bits of vkosGetModifierKeys; the high bit is always set.
inline constexpr uint32_t VKOS_QUALIFIER_BASE = 0x80000000u;
inline constexpr uint32_t VKOS_QUALIFIER_LSHIFT = 0x00010000u;
inline constexpr uint32_t VKOS_QUALIFIER_RSHIFT = 0x00020000u;
inline constexpr uint32_t VKOS_QUALIFIER_LALT = 0x00040000u;
inline constexpr uint32_t VKOS_QUALIFIER_RALT = 0x00080000u;
inline constexpr uint32_t VKOS_QUALIFIER_LCOMMAND = 0x00100000u;
inline constexpr uint32_t VKOS_QUALIFIER_RCOMMAND = 0x00200000u;
inline constexpr uint32_t VKOS_QUALIFIER_LCONTROL = 0x00400000u;
inline constexpr uint32_t VKOS_QUALIFIER_RCONTROL = 0x00800000u;

// Mouse buttons of the input state.
enum vkMouseButton : int { VKOS_MOUSE_LEFT = 0, VKOS_MOUSE_RIGHT = 1, VKOS_MOUSE_MID = 2 };

struct vkOSInput {
  std::array<uint8_t, kKeyCodeCount> keyDown{};             // by key code
  std::array<uint16_t, kPhysicalKeyCount> codeOfPhysical{};  // code + 1 its press set; 0 none
  std::array<uint32_t, 3> mouseDown{};                       // by vkMouseButton
  int32_t pointerX = 0;          // inside the window, in window pixels
  int32_t pointerY = 0;
  uint32_t pointerMoved = 0;     // set by a move; the dispatcher's hover scan clears it
  vkTimeValue motionStamp;       // when the pointer last moved (vkosGetTimeValue)
};

// A key press or release of [physical] key that the window system reports as
// [code]. A release clears the code the press set.
void vkosNoteKey(vkOSInput* input, uint32_t physical, uint32_t code, bool down);
// The pointer moved to ([x], [y]) at [stamp].
void vkosNotePointer(vkOSInput* input, int32_t x, int32_t y, vkTimeValue stamp);
// Forgets every key and button (another program had the input).
void vkosClearInput(vkOSInput* input);

// The modifier keys held now, as qualifier bits.
uint32_t vkosGetModifierKeys();
