// The GetAttribute provider registry of a run, kept in its program context.
#include "runtime/objectattributes.h"

#include "engine/vmapi.h"
#include "runtime/context.h"

void RegisterAttributeProvider(vkState* L, int32_t type, const vkAttributeProvider& provider) {
  if (type < 0 || type >= kAttributeTypeSlots) return;
  ProgramContext(L).attributeProviders[size_t(type)] = provider;
}

const vkAttributeProvider* FindAttributeProvider(vkState* L, int32_t type) {
  if (type < 0 || type >= kAttributeTypeSlots) return nullptr;
  const vkAttributeProvider& p = ProgramContext(L).attributeProviders[size_t(type)];
  return p.count || p.query ? &p : nullptr;
}

void PushObjectId(vkState* L, const vkObjectId& id) {
  if (id.handle != nullptr) vmPushLightUserdata(L, id.handle);
  else vmPushNumber(L, id.number);
}
