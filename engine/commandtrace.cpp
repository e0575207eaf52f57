// Printing command calls for the debug output.
#include "engine/commandtrace.h"

#include <cstdio>
#include <string>

#include "engine/debug.h"
#include "engine/vmapi.h"

void PrintCommandCall(vkState* L) {
  vkDebugInfo ar{};
  const char* name = nullptr;
  if (vmGetStack(L, 0, &ar) && vmGetInfo(L, "n", &ar)) name = ar.name;
  std::string line = "Now calling ";
  line += name ? name : "(null)";
  line += "()";
  const int n = vmGetTop(L);
  if (n > 0) line += " with arguments ";
  char item[64];
  for (int i = 1; i <= n; i++) {
    switch (vmType(L, i)) {
      case VK_TNIL: std::snprintf(item, sizeof item, "#%d=(NIL) ", i); break;
      case VK_TNUMBER: std::snprintf(item, sizeof item, "#%d=(NUMBER)%g ", i, vmToNumber(L, i)); break;
      case VK_TSTRING:
        // The string may be long: it is appended whole, not through [item].
        line += "#" + std::to_string(i) + "=(STRING)\"" + vmToString(L, i) + "\" ";
        continue;
      case VK_TTABLE: std::snprintf(item, sizeof item, "#%d=(TABLE)%p ", i, vmToPointer(L, i)); break;
      case VK_TFUNCTION: std::snprintf(item, sizeof item, "#%d=(FUNCPTR)%p ", i, vmToPointer(L, i)); break;
      default: std::snprintf(item, sizeof item, "#%d=(INTERNAL)%d ", i, vmType(L, i)); break;
    }
    line += item;
  }
  line += "\n";
  std::fputs(line.c_str(), stdout);
}
