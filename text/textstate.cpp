// The text run state's home: the program context keeps it, so it lives and
// dies with the run (or with a test's engine).
#include "text/textstate.h"

#include "runtime/context.h"

vkTextRunState& TextRunState(vkState* L) {
  vkProgramContext& context = ProgramContext(L);
  if (!context.text) context.text = std::make_shared<vkTextRunState>();
  vkTextRunState& state = *context.text;
  if (!state.engineStarted) {
    state.engineStarted = true;
    // Without the built-in font nothing can be drawn; FreeType failing only
    // keeps TrueType fonts from opening.
    state.engineError = InitFontEngines(state.fonts);
    if (!state.text.style.font) state.text.style.font = state.fonts.builtin.get();
  }
  return state;
}

vkFontState& FontState(vkState* L) { return TextRunState(L).fonts; }
vkTextState& GetTextState(vkState* L) { return TextRunState(L).text; }
