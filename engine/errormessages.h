// Error codes to messages: the table from each error code 1000..1427 to the
// catalog id of its text, and the formatting of that text with the error
// record's text ("%s") or number ("%d", "%ld"). The report that adds the
// function name and source line builds on this.
#pragma once

#include <cstdint>
#include <string>

inline constexpr int32_t kFirstErrorCode = 1000;
inline constexpr int32_t kLastErrorCode = 1427;

// Catalog id of [code]'s text; -1 for codes outside 1000..1427 and for the
// codes that have no catalog text (1064, 1239, 1249, 1265).
int32_t ErrorCatalogId(int32_t code);

// The message of [code], filled from ErrorInfo(): "%s" takes the error text
// (a linked file's chunk name gives the file's own name; for the file-name
// messages the file part of a path), "%d" and "%ld" the error number. Codes
// 1064 and 1239 are the error text itself; codes without a text give
// "Unknown error code!". Only the first placeholder is filled and the rest
// of the text is copied as it stands, so any catalog text is safe here.
std::string FormatErrorMessage(int32_t code);

// The file part of [path]: for a linked file's chunk name the name between
// '*' and the next '/'; else what follows the last '/' or '\' (empty when the
// path ends in one), else what follows the first ':', else the path itself.
// Paths shorter than 2 characters come back whole.
std::string ShortName(const std::string& path);
