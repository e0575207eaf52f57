// The records a run of the player shares between start-up, the option parser,
// the applet reader and the preloads: the marker block through which the
// player finds an applet attached to its own executable, the program context
// (paths, options and user arguments) and the applet record (the loaded applet
// and the first display's settings), with the defaults that hold before any
// option or applet record is read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "io/chunknames.h"  // vkLinkedFile
#include "io/tempfile.h"
#include "runtime/dosfiles.h"
#include "runtime/memblocklib.h"
#include "runtime/objectattributes.h"
#include "platform/vkos_time.h"

// ---- The marker block ----------------------------------------------------
// 45 bytes in the executable: the maker's name (30 bytes), two zero bytes,
// the big-endian file offset of an attached applet (0xDEADC0DE: none), eight
// filler bytes C0 DE CA FE C0 CA C0 1A and a zero byte. The tool that attaches
// an applet to a copy of the player finds the block and patches the offset.
inline constexpr size_t kMarkerSize = 45;
inline constexpr size_t kMarkerTextSize = 30;
inline constexpr size_t kMarkerOffsetField = 32;
inline constexpr uint32_t kNoAttachedApplet = 0xDEADC0DEu;

// The block itself. Volatile so that no read of it is folded at build time:
// the offset field is changed in the executable file after linking.
extern const volatile uint8_t gAppletMarker[kMarkerSize];

// A copy of the block as it stands in this executable.
std::array<uint8_t, kMarkerSize> CopyMarkerBlock();
// The maker's name held at the start of the block.
std::string MarkerText();
// The file offset of the applet attached to this executable; 0 = none.
uint32_t AttachedAppletOffset();

// ---- Display settings ----------------------------------------------------
// Display flag bits, shared by the applet record and the display preload.
inline constexpr uint32_t kDisplayBorderless = 1;
inline constexpr uint32_t kDisplaySizeable = 2;
inline constexpr uint32_t kDisplayFixed = 4;
inline constexpr uint32_t kDisplayNoModeSwitch = 8;
inline constexpr uint32_t kDisplayHidePointer = 16;
inline constexpr uint32_t kDisplayNoHide = 32;
inline constexpr uint32_t kDisplayAutoScale = 64;
inline constexpr uint32_t kDisplaySmoothScale = 128;
inline constexpr uint32_t kDisplayLayerScale = 0x100;
inline constexpr uint32_t kDisplayBGPic = 0x200;   // display preloads: show the record's BGPic
inline constexpr uint32_t kDisplayActive = 0x400;
inline constexpr uint32_t kDisplayHidden = 0x800;
inline constexpr uint32_t kDisplayLayers = 0x1000;
inline constexpr uint32_t kDisplayUseQuartz = 0x2000;
inline constexpr uint32_t kDisplayNoClose = 0x4000;
inline constexpr uint32_t kDisplayKeepProportions = 0x8000;
inline constexpr uint32_t kDisplayFitScale = 0x10000;

// Display modes: 0 lets the first display ask or take the applet's choice.
inline constexpr uint32_t kDisplayModeNone = 0;
inline constexpr uint32_t kDisplayModeWindow = 1;
inline constexpr uint32_t kDisplayModeFullScreen = 2;
inline constexpr uint32_t kDisplayModeOwnScreen = 5;
inline constexpr uint32_t kDisplayModeFakeFullScreen = 6;

// Position value that centres a picture.
inline constexpr int32_t kPositionCenter = -100000;

// Backfill types.
inline constexpr uint32_t kBackfillNone = 0;
inline constexpr uint32_t kBackfillColor = 1;
inline constexpr uint32_t kBackfillGradient = 2;
inline constexpr uint32_t kBackfillTexture = 3;
inline constexpr uint32_t kBackfillPicture = 4;

struct vkBackfill {
  uint32_t type = kBackfillNone;
  int32_t startColor = -1;
  int32_t endColor = -1;
  int32_t pictureX = kPositionCenter;
  int32_t pictureY = kPositionCenter;
  int32_t brushId = 0;
  uint32_t scalePicture = 0;
  int32_t pictureTransparency = -1;
  std::string brushFile;  // empty: none
};

// The first display's configuration as options and applet records set it. A
// default-constructed value is the start-up default, which applet record 29
// restores.
struct vkDisplaySettings {
  uint32_t flags = 0;
  int32_t screenWidth = -1;
  int32_t screenHeight = -1;
  int32_t screenDepth = -1;
  int32_t scaleWidth = 0;   // negative: a percentage
  int32_t scaleHeight = 0;  // negative: a percentage
  vkBackfill backfill;
  uint32_t mode = kDisplayModeNone;
  int32_t hideTitleBar = -1;
};

// ---- The applet record ---------------------------------------------------
// One stretch of VM lines that came from one source file.
struct vkIncludeRange {
  int32_t firstVmLine = 0;
  int32_t lastVmLine = 0;
  int32_t firstSourceLine = 0;
  std::string fileName;
  std::string chunkName;
};

