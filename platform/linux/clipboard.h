// What the event dispatch tells the clipboard: another program changed it.
#pragma once

// Empties our picture slot and posts EVENT_CLIPBOARDCHANGE to every open
// window's display that watches the clipboard.
void ClipboardChangedElsewhere();
