// Console status lines: what the player says on standard output while it
// opens an applet, loads its objects and prepares its display ("Opening
// script x...done"). Nothing is printed while the run is quiet.
#pragma once

struct vkState;

// Prints [format], with "%s" filled by the file part of [file] when it is
// given; with [continued] "..." follows and no line end, so that a result
// word ends the line.
void PrintStatus(vkState* L, const char* format, const char* file, bool continued);

// Whether a status line waits for its result word.
bool StatusLineOpen(vkState* L);

// "done", "failed" and "skipped" with a line end.
void PrintDone(vkState* L);
void PrintFailed(vkState* L);
void PrintSkipped(vkState* L);