// ---- Applet records --------------------------------------------------------
// The tag byte that opens each record of an applet file.
enum vkAppletRecord : uint32_t {
  RECORD_SKIP = 0,            // a word of size, then bytes nobody reads
  RECORD_BYTECODE = 1,        // the main chunk; the last record
  RECORD_PRELOADS = 2,
  RECORD_DISPLAYSIZE = 3,
  RECORD_TITLE = 4,
  RECORD_BACKCOLOR = 5,
  RECORD_DISPLAYPOSITION = 6,
  RECORD_DESKTOP = 7,
  RECORD_INCLUDEMAP = 8,      // the include ranges, names shared
  RECORD_LABELS = 9,
  RECORD_VERSION = 10,
  RECORD_TEXTFIRST = 11,      // 11 to 15: the applet's texts
  RECORD_TEXTLAST = 15,
  RECORD_DISPLAYMODE = 16,
  RECORD_BACKFILL = 17,
  RECORD_BORDERLESS = 18,
  RECORD_FIXED = 19,
  RECORD_SIZEABLE = 20,
  RECORD_HIDETITLEBAR = 21,
  RECORD_SCREENSIZE = 22,
  RECORD_SCREENDEPTH = 23,
  RECORD_HIDEPOINTER = 24,
  RECORD_NOMODESWITCH = 25,
  RECORD_LINKEDFILES = 26,
  RECORD_INCLUDEMAPNAMED = 27,  // the include ranges with their own names
  RECORD_SCALEMODE = 28,
  RECORD_RESETDISPLAY = 29,
  RECORD_NOHIDE = 30,
};

// ---- Preloads --------------------------------------------------------------
// The objects an applet declares for loading before its main chunk runs.
enum vkPreloadType : uint32_t {
  PRELOAD_BGPIC = 0, PRELOAD_BRUSH = 1, PRELOAD_ANIM = 2, PRELOAD_MUSIC = 3, PRELOAD_SAMPLE = 4,
  PRELOAD_BUTTON = 5, PRELOAD_KEYDOWN = 6, PRELOAD_SPRITE = 7, PRELOAD_FILE = 8, PRELOAD_FONT = 9,
  PRELOAD_DISPLAY = 10,
};
inline constexpr uint32_t kPreloadTypeCount = 11;

// A display's drag or size region.
struct vkRegion {
  int32_t type = 0, x = 0, y = 0, width = 0, height = 0;
};
// An applet holds at most this many regions of each kind per display.
inline constexpr uint32_t kMaxRegions = 64;

// How a BGPic or a display is filled: 1 colour, 2 gradient, 3 texture.
struct vkFillRecord {
  uint32_t style = 0;
  int32_t startColor = 0;
  int32_t endColor = 0;
  int32_t angle = 0;
  int32_t textureBrush = 0;
  int32_t textureX = 0;
  int32_t textureY = 0;
};

// The record of a display preload.
struct vkDisplayRecord {
  int32_t bgpic = 0;
  int32_t x = kPositionCenter;
  int32_t y = kPositionCenter;
  int32_t width = 640;
  int32_t height = 480;
  uint32_t flags = kDisplayActive;
  uint32_t flagMask = 0;  // the flag bits the applet itself set
  int32_t scaleWidth = 0;
  int32_t scaleHeight = 0;
  std::vector<vkRegion> dragRegions;
  std::vector<vkRegion> sizeRegions;
  std::string title = "Vellumark";
  vkFillRecord fill{1};  // fill.startColor is the display's colour
};

struct vkPreload {
  uint32_t type = 0;  // vkPreloadType
  int32_t id = 0;
  uint32_t fromApplet = 1;
  std::string name;  // file, key or font name
  uint32_t nameOffset = 0;
  uint32_t nameLength = 0;
  uint32_t dataOffset = 0;
  uint32_t dataSize = 0;  // 0: loaded from disk by its name
  int32_t transparency = -1;  // fonts: the size
  int32_t loadAlpha = 0;      // fonts: the engine (low 16 bits), 0x10000 no cache
  int32_t sourceLine = 0;
  // Type records: BGPic fill; brush, anim and sprite geometry; button corners.
  vkFillRecord fill;
  int32_t width = 0, height = 0, x = 0, y = 0, globalAlpha = -1;
  int32_t frames = 0, framesPerRow = 0, fromDisk = 0;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  uint32_t cache = 0, cacheAlpha = 0, cachedLoad = 0;  // the duplicate pass's marks
  vkDisplayRecord display;
  std::string container;  // the applet holding the linked data
  uint32_t quiet = 0;
};

struct vkApplet {
  std::vector<uint8_t> bytecode;
  uint32_t versionMajor = 0;
  uint32_t versionMinor = 0;
  int64_t baseOffset = 0;  // of the applet's first byte in its file
  std::string defaultTitle;  // record 4: the default display's title
  std::vector<vkPreload> preloads;
  std::array<std::string, 5> texts;  // applet records 11 to 15
  std::vector<vkIncludeRange> includeRanges;
  std::vector<vkLinkedFile> linkedFiles;
  uint32_t settingsLocked = 0;
  uint32_t desktop = 0;
  vkDisplaySettings display;
};

