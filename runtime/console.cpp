// Console status lines through the platform's debug output (standard output).
#include "runtime/console.h"

#include <cstdio>
#include <string>

#include "engine/attributes.h"
#include "engine/errormessages.h"
#include "base/catalog.h"
#include "runtime/context.h"

namespace {

bool Quiet(vkState* L) { return RuntimeAttrs(L).quiet != 0; }

void PrintWord(vkState* L, unsigned catalogId) {
  if (Quiet(L)) return;
  ProgramContext(L).statusLineOpen = false;
  const char* word = GetCatalogText(catalogId);
  std::printf("%s\n", word ? word : "");
  std::fflush(stdout);
}

}  // namespace

bool StatusLineOpen(vkState* L) { return ProgramContext(L).statusLineOpen; }

void PrintStatus(vkState* L, const char* format, const char* file, bool continued) {
  if (Quiet(L) || format == nullptr) return;
  const std::string text = file ? FormatCatalogText(format, ShortName(file).c_str(), 0) : format;
  std::fputs(text.c_str(), stdout);
  std::fputs(continued ? "..." : "\n", stdout);
  ProgramContext(L).statusLineOpen = continued;
  std::fflush(stdout);
}

void PrintDone(vkState* L) { PrintWord(L, 95); }
void PrintFailed(vkState* L) { PrintWord(L, 108); }
void PrintSkipped(vkState* L) { PrintWord(L, 195); }
