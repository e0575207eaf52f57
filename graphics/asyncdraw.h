// Asynchronous drawing objects: a transition effect, an object move or an
// anim that a script steps one frame at a time from its own loop. The effect
// engine, the move runner and the anim player create them with their own
// callbacks and private data; this list steps, seeks, finishes and frees
// them, answers the questions displays and layers ask before they change
// something an object still draws, and calls every object's free callback
// exactly once, whichever way the object ends.
#pragma once

#include <cstdint>
#include <list>
#include <memory>

#include "engine/argcheck.h"

struct vkState;
struct vkDisplay;
struct vkBGPic;
struct vkLayer;
struct vkGraphicsState;

// What an object draws.
inline constexpr int32_t ADF_FX = 0;
inline constexpr int32_t ADF_MOVEOBJECT = 1;
inline constexpr int32_t ADF_ANIM = 2;

// Messages of the message callback: (message, data) -> answer.
inline constexpr int32_t kAsyncLayerReplaced = 0;  // data: vkLayer*[2] {old, new}
inline constexpr int32_t kAsyncLayerChanged = 1;   // data: the layer
inline constexpr int32_t kAsyncFrameCount = 2;     // answer: the number of frames
inline constexpr int32_t kAsyncCurrentFrame = 3;   // answer: the current frame
inline constexpr int32_t kAsyncSeek = 4;           // data: int32_t* frame; answer 0 or an error code
inline constexpr int32_t kAsyncRedraw = 5;         // draw the current frame again now
inline constexpr int32_t kAsyncGetLayer = 6;       // data: vkLayer** to store the layer drawn, or leave
inline constexpr int32_t kAsyncGetBGPic = 7;       // data: vkBGPic** (effects) to store the target picture
inline constexpr int32_t kAsyncBGPicFrame = 8;     // data: 1 before, 0 after a frame drawn into a picture

// The creator's callbacks; [userData] is its private record.
// Draws the next frame and sets *[finished] after the last; 0 or an error.
using vkAsyncDrawFrameFn = int32_t (*)(void* userData, int32_t* finished);
// Ends the operation (completed 1 when all frames were drawn).
using vkAsyncFinishFn = void (*)(void* userData, int32_t completed);
// Releases the private record; called exactly once per object.
using vkAsyncFreeFn = void (*)(void* userData, int32_t completed);
using vkAsyncMessageFn = intptr_t (*)(int32_t message, void* data, void* userData);

struct vkAsyncDraw {
  void* idHandle = nullptr;     // the script only ever sees this handle
  vkDisplay* display = nullptr;  // current when the object was made
  int32_t kind = ADF_FX;
  int32_t finished = 0;  // the last frame has been drawn (or sought)
  vkAsyncDrawFrameFn drawFrame = nullptr;
  vkAsyncFinishFn finish = nullptr;   // may be absent
  vkAsyncFreeFn free = nullptr;
  vkAsyncMessageFn message = nullptr;  // may be absent
  void* userData = nullptr;
};

// The objects in creation order. Objects still listed when the list goes
// have their free callbacks run then.
struct vkAsyncDrawList {
  std::list<std::unique_ptr<vkAsyncDraw>> objects;
  vkAsyncDrawList() = default;
  vkAsyncDrawList(const vkAsyncDrawList&) = delete;
  vkAsyncDrawList& operator=(const vkAsyncDrawList&) = delete;
  ~vkAsyncDrawList();
};

// Appends an object bound to the current display; its handle goes to
// *[outHandle] when given. 0, or 1000 with the list unchanged.
int32_t CreateAsyncDraw(vkGraphicsState& gs, int32_t kind, vkAsyncDrawFrameFn drawFrame, vkAsyncFinishFn finish,
                        vkAsyncFreeFn free, vkAsyncMessageFn message, void* userData, void** outHandle);

// The object with the handle, or null.
vkAsyncDraw* FindAsyncDraw(vkGraphicsState& gs, const void* handle);

// True when an object belongs to [display]: the display cannot be freed or
// replaced (1380) nor its layer mode switched (1329).
bool HasAsyncDrawOnDisplay(const vkGraphicsState& gs, const vkDisplay* display);

// The first picture an effect object names (message 7), in list order; null.
vkBGPic* AskFXAsyncDraws(vkGraphicsState& gs);

// Sends [message] with [data] to every object that takes messages.
void BroadcastAsyncDrawMessage(vkGraphicsState& gs, int32_t message, void* data);

// True when an object draws [layer] (message 6): the layer cannot be removed
// (1372) nor rendered anew (1404).
bool IsLayerBoundToAsyncDraw(vkGraphicsState& gs, const vkLayer* layer);

// Frees every object, each free callback with completed 0 (shutdown, or a
// display that gets a new picture).
void FreeAllAsyncDraws(vkGraphicsState& gs);

// One step of the script loop: draws the next frame, seeks to [frame] when
// given, or ends a finished object. *[done] is the script's result: 1 when
// the object finished (and, except right after a seek, was freed). Returns 0
// or an error code; after an error the object stays.
int32_t AsyncDrawFrame(vkGraphicsState& gs, vkObjectId id, const int32_t* frame, int32_t* done);

// Ends the object without finishing it (free with completed 0), or finishes
// it (finish, then free, both with its finished flag). 0, 1041 or 1326.
int32_t CancelAsyncDraw(vkGraphicsState& gs, vkObjectId id);
int32_t FinishAsyncDraw(vkGraphicsState& gs, vkObjectId id);

// Registers AsyncDrawFrame, CancelAsyncDraw, FinishAsyncDraw and the ADF_
// constants.
void RegisterAsyncDrawCommands(vkState* L);
// Their rows, for the graphics library's own table.
const struct vkCommandDef* AsyncDrawCommandTable();
