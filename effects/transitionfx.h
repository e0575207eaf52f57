// The "transitionfx" library: the commands that show BGPics, brushes, text
// objects and BGPic parts and show, hide or remove layers through a
// transition effect, the random effect draw, and the effect id constants.
#pragma once

#include <cstdint>

struct vkState;
struct vkFXRequest;

// Registers the commands and the 145 constants; returns 0 or an error code.
int OpenTransitionFXLibrary(vkState* L);

// Reads the options table at stack [t] into [rq]: type, speed, parameter,
// layers, forcerealtimelayers and async; dx and dy into [dx]/[dy] with
// [dxGiven]/[dyGiven] set when present; undolevel into [undoLevel].
// A field that is not a number raises 1189.
void ParseFXOptions(vkState* L, int t, vkFXRequest& rq, int32_t* dx, int* dxGiven, int32_t* dy, int* dyGiven,
                    int32_t* undoLevel);
