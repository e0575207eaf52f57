// The clipboard on SDL's text clipboard plus our own picture slot in the
// platform record, and URLs opened through xdg-open. Characters of the
// clipboard's text that ISO 8859-1 cannot hold become '?'. Writing a
// picture takes the text clipboard too (with no text), so that another
// program's copy is seen as a change, which empties the slot.
#include <SDL.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/errorcodes.h"
#include "platform/eventqueue.h"
#include "platform/linux/clipboard.h"
#include "platform/linux/platform_state.h"
#include "platform/vkos_clipboard.h"
#include "platform/vkos_files.h"
#include "platform/vkos_pictures.h"
#include "platform/vkos_time.h"

extern char** environ;

namespace {

// UTF-8 as ISO 8859-1 with LF line ends; bytes that are not UTF-8 stay.
std::string ClipboardToLatin1(const char* utf8) {
  std::string bytes = utf8 ? utf8 : "";
  std::vector<uint32_t> codes;
  std::string out;
  if (vkosUtf8ToUcs4(bytes.data(), bytes.size(), &codes) == 0) {
    for (uint32_t c : codes) out.push_back(c <= 0xFF ? char(c) : '?');
  } else {
    out = bytes;
  }
  std::string lf;
  for (size_t i = 0; i < out.size(); i++) {
    if (out[i] == '\r') {
      lf.push_back('\n');
      if (i + 1 < out.size() && out[i + 1] == '\n') i++;
    } else {
      lf.push_back(out[i]);
    }
  }
  return lf;
}

}  // namespace

int vkosPeekClipboard(int32_t* type) {
  *type = VKOS_CLIPBOARD_EMPTY;
  if (WindowSystem() && SDL_HasClipboardText())
    *type = VKOS_CLIPBOARD_TEXT;
  else if (!gPlatform.clipboardPicture.empty())
    *type = VKOS_CLIPBOARD_IMAGE;
  return 0;
}

int vkosReadClipboard(int32_t* type, std::string* text, vkOSClipboardImage* image) {
  vkosPeekClipboard(type);
  if (*type == VKOS_CLIPBOARD_TEXT) {
    char* utf8 = SDL_GetClipboardText();
    if (utf8 == nullptr) return kErrReadClipboard;
    *text = ClipboardToLatin1(utf8);
    SDL_free(utf8);
  } else if (*type == VKOS_CLIPBOARD_IMAGE && image != nullptr) {
    const std::vector<uint8_t>& png = gPlatform.clipboardPicture;
    int32_t width = 0, height = 0;
    uint32_t* pixels = nullptr;
    uint8_t* alpha = nullptr;
    if (int code = vkosLoadPicture(png.data(), png.size(), &width, &height, &pixels, &alpha)) return code;
    std::unique_ptr<uint32_t, decltype(&free)> ownPixels(pixels, free);
    std::unique_ptr<uint8_t, decltype(&free)> ownAlpha(alpha, free);
    try {
      image->pixels.assign(pixels, pixels + size_t(width) * size_t(height));
      if (alpha != nullptr) image->alpha.assign(alpha, alpha + size_t(PictureAlphaRowBytes(width)) * size_t(height));
      else image->alpha.clear();
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    image->width = width;
    image->height = height;
  }
  return 0;
}

int vkosWriteClipboardText(const std::string& text) {
  if (!WindowSystem()) return kErrWriteClipboard;
  if (SDL_SetClipboardText(vkosLatin1ToUtf8(text.c_str()).c_str()) != 0) return kErrWriteClipboard;
  gPlatform.clipboardPicture.clear();
  return 0;
}

int vkosWriteClipboardImage(const vkOSPixels& picture, bool keepAlpha) {
  if (picture.pixels == nullptr || picture.width < 1 || picture.height < 1 || picture.pixelsPerRow < picture.width)
    return kErrWriteClipboard;
  std::vector<uint8_t> png;
  if (int code = vkosSavePicture(nullptr, picture.pixels, picture.width, picture.height, picture.pixelsPerRow * 4,
                                 VKOS_PICTURE_PNG, keepAlpha, 100, &png))
    return code;
  if (WindowSystem() && SDL_SetClipboardText("") != 0) return kErrWriteClipboard;
  gPlatform.clipboardPicture = std::move(png);
  return 0;
}

int vkosClearClipboard() {
  gPlatform.clipboardPicture.clear();
  if (!WindowSystem()) return 0;
  return SDL_SetClipboardText("") == 0 ? 0 : kErrWriteClipboard;
}

int vkosWatchClipboard(vkOSDisplay*) { return 0; }

void ClipboardChangedElsewhere() {
  // Another program's copy replaces our picture as well as our text.
  gPlatform.clipboardPicture.clear();
  for (const vkOSDisplay* os : gPlatform.windows)
    if (os->watchClipboard != 0) PostEvent(os->display, EVENT_CLIPBOARDCHANGE, 0, 0, 0);
}

int vkosOpenURL(const char* url) {
  const std::string utf8 = vkosLatin1ToUtf8(url ? url : "");
  char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(utf8.c_str()), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
  if (rc != 0) return rc == ENOMEM ? kErrOutOfMemory : 0;
  // xdg-open hands the address on and ends at once: reap it.
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return 0;
}
