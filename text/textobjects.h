// Text objects and open fonts: the shutdown step that frees them all and
// shuts the font engines down.
#pragma once

// Frees every text object, every open and cached font and the text buffer,
// then shuts the font engines down; returns 0.
int FreeAllTextObjectsAndFonts();
