// The script names of the handler slots, in the order of the slots in the
// records: the event library finds a slot by its name here.
#include "runtime/eventhandlers.h"

const char* const kButtonHandlerNames[kButtonHandlerCount] = {
    "onmouseover", "onmouseout",      "onmousedown",   "onmouseup",
    "onrightmousedown", "onrightmouseup", "onmidmousedown", "onmidmouseup",
};

const char* const kDisplayHandlerNames[kDisplayHandlerCount] = {
    "onkeydown",      "onkeyup",        "onmousemove",     "closewindow",    "movewindow",
    "sizewindow",     "activewindow",   "inactivewindow",  "hidewindow",     "showwindow",
    "onmousedown",    "onmouseup",      "onrightmousedown", "onrightmouseup", "onwheeldown",
    "onwheelup",      "modeswitch",     "ondropfile",      "clipboardchange", "onmidmousedown",
    "onmidmouseup",
};

const char* const kProgramHandlerNames[kProgramHandlerCount] = {
    "onsampleloop", "onsampleend", "onmusicend", "onarexx",
};
