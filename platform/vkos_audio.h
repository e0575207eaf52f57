// The audio output's services that the event pump runs on the main thread:
// handing the sound notifications that the render thread left over to the
// sound notification queue, and the once-a-second housekeeping.
#pragma once

// Moves pending notifications of the audio channels into the sound
// notification queue.
void vkosDeliverAudioNotifications();

// Delivers pending notifications, then tears down finished channels.
void vkosAudioHousekeeping();
