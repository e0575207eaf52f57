// The debug output of command calls: with the switch on (the command
// DebugOutput sets the engine run's debugOutput) every command call prints "Now calling name()" and its
// arguments on standard output, until a stop silences it.
#pragma once

struct vkState;

// Prints the call of the command whose frame is running on [L].
void PrintCommandCall(vkState* L);
