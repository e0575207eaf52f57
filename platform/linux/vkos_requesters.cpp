// Message requesters through SDL's message boxes, and the window system's
// presence that decides whether requesters can be shown at all.
#include "platform/vkos_requesters.h"

#include <SDL.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/platform_state.h"
#include "platform/linux/requesters.h"
#include "platform/vkos_files.h"
#include "base/catalog.h"

namespace {
constexpr size_t kMaxButtons = 32;
constexpr uint32_t kCatalogOk = 94;
}  // namespace

bool vkosHasWindowSystem() {
  if (!WindowSystem()) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) return false;
  return std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0;
}

int ShowMessageBox(const char* title, const char* text, const char* buttons, uint32_t flags) {
  if (!vkosHasWindowSystem()) return -1;
  std::vector<std::string> labels;
  if (buttons) {
    std::string all = buttons;
    size_t start = 0;
    while (labels.size() < kMaxButtons) {
      size_t bar = all.find('|', start);
      labels.push_back(vkosLatin1ToUtf8(all.substr(start, bar == std::string::npos ? bar : bar - start).c_str()));
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
  } else {
    const char* ok = GetCatalogText(kCatalogOk);
    labels.push_back(vkosLatin1ToUtf8(ok ? ok : "OK"));
  }
  std::vector<SDL_MessageBoxButtonData> data(labels.size());
  for (size_t i = 0; i < labels.size(); i++) {
    data[i].flags = 0;
    data[i].buttonid = buttons && i + 1 == labels.size() ? 0 : static_cast<int>(i + 1);
    data[i].text = labels[i].c_str();
  }
  if (labels.size() <= 2) data[0].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
  if (labels.size() == 2) data[1].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
  const std::string utf8Title = vkosLatin1ToUtf8(title ? title : "");
  const std::string utf8Text = vkosLatin1ToUtf8(text ? text : "");
  SDL_MessageBoxData box{};
  box.flags = flags | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
  box.title = utf8Title.c_str();
  box.message = utf8Text.c_str();
  box.numbuttons = static_cast<int>(data.size());
  box.buttons = data.data();
  int chosen = -1;
  if (SDL_ShowMessageBox(&box, &chosen) != 0) return -1;
  return chosen;
}

int vkosShowRequester(const char* title, const char* text, const char* buttons) {
  return ShowMessageBox(title, text, buttons, SDL_MESSAGEBOX_INFORMATION);
}

int SystemMessageBox(const char* title, const char* text, const char* buttons, int32_t icon) {
  const uint32_t flags = icon == 2 ? SDL_MESSAGEBOX_ERROR : icon == 3 ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
  return ShowMessageBox(title, text, buttons, flags);
}
