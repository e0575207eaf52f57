// The system clipboard: text through the window system (ISO 8859-1 inside,
// UTF-8 outside, line ends read back as LF), and pictures in one
// process-wide slot of PNG bytes, since the window system offers no picture
// clipboard. Opening a URL with the desktop's default application lives
// here too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr int32_t VKOS_CLIPBOARD_EMPTY = 0;
inline constexpr int32_t VKOS_CLIPBOARD_TEXT = 1;
inline constexpr int32_t VKOS_CLIPBOARD_IMAGE = 2;
inline constexpr int32_t VKOS_CLIPBOARD_UNKNOWN = 4;

// What the clipboard holds: 0 with [*type], or 1364 when it cannot be read.
int vkosPeekClipboard(int32_t* type);
// The clipboard's text: 0 with [*type] and, for text, [*text]; for a
// picture [*png] holds its PNG bytes. 1365 when it cannot be read.
int vkosReadClipboard(int32_t* type, std::string* text, std::vector<uint8_t>* png);
// Puts text or PNG bytes on the clipboard: 0, or 1368.
int vkosWriteClipboardText(const std::string& text);
int vkosWriteClipboardPicture(std::vector<uint8_t> png);
// Empties the clipboard: 0, or 1368.
int vkosClearClipboard();

// Opens [url] with the desktop's default application (xdg-open, started
// without a shell and not waited for): 0, or 1000 when it cannot start.
int vkosOpenURL(const char* url);
