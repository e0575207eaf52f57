// The event dispatcher: takes one thing that happened per call, in a fixed
// order of sources (fired timers, sound notifications, pointer motion, label
// events and queued input events, button hover), and calls the script
// function installed for it through a protected call with a message table.
// WaitEvent, CheckEvent and WhileMouseOn run it; the key-name table that the
// event commands share lives here too.
#pragma once

#include <cstdint>
#include <string>

#include "base/errorcodes.h"
#include "runtime/eventstate.h"

struct vkState;

// What a dispatch call did.
struct vkDispatchOutcome {
  bool triggered = false;  // a handler ran; its results are on the stack
  int results = 0;         // how many
};

// One step of the dispatcher, resuming where the last call stopped: 0 when
// nothing was pending or a handler ran (see [out]), an error code, or -1
// when a label event matched (the interpreter's jump target is set).
// [fromWhileMouseOn] leaves ONBUTTONOVER labels out.
int DispatchNextEvent(vkState* L, vkEventState& events, bool fromWhileMouseOn, vkDispatchOutcome* out);

// WaitEvent ([blocking]) and CheckEvent: the result table is pushed; 0 or an
// error code.
uint32_t RunEventDispatch(vkState* L, bool blocking);

// WhileMouseOn: 0, an error code, or -2 to pass a label jump on.
int32_t RunWhileMouseOn(vkState* L);

// Key names: the code of a named key (TAB ... PAUSE, case-insensitive) or of
// a modifier (LSHIFT ... RCONTROL, negative), or -1.
int32_t KeyCodeOfName(const char* name, bool withModifiers);
// The text a key message carries for [code]: "\n" for ENTER and RETURN, " "
// for SPACE, eight blanks for TAB, the name of another named key, else the
// character itself.
std::string KeyMessageText(int32_t code);

// The pointer of [display] in picture coordinates: the platform's position
// minus the display's offset, divided by its scale; 0 while it is not open.
int32_t PointerX(const vkEventDisplay* display);
int32_t PointerY(const vkEventDisplay* display);

// Whether ([x], [y]) in picture coordinates hits [button].
bool HitTestButton(const vkEventState& events, const vkBGPicButton& button, int32_t x, int32_t y);
