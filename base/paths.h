// Path text operations shared by the file layer and the libraries: joining a
// name onto a directory and finding where the directory part of a path ends.
// Paths are ISO 8859-1 text; "/" and "\" both separate, ":" ends a volume name.
#pragma once

#include <cstddef>
#include <string>

// Appends [name] to [path]: a "/" goes between them unless [path] is empty or
// already ends in "/" or "\".
void AddPart(std::string& path, const char* name);

// The same on a C buffer of [size] bytes. Returns 1, or 0 (buffer unchanged)
// when the joined path and its terminator would not fit.
int AddPart(char* path, size_t size, const char* name);

// Skips leading "/" characters, then returns the position of the last "/" or
// "\" (the separator itself) or the position just after the last ":",
// whichever comes last; without separators, the start after the skipped
// slashes. Writing a NUL there leaves the directory part.
const char* GetPathEnd(const char* path);

// The file part of [path]: the text after its last "/", "\" or ":".
const char* FilePart(const char* path);
