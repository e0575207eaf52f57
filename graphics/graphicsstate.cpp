// The graphics state's home: the program context keeps it, so that it lives
// and dies with the run (or with a test's engine) and two runs never share it.
#include "graphics/graphicsstate.h"

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "runtime/context.h"

vkGraphicsState& GraphicsState(vkState* L) {
  vkProgramContext& context = ProgramContext(L);
  if (!context.graphics) context.graphics = std::make_shared<vkGraphicsState>();
  return *context.graphics;
}

int32_t FindBrushView(vkState* L, vkObjectId id, vkBrushView* out) {
  vkGraphicsState& gs = GraphicsState(L);
  if (gs.brushHooks.find) return gs.brushHooks.find(L, id, out);
  SetErrorNumber(id.number);
  return id.handle ? kErrObjectNotFound : kErrNoBrush;
}
