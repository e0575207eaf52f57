// Message requesters of the window system, and whether there is one to show
// them: without a display, or under SDL's dummy or offscreen video driver,
// the player runs headless and reports on its standard streams instead.
#pragma once

// True when windows and requesters can be shown.
bool vkosHasWindowSystem();

// Shows a modal message requester with [title] and [text] (ISO 8859-1).
// [buttons] NULL gives one "OK" button and the result 1; else the buttons
// are the '|'-separated parts of [buttons] (at most 32), numbered 1, 2, ...
// from the left except the last, which gives 0. -1 when nothing could be
// shown.
int vkosShowRequester(const char* title, const char* text, const char* buttons);
