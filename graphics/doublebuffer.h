// Double buffering: a display's drawing goes into an off-screen draw buffer
// that Flip shows at once through a front buffer (at the scaled size while
// the display is scaled); ending it keeps what was drawn as the display's
// picture. Also the clean back buffer that effects and snapshots start from.
#pragma once

#include <cstdint>

#include "graphics/graphicsstate.h"

struct vkState;

// Starts double buffering on the current display: 0, the error of an
// active selection (1229, 1339, 1082, 1147, 1167, 1056), 1162 with layers,
// 1224 with sprites shown, 1230 for a transparent display, 1000.
int32_t BeginDoubleBuffer(vkState* L);
// Shows the draw buffer in the window and waits out the frame time: 0 or 1244.
int32_t FlipDoubleBuffer(vkState* L);
// Ends double buffering of [display] (a selection that suspended it ends
// first): the drawing becomes the display's background; the window is not
// redrawn. 0 or 1244 when it is not on.
int32_t StopDoubleBuffer(vkState* L, vkDisplay* display);
// After a selection made while double buffering: drawing goes to the draw
// buffer again.
void ResumeDoubleBuffer(vkGraphicsState& gs, vkDisplay* display);
// Shows the front buffer in the window (the repaint the window asks for);
// with [repaintStrips] and no scaling, the parts of the window right of and
// below the buffer come from the background buffer. [flags] go to the blit.
void ShowDoubleBuffer(vkGraphicsState& gs, vkDisplay* display, bool repaintStrips, uint32_t flags);
// The window took a new size: a cleared front buffer of that size, shown.
// 0 or 1000.
int32_t ResizeDoubleBuffer(vkGraphicsState& gs, vkDisplay* display, int32_t width, int32_t height);
// The display's picture as shown without the window's own frame: the
// background buffer when [bgpic] has no layers and no sprites, else the
// screen buffer with the whole picture recomposed.
vkBitMap* GetCleanBackBuffer(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic);

// The commands BeginDoubleBuffer, Flip and EndDoubleBuffer (brush library).
int CmdBeginDoubleBuffer(vkState* L);
int CmdFlip(vkState* L);
int CmdEndDoubleBuffer(vkState* L);
