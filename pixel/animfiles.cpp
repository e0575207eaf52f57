// The anim file dispatcher: the first bytes of the file choose the reader;
// a file that neither of the player's readers takes, or that one refuses,
// goes to the platform's reader before it is called unknown.
#include "pixel/animfiles.h"

#include <cstring>
#include <new>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "io/filehandles.h"
#include "pixel/gifanim.h"
#include "pixel/iffanim.h"
#include "platform/vkos_anims.h"

int32_t OpenAnimFile(const char* name, vkAnimReader** handle, int32_t* width, int32_t* height,
                     int32_t* frameCount) {
  *handle = nullptr;
  SetErrorText(name);
  uint8_t head[64] = {};
  {
    vkFilePtr file = OpenStream(name, VKFILE_READ);
    if (!file) return kErrCannotRead;
    ReadStream(file.get(), head, sizeof head);
  }
  int32_t type = 0;
  if (std::memcmp(head, "FORM", 4) == 0 && std::memcmp(head + 8, "ANIM", 4) == 0) type = ANIMREADER_IFF;
  else if (std::memcmp(head, "GIF87", 5) == 0 || std::memcmp(head, "GIF89", 5) == 0) type = ANIMREADER_GIF;

  vkAnimReader* h = new (std::nothrow) vkAnimReader;
  if (!h) return kErrOutOfMemory;
  if (type == ANIMREADER_IFF) h->reader = OpenIFFAnim(name, width, height, frameCount);
  else if (type == ANIMREADER_GIF) h->reader = OpenGIFAnim(name, width, height, frameCount, false);
  if (!h->reader) {
    type = ANIMREADER_PLATFORM;
    h->reader = vkosOpenAnim(name, width, height, frameCount);
  }
  if (!h->reader) {
    delete h;
    SetErrorText(name);
    return kErrUnknownAnim;
  }
  h->type = type;
  *handle = h;
  return 0;
}

uint32_t* ReadAnimFrame(vkAnimReader* h, int32_t n) {
  if (!h) return nullptr;
  switch (h->type) {
    case ANIMREADER_IFF: return ReadIFFAnimFrame(static_cast<vkIFFAnimReader*>(h->reader), n);
    case ANIMREADER_GIF: return ReadGIFAnimFrame(static_cast<vkGIFAnimReader*>(h->reader), n);
    default: return vkosGetAnimFrame(static_cast<vkOSAnim*>(h->reader), n);
  }
}

int32_t GetAnimFrameDelay(vkAnimReader* h, int32_t n) {
  if (!h) return 0;
  switch (h->type) {
    case ANIMREADER_IFF: return GetIFFAnimFrameDelay(static_cast<vkIFFAnimReader*>(h->reader), n);
    case ANIMREADER_GIF: return GetGIFFrameDelay(static_cast<vkGIFAnimReader*>(h->reader), n);
    default: return vkosGetAnimFrameInfo(static_cast<vkOSAnim*>(h->reader), n);
  }
}

void CloseAnimFile(vkAnimReader* h) {
  if (!h) return;
  switch (h->type) {
    case ANIMREADER_IFF: CloseIFFAnim(static_cast<vkIFFAnimReader*>(h->reader)); break;
    case ANIMREADER_GIF: CloseGIFAnim(static_cast<vkGIFAnimReader*>(h->reader)); break;
    default: vkosFreeAnim(static_cast<vkOSAnim*>(h->reader)); break;
  }
  delete h;
}

int32_t IsAnimFile(const char* name) {
  vkAnimReader* h = nullptr;
  int32_t w = 0, ht = 0, frames = 0;
  if (OpenAnimFile(name, &h, &w, &ht, &frames) != 0) return 0;
  CloseAnimFile(h);
  return frames > 1 ? 1 : 0;
}
