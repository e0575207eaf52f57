// The platform layer as the rest of the player sees it: files and programs,
// start-up, events and waiting, the display's platform record and the
// audio services that the pump drives.
#pragma once

#include "platform/vkos_audio.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"
#include "platform/vkos_files.h"
#include "platform/vkos_format.h"
#include "platform/vkos_joystick.h"
