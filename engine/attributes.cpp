// The kept runtime attributes and the two handler chains of an engine.
#include "engine/attributes.h"

#include <new>
#include <vector>

#include "base/errorcodes.h"
#include "engine/runstate.h"

namespace {

bool setKept(vkRuntimeAttrs& attrs, uint32_t tag, intptr_t value) {
  const int32_t word = static_cast<int32_t>(value);
  switch (tag) {
    case ATTR_EVENTEXPIRY: attrs.eventExpiry = word; return true;
    case ATTR_QUIET: attrs.quiet = word; return true;
    case ATTR_SCRIPTPHASE: attrs.scriptPhase = word; return true;
    case ATTR_PCALLDEPTH:
      // Entering and leaving a protected call; an unbalanced leave stops at 0.
      if (value != 0)
        attrs.pcallDepth++;
      else if (attrs.pcallDepth > 0)
        attrs.pcallDepth--;
      return true;
    case ATTR_EXITONERROR: attrs.exitOnError = word; return true;
    case ATTR_LINEINFO: attrs.lineInfo = word; return true;
    default: return false;
  }
}

const int32_t* keptWord(const vkRuntimeAttrs& attrs, uint32_t tag) {
  switch (tag) {
    case ATTR_EVENTEXPIRY: return &attrs.eventExpiry;
    case ATTR_QUIET: return &attrs.quiet;
    case ATTR_SCRIPTPHASE: return &attrs.scriptPhase;
    case ATTR_PCALLDEPTH: return &attrs.pcallDepth;
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

vkRuntimeAttrs& RuntimeAttrs(vkState* L) { return EngineRun(L).attrs; }

int SetAttrs(vkState* L, void* object, std::initializer_list<vkTagItem> tags) {
  vkEngineRun& run = EngineRun(L);
  int handled = 0;
  for (const vkTagItem& item : tags) {
    if (item.tag == 0) break;
    if (setKept(run.attrs, item.tag, item.value)) {
      handled++;
      continue;
    }
    for (vkSetAttrHandler h : run.setHandlers) {
      if (h(L, object, item.tag, item.value)) {
        handled++;
        break;
      }
    }
  }
  return handled;
}

int GetAttrs(vkState* L, void* object, std::initializer_list<vkTagQuery> tags) {
  vkEngineRun& run = EngineRun(L);
  int handled = 0;
  for (const vkTagQuery& query : tags) {
    if (query.tag == 0) break;
    if (const int32_t* word = keptWord(run.attrs, query.tag)) {
      if (query.result) *query.result = *word;
      handled++;
      continue;
    }
    for (vkGetAttrHandler h : run.getHandlers) {
      if (h(L, object, query.tag, query.result)) {
        handled++;
        break;
      }
    }
  }
  return handled;
}

int AddSetAttrHandler(vkState* L, vkSetAttrHandler handler) { return addHandler(EngineRun(L).setHandlers, handler); }
int AddGetAttrHandler(vkState* L, vkGetAttrHandler handler) { return addHandler(EngineRun(L).getHandlers, handler); }

void FreeAttrHandlers(vkState* L) {
  EngineRun(L).setHandlers.clear();
  EngineRun(L).getHandlers.clear();
}
