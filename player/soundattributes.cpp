// The SAMPLE and MUSIC rows of GetAttribute: each attribute is one runtime
// attribute tag that the sound library's handler answers for the object.
#include "player/soundattributes.h"

#include <span>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "engine/argcheck.h"
#include "engine/attributes.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/objecttypes.h"
#include "sound/soundlib.h"

namespace {

struct TagRow {
  int32_t attribute;
  uint32_t tag;
};

constexpr TagRow kSampleRows[] = {
    {ATTRTYPE, ATTR_SAMPLETYPE},
    {ATTRDURATION, ATTR_SAMPLEDURATION},
    {ATTRPITCH, ATTR_SAMPLEPITCH},
    {ATTRPOSITION, ATTR_SAMPLEPOSITION},
};

constexpr TagRow kMusicRows[] = {
    {ATTRTYPE, ATTR_MUSICTYPE},         {ATTRDURATION, ATTR_MUSICDURATION}, {ATTRPITCH, ATTR_MUSICRATE},
    {ATTRPOSITION, ATTR_MUSICPOSITION}, {ATTRFORMAT, ATTR_MUSICFORMAT},     {ATTRBITRATE, ATTR_MUSICBITRATE},
};

int NotFound(vkObjectId id, int32_t code) {
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return code;
}

int Query(vkState* L, int32_t attribute, std::span<const TagRow> rows, int32_t notFound) {
  const TagRow* row = nullptr;
  for (const TagRow& r : rows)
    if (r.attribute == attribute) row = &r;
  if (!row) return kErrUnknownAttribute;
  vkObjectId id = CheckObjectId(L, 2);
  if (row->tag == ATTR_MUSICFORMAT) {
    const char* name = SoundFormatOfMusic(L, id.number, id.handle);
    if (!name) return NotFound(id, notFound);
    vmPushString(L, name);
    return 1;
  }
  int32_t answer[2] = {0, -1};  // the sample position answers two words
  if (GetAttrs(L, &id, {{row->tag, answer}}) == 0) return NotFound(id, notFound);
  vmPushNumber(L, answer[0]);
  if (row->tag != ATTR_SAMPLEPOSITION) return 1;
  vmPushNumber(L, answer[1]);
  return 2;
}

int QuerySample(vkState* L, int32_t attribute) { return Query(L, attribute, kSampleRows, kErrNoSample); }
int QueryMusic(vkState* L, int32_t attribute) { return Query(L, attribute, kMusicRows, kErrNoMusic); }

}  // namespace

void RegisterSoundAttributes(vkState* L) {
  RegisterAttributeProvider(L, vkObjectType::SAMPLE, {CountSamples, QuerySample});
  RegisterAttributeProvider(L, vkObjectType::MUSIC, {CountMusics, QueryMusic});
}
