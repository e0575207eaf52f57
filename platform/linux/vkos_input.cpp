// A window's input state and the modifier keys. The modifier state is SDL's,
// which it keeps from the keyboard events it has seen; with no window system
// nothing is ever held.
#include <SDL.h>

#include "platform/linux/platform_state.h"
#include "platform/vkos_input.h"

void vkosNoteKey(vkOSInput* input, uint32_t physical, uint32_t code, bool down) {
  if (physical >= kPhysicalKeyCount) {
    if (code < kKeyCodeCount) input->keyDown[code] = down ? 1 : 0;
    return;
  }
  uint16_t& remembered = input->codeOfPhysical[physical];
  if (down) {
    if (remembered != 0 && remembered - 1u != code) input->keyDown[remembered - 1u] = 0;
    if (code < kKeyCodeCount) {
      input->keyDown[code] = 1;
      remembered = static_cast<uint16_t>(code + 1);
    }
    return;
  }
  // The release clears what the press set, whatever code it reports itself.
  if (remembered != 0) input->keyDown[remembered - 1u] = 0;
  if (code < kKeyCodeCount) input->keyDown[code] = 0;
  remembered = 0;
}

void vkosNotePointer(vkOSInput* input, int32_t x, int32_t y, vkTimeValue stamp) {
  input->pointerX = x;
  input->pointerY = y;
  input->pointerMoved = 1;
  input->motionStamp = stamp;
}

void vkosClearInput(vkOSInput* input) {
  input->keyDown.fill(0);
  input->codeOfPhysical.fill(0);
  input->mouseDown.fill(0);
}

uint32_t vkosGetModifierKeys() {
  struct vkModifierBit {
    SDL_Keymod mod;
    uint32_t bit;
  };
  static constexpr vkModifierBit kBits[] = {
      {KMOD_LSHIFT, VKOS_QUALIFIER_LSHIFT},     {KMOD_RSHIFT, VKOS_QUALIFIER_RSHIFT},
      {KMOD_LALT, VKOS_QUALIFIER_LALT},         {KMOD_RALT, VKOS_QUALIFIER_RALT},
      {KMOD_LGUI, VKOS_QUALIFIER_LCOMMAND},     {KMOD_RGUI, VKOS_QUALIFIER_RCOMMAND},
      {KMOD_LCTRL, VKOS_QUALIFIER_LCONTROL},    {KMOD_RCTRL, VKOS_QUALIFIER_RCONTROL},
  };
  const SDL_Keymod mods = EnsureSdl() ? SDL_GetModState() : KMOD_NONE;
  uint32_t word = VKOS_QUALIFIER_BASE;
  for (const vkModifierBit& b : kBits)
    if (mods & b.mod) word |= b.bit;
  return word;
}
