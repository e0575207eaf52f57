// Anim records and the routines the anim commands, the player and the
// stream writers share: the anim list in the graphics state, lookups with
// their errors and copy-before-modify, frame access (disk anims decode on
// demand), delays, clones, freeing with orphans, and building anims from
// anim files, pictures, brushes and other anims.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "engine/argcheck.h"
#include "graphics/displayoptions.h"
#include "graphics/graphicsstate.h"
#include "pixel/animfiles.h"

struct vkState;
struct vkGIFWriter;
struct vkAviWriter;

// A delay entry the script never set.
inline constexpr uint32_t kNoFrameDelay = 0xFFFFFFFF;

struct vkAnimReaderCloser {
  void operator()(vkAnimReader* r) const { CloseAnimFile(r); }
};
using vkAnimReaderPtr = std::unique_ptr<vkAnimReader, vkAnimReaderCloser>;

struct vkAnim {
  vkObjectId id{};
  int32_t width = 0, height = 0;  // the frames' size as shown
  int32_t frameCount = 0;
  bool fromDisk = false;  // frames are decoded when asked for
  int32_t decodedWidth = 0, decodedHeight = 0;  // the frames' size as stored or decoded
  bool smooth = false;    // disk anims: scale decoded frames smoothly
  int32_t lockCount = 0;  // running playbacks; changes and freeing give 1314
  bool orphaned = false;  // freed by the script while a layer shows it
  int32_t transparentColor = -1;  // 0xRRGGBB, -1 none
  vkAnimReaderPtr reader;         // disk anims
  std::string fileName;           // disk anims, for clones
  std::vector<vkPlanes> frames;   // in-memory anims
  std::vector<uint32_t> delays;   // milliseconds, kNoFrameDelay where unset
  // Disk anims: the frame decoded last, lent to those that only borrow.
  vkPlanes lentFrame;
  int32_t lentIndex = -1;
};

// Writers close (and so complete their files) when their owner goes.
struct vkGIFWriterCloser {
  void operator()(vkGIFWriter* w) const;
};
struct vkAviWriterCloser {
  void operator()(vkAviWriter* w) const;
};

// An anim file being written frame by frame.
struct vkAnimStream {
  vkObjectId id{};
  int32_t width = 0, height = 0;
  int32_t format = 0;  // kAnimFormatGif or kAnimFormatMjpeg
  std::unique_ptr<vkGIFWriter, vkGIFWriterCloser> gif;
  std::unique_ptr<vkAviWriter, vkAviWriterCloser> avi;
};

inline constexpr int32_t kAnimFormatGif = 0;
inline constexpr int32_t kAnimFormatMjpeg = 1;

struct vkAnimList {
  std::list<vkAnim> anims;          // creation order; records stay put
  std::list<vkAnimStream> streams;  // creation order
};

vkAnimList& Anims(vkGraphicsState& gs);

// Flags of FindAnim.
inline constexpr uint32_t kAnimFindChange = 1;    // locked: 1314; layers move to a clone
inline constexpr uint32_t kAnimFindOrphaned = 2;  // orphaned anims count
inline constexpr uint32_t kAnimFindNoDetach = 4;  // with 1: no copy-before-modify

// 0, 1176 (the number kept for the message), 1041 or 1314.
int32_t FindAnim(vkGraphicsState& gs, vkObjectId id, vkAnim** out, uint32_t flags);

// Whether [anim] is the anim drawing goes into (a brush, mask or alpha
// target with this anim selected).
bool IsActiveAnim(vkGraphicsState& gs, const vkAnim& anim);

// Frame [frame] (0-based) of [anim] into *[out]: disk anims decode it (at
// the decoded size with [keepDecodedSize], else scaled to the anim's size)
// into [owned]; with [copy] an in-memory frame is copied into [owned]; else
// the anim's own planes are lent. 0, 1270, 1000, 1152 or 1094.
int32_t GetAnimFrameBitmap(vkGraphicsState& gs, vkAnim& anim, int32_t frame, bool copy, bool keepDecodedSize,
                           vkPlanes* owned, vkBitmapSource* out);

// The delay of frame [frame] in milliseconds: the script's, else a disk
// anim's file's, else 0.
uint32_t QueryAnimFrameDelay(const vkAnim& anim, int32_t frame);

// A copy of [source] appended under [id]; 0 or 1000 (1356, 1045 when a disk
// anim's file no longer opens).
int32_t CloneAnim(vkGraphicsState& gs, const vkAnim& source, vkObjectId id, vkAnim** out);

// Frees anim [id] (orphans it while a layer shows it). With [report] 0 a
// missing anim is no error. 0, 1340, 1314, 1176, 1041.
int32_t FreeAnimById(vkGraphicsState& gs, vkObjectId id, bool report);

// Inserts [count] blank frames before frame [position] (1-based; 0: at
// the end), or removes -[count] frames from [position] on (0: the last
// ones). 0, 1338 for a disk anim, 1055 for a count or position out of range.
int32_t ChangeAnimFrames(vkAnim& anim, int32_t count, int32_t position);

// What CreateFramesFromSource builds an anim from.
struct vkFrameSource {
  vkIdRequest target{};
  int32_t sourceKind = 0;  // kObjectBrush (a brush or the picture below), kObjectAnim, kObjectTextObject
  vkObjectId source{};     // the brush or anim, when no picture or reader is given
  bool hasSource = false;
  int32_t frameWidth = 0, frameHeight = 0, frames = 0, framesPerRow = 0, x = 0, y = 0;
  int32_t argCount = 3;    // 3: the source whole; 7: a grid
  bool fromDisk = false;
  int32_t transparentColor = -1;
  vkPlanes picture;        // a loaded picture, taken over
  vkAnimReaderPtr reader;  // an open anim file, taken over
  int32_t readerWidth = 0, readerHeight = 0, readerFrames = 0;
  std::string fileName;
};

// Builds the frames and appends the anim. 0 or an error code; the list is
// unchanged on failure. *[out] is the new record.
int32_t CreateFramesFromSource(vkState* L, vkFrameSource& source, vkAnim** out);

// LoadAnim and PlayAnimDisk's loader: reads the arguments for [diskPlayback]
// (file at 1, colour at 6, always from disk, automatic id) or for LoadAnim
// (id at 1, file at 2, options or colour at 3), loads and appends the anim.
// Returns the command's result count (the handle pushed for an automatic
// id) or an error code above 1.
int32_t LoadAnimFile(vkState* L, bool diskPlayback, vkAnim** out);

// The handle of [anim] when [request] is automatic: pushed, 1; else 0.
int PushAnimId(vkState* L, vkIdRequest request, const vkAnim& anim);

// Playback and stream commands (animplay.cpp, animstreams.cpp).
int cmdPlayAnim(vkState* L);
int cmdPlayAnimDisk(vkState* L);
int cmdSaveAnim(vkState* L);
int cmdBeginAnimStream(vkState* L);
int cmdWriteAnimFrame(vkState* L);
int cmdFinishAnimStream(vkState* L);
