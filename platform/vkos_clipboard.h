// The system clipboard: text through the window system (ISO 8859-1 inside,
// UTF-8 outside, line ends read back as LF), and pictures as PNG bytes in one
// process-wide slot, since the window system offers no picture clipboard;
// another program taking the clipboard empties the slot. Displays that watch
// the clipboard hear of changes other programs make. Opening a URL with the
// desktop's default application lives here too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/vkos_display.h"

inline constexpr int32_t VKOS_CLIPBOARD_EMPTY = 0;
inline constexpr int32_t VKOS_CLIPBOARD_TEXT = 1;
inline constexpr int32_t VKOS_CLIPBOARD_IMAGE = 2;
inline constexpr int32_t VKOS_CLIPBOARD_UNKNOWN = 4;

// A picture read from the clipboard: width x height words 0x00RRGGBB, rows
// top to bottom, and its straight alpha, one byte per pixel in rows of
// PictureAlphaRowBytes(width), or empty when it has none.
struct vkOSClipboardImage {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  std::vector<uint8_t> alpha;
};

// What the clipboard holds: 0 with [*type].
int vkosPeekClipboard(int32_t* type);
// What the clipboard holds with its contents: 0 with [*type] and, for text,
// [*text]; for a picture [*image] (when given) holds it decoded. 1365 when
// the text cannot be read; a picture that does not decode gives its error
// (1358, 1000).
int vkosReadClipboard(int32_t* type, std::string* text, vkOSClipboardImage* image);
// Puts text on the clipboard: 0, or 1368.
int vkosWriteClipboardText(const std::string& text);
// Puts [picture] (ARGB words) on the clipboard as PNG, with its alpha when
// [keepAlpha]: 0, 1368, or the encoder's error (1000, 1277).
int vkosWriteClipboardImage(const vkOSPixels& picture, bool keepAlpha);
// Empties the clipboard: 0, or 1368.
int vkosClearClipboard();
// Follows the description's watchClipboard: while it is set, changes other
// programs make to the clipboard post EVENT_CLIPBOARDCHANGE to [os]'s
// display (while its window is open). 0.
int vkosWatchClipboard(vkOSDisplay* os);

// Opens [url] with the desktop's default application (xdg-open, started
// without a shell and not waited for): 0, or 1000 when it cannot start.
int vkosOpenURL(const char* url);
