// The text subsystem's shutdown step: frees the font nodes, every cached
// font and the font engines. Text objects join when they are built.
#include "text/textobjects.h"

#include "runtime/context.h"
#include "text/textstate.h"

int FreeAllTextObjectsAndFonts(vkState* L) {
  if (!L) return 0;
  vkProgramContext& context = ProgramContext(L);
  if (!context.text) return 0;
  FreeAllFonts(context.text->fonts);
  context.text->text.style.font = nullptr;
  context.text->engineStarted = false;  // asked again, the engines start anew
  return 0;
}
