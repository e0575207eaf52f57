// The applet reader: finds the applet named on the command line or attached
// to the player, unpacks a packed one into a temporary file, and reads its
// tagged records (bytecode, preload declarations, display settings, labels,
// include line maps, linked files) into the applet record. Every count, size,
// offset and string is checked against the file before it is used.
#pragma once

#include <cstdint>

#include "runtime/context.h"

struct vkState;

inline constexpr char kAppletMagic[4] = {'V', 'K', 'A', 0};

// Reads the applet at context.scriptPath into [applet]; with [attachedOffset]
// non-zero the applet starts there in the player's own executable. Labels go
// into the registry of [L] (when given) and the registry's "script" becomes
// ":none:". Returns 0 or the error code (1000, 1045, 1198, 1209, 1210, 1211,
// 1213 and the unpacking errors), with the error text set.
uint32_t ReadApplet(vkState* L, vkProgramContext& context, vkApplet& applet, uint32_t attachedOffset);

// Appends the default display preload (id 1, 640 x 480, centred, titled
// "Vellumark" or the applet's record-4 title) and returns it.
vkPreload& AddDefaultDisplay(vkApplet& applet);
