// Console status lines through the platform's debug output (standard output).
#include "runtime/console.h"

#include <cstdio>
#include <string>

#include "engine/errormessages.h"
#include "runtime/catalog.h"

namespace {

bool gQuiet = false;
bool gLineOpen = false;

void PrintWord(unsigned catalogId) {
  if (gQuiet) return;
  gLineOpen = false;
  const char* word = GetCatalogText(catalogId);
  std::printf("%s\n", word ? word : "");
  std::fflush(stdout);
}

}  // namespace

bool StatusQuiet() { return gQuiet; }
bool StatusLineOpen() { return gLineOpen; }
void SetStatusQuiet(bool quiet) { gQuiet = quiet; }

void PrintStatus(const char* format, const char* file, bool continued) {
  if (gQuiet || format == nullptr) return;
  const std::string text = file ? FormatCatalogText(format, ShortName(file).c_str(), 0) : format;
  std::fputs(text.c_str(), stdout);
  std::fputs(continued ? "..." : "\n", stdout);
  gLineOpen = continued;
  std::fflush(stdout);
}

void PrintDone() { PrintWord(95); }
void PrintFailed() { PrintWord(108); }
void PrintSkipped() { PrintWord(195); }
