// Requesters: messages with buttons, files, folders and strings, behind one
// interface with backends. The window system's message boxes show system
// requesters; file, folder and string requesters go to zenity when it is
// installed. With VK_REQUESTER_ANSWERS in the environment a scripted backend
// answers instead (answers separated by new lines, "!" cancels, several
// files separated by "|") and prints each request on standard output; with
// no window system a fallback prints the request and cancels, so that no run
// ever waits for a person it cannot reach. Texts are ISO 8859-1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// True when windows and requesters can be shown.
bool vkosHasWindowSystem();

// Shows a modal message requester with [title] and [text] (ISO 8859-1).
// [buttons] NULL gives one "OK" button and the result 1; else the buttons
// are the '|'-separated parts of [buttons] (at most 32), numbered 1, 2, ...
// from the left except the last, which gives 0. -1 when nothing could be
// shown.
int vkosShowRequester(const char* title, const char* text, const char* buttons);

// A system requester: [buttons] '|'-separated (at most 32); [icon] 0 none,
// 1 information, 2 error, 3 warning, 4 question. The result numbers the
// buttons 1, 2, ... from the left, the last one 0 (also when cancelled); -1
// when the requester cannot be made.
int vkosSystemRequest(const char* title, const char* text, const char* buttons, int32_t icon);

// File requester modes.
inline constexpr int32_t VKOS_FILE_OPEN = 0;
inline constexpr int32_t VKOS_FILE_OPEN_SEVERAL = 1;
inline constexpr int32_t VKOS_FILE_SAVE = 2;

struct vkFileRequestResult {
  bool chosen = false;
  std::string folder;               // of the chosen files
  std::vector<std::string> names;   // their names in that folder
};

// A file requester showing the files whose names end in one of [pattern]'s
// extensions: 0, or 1000 when it cannot be made.
int vkosFileRequest(const char* title, const char* pattern, int32_t mode, const char* folder, const char* file,
                    vkFileRequestResult* result);
// The extensions a pattern filters on: none for "", "#?" or a pattern that
// begins with "*"; else its '|'-separated parts, each with a leading dot.
std::vector<std::string> vkosPatternExtensions(const char* pattern);

// A folder requester: 0 with [*chosen] and [*path], or 1000.
int vkosPathRequest(const char* title, int32_t saveMode, const char* folder, std::string* path, bool* chosen);

// A string requester: 0 with [*text] (at most [maxLength] characters when
// that is above 0; only a number in [numeric] mode), 1003 when cancelled, or
// 1000 when it cannot be made.
int vkosStringRequest(const char* title, const char* text, const char* defaultText, bool numeric,
                      int32_t maxLength, bool password, std::string* result);