// ---- The program context -------------------------------------------------
// A stopwatch of StartTimer: the elapsed time of a running one is now -
// start + offset, of a paused one the offset.
struct vkStopwatch {
  int32_t idNumber = 0;
  void* idHandle = nullptr;  // set for ids the system chose
  vkTimeValue start;
  vkTimeValue offset;
  uint32_t paused = 0;
};

struct vkEventState;
struct vkEventStateDeleter {
  void operator()(vkEventState* state) const;  // with the event library
};

// An option name the player does not know, with its value when it had one;
// scripts read these.
struct vkUserArg {
  std::string name;
  std::optional<std::string> value;
};

// The seven icon sizes an applet may be given, with their option slots.
struct vkIconSize {
  const char* name;
  uint32_t width;
  uint32_t height;
  uint32_t slot;
};
inline constexpr size_t kIconCount = 7;
extern const vkIconSize kIconSizes[kIconCount];

inline constexpr uint32_t kExeTypeMacOS = 0x100;

struct vkGraphicsState;
struct vkSoundLibrary;
struct vkTextRunState;
struct vkLayersState;
struct vkMoveQueues;
struct vkState;

struct vkProgramContext {
  uint32_t isApplet = 0;
  std::string scriptPath;
  std::string resolvedLinkedFile;  // the last chunk name ResolveLinkedFile built
  std::string executablePath;
  std::string outputPath;   // the COMPILE option's argument
  std::string scriptAlias;  // shown instead of the path when opening
  uint32_t quiet = 0;
  uint32_t noSound = 0;
  uint32_t masterVolume = 30;
  uint32_t compile = 0;
  uint32_t exeType = kExeTypeMacOS;
  std::string errorMessage;  // the final error's text, filled at shutdown
  uint32_t compress = 0;
  uint32_t overwrite = 0;
  std::vector<vkUserArg> userArgs;
  uint32_t lockSettings = 0;

  // Options kept for the subsystems that act on them.
  uint32_t debugDevice = 0;        // errors go to standard output
  std::string debugDeviceName;     // DEBUGDEVICE's argument
  std::string publicScreen;        // PUBSCREEN's argument
  std::string private1Path;        // file for the command dump
  std::string private2Path;        // file for the constant dump
  std::string private3;            // kept, not used
  std::array<std::string, kIconCount> iconPaths;  // by kIconSizes row

  // Files the run made for itself (an unpacked applet), deleted at shutdown.
  std::vector<vkTempFile> temporaryFiles;

  // Registered by the display library: forgets the displays' input state
  // after another program had the input (Execute, Run).
  void (*resetDisplayInput)(vkState* L) = nullptr;
  // Registered by the graphics library: empties the image cache once the
  // preloads ended or failed.
  void (*preloadsEnded)(vkState* L) = nullptr;

  // The script objects of the base libraries, freed by their shutdown steps.
  vkDosObjects dos;
  std::list<vkMemBlock> memBlocks;
  bool statusLineOpen = false;  // a console status line waits for its result word

  // The system library's stopwatches, in the order they were started.
  std::list<vkStopwatch> stopwatches;

  // The event library's run state, made when it opens.
  std::unique_ptr<vkEventState, vkEventStateDeleter> events;

  // GetAttribute's providers by object type code.
  std::array<vkAttributeProvider, kAttributeTypeSlots> attributeProviders{};
  // The graphics subsystem's run state (graphics/graphicsstate.h), made by
  // the first that asks for it.
  std::shared_ptr<vkGraphicsState> graphics;
  // The sound library's (sound/soundlib.h), made the same way.
  std::shared_ptr<vkSoundLibrary> sound;
  // The text subsystem's (text/textstate.h): fonts and the text style.
  std::shared_ptr<vkTextRunState> text;
  // The layers library's (layers/layers.h): the batch list and its hooks.
  std::shared_ptr<vkLayersState> layers;
  // The layers library's move queues (layers/movequeues.h).
  std::shared_ptr<vkMoveQueues> moveQueues;

  // Called with the name of each shutdown step before it runs (tests watch
  // the order through it).
  void (*shutdownObserver)(const char* step) = nullptr;
};

struct vkState;

// The program context of [L]'s engine: the one start-up attached, or, for an
// engine run without start-up (a test, a tool), one of the engine's own made
// when first asked for.
vkProgramContext& ProgramContext(vkState* L);
// Makes [context] the program context of [L]'s engine (also as the registry
// pointer "clargs"); NULL detaches it.
void AttachProgramContext(vkState* L, vkProgramContext* context);

// ResolveLinkedFileIn on the running applet's linked files (registry "applet") with the
// script path of the program context (registry "clargs") as the default
// container; [fileName] itself when the engine holds no applet. A chunk name
// stays valid until the next call on the same engine.
const char* ResolveLinkedFile(vkState* L, const char* fileName, int fontFlag, int* outFontFlag);
