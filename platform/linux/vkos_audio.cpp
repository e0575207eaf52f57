// The audio output's main-thread services. No audio channel exists yet, so
// there is never a notification to deliver nor a channel to tear down.
#include "platform/vkos_audio.h"

void vkosDeliverAudioNotifications() {}

void vkosAudioHousekeeping() {}
