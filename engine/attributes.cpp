// The kept runtime attributes and the two handler chains.
#include "engine/attributes.h"

#include "base/errorcodes.h"

#include <new>
#include <vector>

vkRuntimeAttrs gRuntimeAttrs;

namespace {

std::vector<vkSetAttrHandler> gSetHandlers;
std::vector<vkGetAttrHandler> gGetHandlers;

bool setKept(uint32_t tag, intptr_t value) {
  const int32_t word = static_cast<int32_t>(value);
  switch (tag) {
    case ATTR_EVENTEXPIRY: gRuntimeAttrs.eventExpiry = word; return true;
    case ATTR_QUIET: gRuntimeAttrs.quiet = word; return true;
    case ATTR_SCRIPTPHASE: gRuntimeAttrs.scriptPhase = word; return true;
    case ATTR_PCALLDEPTH:
      // Entering and leaving a protected call; an unbalanced leave stops at 0.
      if (value != 0)
        gRuntimeAttrs.pcallDepth++;
      else if (gRuntimeAttrs.pcallDepth > 0)
        gRuntimeAttrs.pcallDepth--;
      return true;
    case ATTR_EXITONERROR: gRuntimeAttrs.exitOnError = word; return true;
    case ATTR_LINEINFO: gRuntimeAttrs.lineInfo = word; return true;
    default: return false;
  }
}

const int32_t* keptWord(uint32_t tag) {
  switch (tag) {
    case ATTR_EVENTEXPIRY: return &gRuntimeAttrs.eventExpiry;
    case ATTR_QUIET: return &gRuntimeAttrs.quiet;
    case ATTR_SCRIPTPHASE: return &gRuntimeAttrs.scriptPhase;
    case ATTR_PCALLDEPTH: return &gRuntimeAttrs.pcallDepth;
    default: return nullptr;
  }
}

template <typename Handler>
int addHandler(std::vector<Handler>& chain, Handler handler) {
  try {
    chain.push_back(handler);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return 0;
}

}  // namespace

int SetAttrs(void* object, std::initializer_list<vkTagItem> tags) {
  int handled = 0;
  for (const vkTagItem& item : tags) {
    if (item.tag == 0) break;
    if (setKept(item.tag, item.value)) {
      handled++;
      continue;
    }
    for (vkSetAttrHandler h : gSetHandlers) {
      if (h(object, item.tag, item.value)) {
        handled++;
        break;
      }
    }
  }
  return handled;
}

int GetAttrs(void* object, std::initializer_list<vkTagQuery> tags) {
  int handled = 0;
  for (const vkTagQuery& query : tags) {
    if (query.tag == 0) break;
    if (const int32_t* word = keptWord(query.tag)) {
      if (query.result) *query.result = *word;
      handled++;
      continue;
    }
    for (vkGetAttrHandler h : gGetHandlers) {
      if (h(object, query.tag, query.result)) {
        handled++;
        break;
      }
    }
  }
  return handled;
}

int AddSetAttrHandler(vkSetAttrHandler handler) { return addHandler(gSetHandlers, handler); }
int AddGetAttrHandler(vkGetAttrHandler handler) { return addHandler(gGetHandlers, handler); }

void FreeAttrHandlers() {
  gSetHandlers.clear();
  gGetHandlers.clear();
}

void ResetRuntimeAttrs() { gRuntimeAttrs = vkRuntimeAttrs{}; }
