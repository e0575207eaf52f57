// The start-up's attribute settings. The quiet switch steers the console
// status lines; the script phase and the line-information switch are kept
// here for the error report.
#include "runtime/runattrs.h"

#include "runtime/console.h"
#include "sound/soundlib.h"

namespace {
intptr_t gScriptPhase = 0;
intptr_t gLineInfo = 0;
}  // namespace

void SetRunAttr(uint32_t tag, intptr_t value) {
  switch (tag) {
    case ATTR_QUIET: SetStatusQuiet(value != 0); break;
    case ATTR_SCRIPTPHASE: gScriptPhase = value; break;
    case ATTR_LINEINFO: gLineInfo = value; break;
    default: SoundSettingsHandler(nullptr, tag, value); break;
  }
}

intptr_t GetRunAttr(uint32_t tag) {
  switch (tag) {
    case ATTR_QUIET: return StatusQuiet() ? 1 : 0;
    case ATTR_SCRIPTPHASE: return gScriptPhase;
    case ATTR_LINEINFO: return gLineInfo;
    default: return 0;
  }
}
