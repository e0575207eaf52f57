// Console status lines through the platform's debug output (standard output).
#include "runtime/console.h"

#include <cstdio>
#include <string>

#include "engine/attributes.h"
#include "engine/errormessages.h"
#include "base/catalog.h"

namespace {

bool gLineOpen = false;

bool Quiet() { return gRuntimeAttrs.quiet != 0; }

void PrintWord(unsigned catalogId) {
  if (Quiet()) return;
  gLineOpen = false;
  const char* word = GetCatalogText(catalogId);
  std::printf("%s\n", word ? word : "");
  std::fflush(stdout);
}

}  // namespace

bool StatusLineOpen() { return gLineOpen; }

void PrintStatus(const char* format, const char* file, bool continued) {
  if (Quiet() || format == nullptr) return;
  const std::string text = file ? FormatCatalogText(format, ShortName(file).c_str(), 0) : format;
  std::fputs(text.c_str(), stdout);
  std::fputs(continued ? "..." : "\n", stdout);
  gLineOpen = continued;
  std::fflush(stdout);
}

void PrintDone() { PrintWord(95); }
void PrintFailed() { PrintWord(108); }
void PrintSkipped() { PrintWord(195); }
