// The applet reader. The records are read through a cursor that knows how
// many bytes the applet holds, so that every count, size, offset and string
// is checked against the file before anything is allocated for it: a record
// that runs past the end is 1198, an unknown record or preload type 1210.
#include "runtime/appletreader.h"

#include <cstring>
#include <string>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "platform/vkos_files.h"
#include "base/catalog.h"
#include "runtime/console.h"
#include "io/filehandles.h"
#include "io/packfiles.h"
#include "base/paths.h"

namespace {

constexpr uint32_t kCatalogOpeningScript = 97;

// The newest applet version this player reads.
constexpr uint32_t kNewestMajor = 4;
constexpr uint32_t kNewestMinor = 7;

// The longest text field (records 11 to 15) kept, as in their 256-byte buffers.
constexpr size_t kTextFieldMax = 255;

struct AppletFault {
  uint32_t code;
};

// Reads the applet's bytes from [base] to the end of the file; positions are
// relative to the applet's first byte.
class AppletInput {
 public:
  AppletInput(vkFile* file, int64_t base, int64_t size) : file_(file), base_(base), size_(size) {}

  int64_t position() const { return pos_; }
  int64_t size() const { return size_; }
  bool AtEnd() const { return pos_ >= size_; }

  // Fails with 1198 unless [n] more bytes are there.
  void Need(int64_t n) const {
    if (n < 0 || n > size_ - pos_) throw AppletFault{kErrUnexpectedEof};
  }
  // Fails with 1198 unless [count] items of at least [each] bytes can follow.
  void NeedItems(uint32_t count, int64_t each) const { Need(int64_t(count) * each); }

  void Read(void* buffer, int64_t n) {
    Need(n);
    uint8_t* out = static_cast<uint8_t*>(buffer);
    while (n > 0) {
      const uint32_t piece = uint32_t(n > (1 << 30) ? (1 << 30) : n);
      if (ReadStream(file_, out, piece) != piece) throw AppletFault{kErrUnexpectedEof};
      out += piece;
      n -= piece;
      pos_ += piece;
    }
  }
  void Skip(int64_t n) {
    Need(n);
    pos_ += n;
    SeekStream(file_, base_ + pos_, VKSEEK_START);
  }
  void SeekTo(int64_t position) {
    pos_ = position;
    SeekStream(file_, base_ + pos_, VKSEEK_START);
  }

  uint32_t Byte() {
    uint8_t b = 0;
    Read(&b, 1);
    return b;
  }
  int32_t S16() {
    uint8_t b[2];
    Read(b, 2);
    return int16_t(uint16_t((b[0] << 8) | b[1]));
  }
  uint32_t U32() {
    uint8_t b[4];
    Read(b, 4);
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
  }
  int32_t S32() { return int32_t(U32()); }

  // Bytes up to and including a NUL, which must come before the end.
  std::string String() {
    std::string text;
    for (;;) {
      const uint32_t c = Byte();
      if (c == 0) return text;
      text.push_back(char(c));
    }
  }
  std::string Bytes(int64_t n) {
    Need(n);
    std::string text(size_t(n), '\0');
    Read(text.data(), n);
    return text;
  }
  // [length] bytes at [offset], read without moving the record position.
  std::string BytesAt(uint32_t offset, uint32_t length) {
    if (int64_t(offset) + length > size_) throw AppletFault{kErrUnexpectedEof};
    const int64_t back = pos_;
    SeekTo(offset);
    std::string text = Bytes(length);
    SeekTo(back);
    return text;
  }

 private:
  vkFile* file_;
  int64_t base_;
  int64_t size_;
  int64_t pos_ = 0;
};

bool VersionAbove(const vkApplet& a, uint32_t major, uint32_t minor) {
  return a.versionMajor > major || (a.versionMajor == major && a.versionMinor > minor);
}

// The display record the display settings act on: the last display preload,
// made first when there is none.
vkDisplayRecord& CurrentDisplayRecord(vkApplet& applet) {
  for (auto it = applet.preloads.rbegin(); it != applet.preloads.rend(); ++it)
    if (it->type == PRELOAD_DISPLAY) return it->display;
  return AddDefaultDisplay(applet).display;
}

void SetDisplayFlag(vkApplet& applet, uint32_t bit, uint32_t on) {
  vkDisplayRecord& record = CurrentDisplayRecord(applet);
  if (on) record.flags |= bit;
  else record.flags &= ~bit;
  record.flagMask |= bit;
}

void ReadRegions(AppletInput& in, std::vector<vkRegion>& regions) {
  const uint32_t count = in.U32();
  if (count > kMaxRegions) throw AppletFault{kErrUnknownSection};
  in.NeedItems(count, 20);
  for (uint32_t i = 0; i < count; ++i) {
    vkRegion r;
    r.type = in.S32();
    r.x = in.S32();
    r.y = in.S32();
    r.width = in.S32();
    r.height = in.S32();
    regions.push_back(r);
  }
}

void ReadFillTail(AppletInput& in, vkFillRecord& fill) {
  fill.style = in.Byte();
  fill.endColor = in.S32();
  fill.angle = in.S16();
}

void ReadDisplayRecord(AppletInput& in, const vkApplet& applet, vkDisplayRecord& d) {
  d.bgpic = in.S32();
  d.x = in.S32();
  d.y = in.S32();
  d.width = in.S32();
  d.height = in.S32();
  d.fill.startColor = in.S32();
  d.flags = in.U32();
  d.flagMask = in.U32();
  d.scaleWidth = in.S32();
  d.scaleHeight = in.S32();
  ReadRegions(in, d.dragRegions);
  ReadRegions(in, d.sizeRegions);
  const int32_t titleLength = in.S16();
  if (titleLength < 0) throw AppletFault{kErrUnexpectedEof};
  d.title = in.Bytes(titleLength);
  d.fill.style = 1;
  if (VersionAbove(applet, 4, 6)) {
    ReadFillTail(in, d.fill);
    d.fill.textureBrush = in.S32();
    d.fill.textureX = in.S32();
    d.fill.textureY = in.S32();
  }
}

// The 16-bit fields that follow the common part of a preload entry, per type,
// in file order.
struct vkPreloadFields {
  uint32_t type;
  int32_t vkPreload::* fields[6];  // unused slots stay null
};
const vkPreloadFields kPreloadFields[] = {
    {PRELOAD_BRUSH, {&vkPreload::width, &vkPreload::height, &vkPreload::x, &vkPreload::y, &vkPreload::globalAlpha}},
    {PRELOAD_ANIM,
     {&vkPreload::width, &vkPreload::height, &vkPreload::frames, &vkPreload::framesPerRow, &vkPreload::x,
      &vkPreload::y}},
    {PRELOAD_BUTTON, {&vkPreload::x1, &vkPreload::y1, &vkPreload::x2, &vkPreload::y2}},
    {PRELOAD_SPRITE,
     {&vkPreload::width, &vkPreload::height, &vkPreload::frames, &vkPreload::framesPerRow, &vkPreload::x,
      &vkPreload::y}},
};

void ReadPreloadFields(AppletInput& in, vkPreload& p) {
  for (const vkPreloadFields& row : kPreloadFields)
    if (row.type == p.type)
      for (int32_t vkPreload::*field : row.fields)
        if (field) p.*field = in.S16();
}

// Smallest preload entry: the type byte and eight words.
constexpr int64_t kPreloadEntryMin = 33;

void ReadPreloads(AppletInput& in, vkApplet& applet, const std::string& path) {
  const uint32_t count = in.U32();
  in.NeedItems(count, kPreloadEntryMin);
  for (uint32_t i = 0; i < count; ++i) {
    vkPreload p;
    p.type = in.Byte();
    if (p.type >= kPreloadTypeCount) throw AppletFault{kErrUnknownSection};
    p.id = in.S32();
    p.nameOffset = in.U32();
    p.nameLength = in.U32();
    p.dataOffset = in.U32();
    p.dataSize = in.U32();
    p.transparency = in.S32();
    p.loadAlpha = in.S32();
    p.sourceLine = in.S32();
    if (p.dataSize != 0 && int64_t(p.dataOffset) + p.dataSize > in.size())
      throw AppletFault{kErrUnexpectedEof};
    switch (p.type) {
      case PRELOAD_BGPIC:
        if (VersionAbove(applet, 4, 6)) {
          p.fill.style = in.Byte();
          p.fill.startColor = in.S32();
          p.fill.endColor = in.S32();
          p.fill.angle = in.S16();
          p.fill.textureBrush = in.S32();
          p.fill.textureX = in.S32();
          p.fill.textureY = in.S32();
        }
        break;
      case PRELOAD_ANIM:
        if (applet.versionMajor > 2) p.fromDisk = in.Byte();
        if (applet.versionMajor < 4 || (applet.versionMajor == 4 && applet.versionMinor < 1)) break;
        ReadPreloadFields(in, p);
        break;
      case PRELOAD_BRUSH:
      case PRELOAD_BUTTON:
      case PRELOAD_SPRITE:
        ReadPreloadFields(in, p);
        break;
      case PRELOAD_DISPLAY:
        ReadDisplayRecord(in, applet, p.display);
        break;
      default:
        break;
    }
    if (p.nameLength != 0) p.name = in.BytesAt(p.nameOffset, p.nameLength);
    p.container = path;
    applet.preloads.push_back(std::move(p));
  }
}

void ReadIncludeMap(AppletInput& in, vkApplet& applet, bool ownNames, const std::string& path) {
  const uint32_t count = in.U32();
  in.NeedItems(count, ownNames ? 14 : 13);
  for (uint32_t i = 0; i < count; ++i) {
    vkIncludeRange r;
    r.firstVmLine = in.S32();
    r.lastVmLine = in.S32();
    r.firstSourceLine = in.S32();
    r.fileName = in.String();
    r.chunkName = ownNames ? in.String() : path;
    applet.includeRanges.push_back(std::move(r));
  }
}

void ReadLabels(AppletInput& in, vkState* L) {
  const uint32_t count = in.U32();
  in.NeedItems(count, 5);
  for (uint32_t i = 0; i < count; ++i) {
    const int32_t value = in.S32();
    const std::string name = in.String();
    if (L) vmDefineLabel(L, name.c_str(), value);
  }
}

void ReadBackfill(AppletInput& in, vkApplet& applet) {
  vkBackfill& b = applet.display.backfill;
  b.type = in.Byte();
  switch (b.type) {
    case kBackfillColor:
      b.startColor = in.S32();
      break;
    case kBackfillGradient:
      b.startColor = in.S32();
      b.endColor = in.S32();
      break;
    case kBackfillTexture:
      b.brushId = in.S32();
      break;
    case kBackfillPicture:
      b.brushId = in.S32();
      b.pictureX = in.S32();
      b.pictureY = in.S32();
      b.startColor = in.S32();
      b.endColor = in.S32();
      if (VersionAbove(applet, 3, 1)) b.scalePicture = in.Byte();
      break;
    default:
      break;
  }
  b.brushFile.clear();
}

// Smallest linked-file entry: an empty name and a size word.
constexpr int64_t kLinkedEntryMin = 5;
constexpr uint32_t kExternalData = 0xFFFFFFFFu;

void ReadLinkedFiles(AppletInput& in, vkApplet& applet, const std::string& path) {
  const uint32_t count = in.U32();
  in.U32();
  in.NeedItems(count, kLinkedEntryMin);
  for (uint32_t i = 0; i < count; ++i) {
    vkLinkedFile f;
    f.name = in.String();
    f.container = path;
    uint32_t size = in.U32();
    if (size == kExternalData) {
      f.size = in.U32();
      f.offset = in.S32();
      if (f.offset < 0 || int64_t(f.offset) + f.size > in.size()) throw AppletFault{kErrUnexpectedEof};
    } else {
      f.size = size;
      if (in.position() > INT32_MAX) throw AppletFault{kErrUnexpectedEof};
      f.offset = int32_t(in.position());
      in.Skip(size);
    }
    applet.linkedFiles.push_back(std::move(f));
  }
}

// Reads records until the bytecode record has been read.
void ReadRecords(AppletInput& in, vkState* L, vkApplet& applet, const std::string& path) {
  for (;;) {
    if (in.AtEnd()) throw AppletFault{kErrUnexpectedEof};
    const uint32_t tag = in.Byte();
    switch (tag) {
      case RECORD_SKIP:
        in.Skip(in.U32());
        break;
      case RECORD_BYTECODE: {
        const uint32_t size = in.U32();
        in.Need(size);
        applet.bytecode.resize(size);
        in.Read(applet.bytecode.data(), size);
        return;
      }
      case RECORD_PRELOADS:
        ReadPreloads(in, applet, path);
        break;
      case RECORD_DISPLAYSIZE: {
        vkDisplayRecord& d = CurrentDisplayRecord(applet);
        d.width = in.S16();
        d.height = in.S16();
        break;
      }
      case RECORD_TITLE: {
        const int32_t length = in.S16();
        if (length < 0) throw AppletFault{kErrUnexpectedEof};
        applet.defaultTitle = in.Bytes(length);
        break;
      }
      case RECORD_BACKCOLOR:
        CurrentDisplayRecord(applet).fill.startColor = in.S32();
        break;
      case RECORD_DISPLAYPOSITION: {
        const int32_t x = in.S32();
        const int32_t y = in.S32();
        vkDisplayRecord& d = CurrentDisplayRecord(applet);
        d.x = x;
        d.y = y;
        break;
      }
      case RECORD_DESKTOP:
        applet.desktop = 1;
        break;
      case RECORD_INCLUDEMAP:
      case RECORD_INCLUDEMAPNAMED:
        ReadIncludeMap(in, applet, tag == RECORD_INCLUDEMAPNAMED, path);
        break;
      case RECORD_LABELS:
        ReadLabels(in, L);
        break;
      case RECORD_VERSION: {
        const uint32_t major = in.Byte();
        const uint32_t minor = in.Byte();
        if (major > kNewestMajor || (major == kNewestMajor && minor > kNewestMinor)) {
          SetErrorText((std::to_string(major) + "." + std::to_string(minor)).c_str());
          throw AppletFault{kErrNewerVersion};
        }
        applet.versionMajor = major;
        applet.versionMinor = minor;
        break;
      }
      case RECORD_TEXTFIRST: case RECORD_TEXTFIRST + 1: case RECORD_TEXTFIRST + 2: case RECORD_TEXTFIRST + 3:
      case RECORD_TEXTLAST: {
        std::string text = in.String();
        if (text.size() > kTextFieldMax) text.resize(kTextFieldMax);
        applet.texts[tag - RECORD_TEXTFIRST] = std::move(text);
        break;
      }
      case RECORD_DISPLAYMODE:
        applet.display.mode = in.Byte();
        break;
      case RECORD_BACKFILL:
        ReadBackfill(in, applet);
        break;
      case RECORD_BORDERLESS: SetDisplayFlag(applet, kDisplayBorderless, in.Byte()); break;
      case RECORD_FIXED: SetDisplayFlag(applet, kDisplayFixed, in.Byte()); break;
      case RECORD_SIZEABLE: SetDisplayFlag(applet, kDisplaySizeable, in.Byte()); break;
      case RECORD_HIDETITLEBAR:
        applet.display.hideTitleBar = int32_t(in.Byte());
        break;
      case RECORD_SCREENSIZE: {
        const int32_t width = in.S16();
        const int32_t height = in.S16();
        applet.display.screenWidth = width;
        applet.display.screenHeight = height;
        break;
      }
      case RECORD_SCREENDEPTH:
        applet.display.screenDepth = int32_t(in.Byte());
        break;
      case RECORD_HIDEPOINTER: SetDisplayFlag(applet, kDisplayHidePointer, in.Byte()); break;
      case RECORD_NOMODESWITCH: SetDisplayFlag(applet, kDisplayNoModeSwitch, in.Byte()); break;
      case RECORD_LINKEDFILES:
        ReadLinkedFiles(in, applet, path);
        break;
      case RECORD_SCALEMODE: {
        const uint32_t layerScale = in.Byte();
        const int32_t width = in.S32();
        const int32_t height = in.S32();
        const uint32_t smooth = in.Byte();
        SetDisplayFlag(applet, layerScale ? kDisplayLayerScale : kDisplayAutoScale, 1);
        if (smooth) SetDisplayFlag(applet, kDisplaySmoothScale, 1);
        vkDisplayRecord& d = CurrentDisplayRecord(applet);
        d.scaleWidth = width;
        d.scaleHeight = height;
        break;
      }
      case RECORD_RESETDISPLAY:
        applet.display = vkDisplaySettings{};
        applet.settingsLocked = 1;
        break;
      case RECORD_NOHIDE: SetDisplayFlag(applet, kDisplayNoHide, in.Byte()); break;
      default:
        throw AppletFault{kErrUnknownSection};
    }
  }
}

std::string DirectoryOf(const std::string& path) {
  std::string dir = path;
  const size_t end = size_t(GetPathEnd(dir.c_str()) - dir.c_str());
  dir.resize(end);
  return dir.empty() ? std::string(".") : dir;
}

int64_t FileSize(vkFile* file) {
  SeekStream(file, 0, VKSEEK_END);
  const int64_t size = SeekStream(file, 0, VKSEEK_CURRENT);
  return size;
}

uint32_t ReadMagic(vkFile* file, int64_t offset, int64_t fileSize, char magic[4]) {
  if (fileSize - offset <= 4) return kErrNoApplet;
  SeekStream(file, offset, VKSEEK_START);
  if (ReadStream(file, magic, 4) != 4) return kErrNoApplet;
  return 0;
}

void SetRegistryScript(vkState* L) {
  if (!L) return;
  vmPushString(L, "script");
  vmPushString(L, ":none:");
  vmRawSet(L, VK_REGISTRYINDEX);
}

}  // namespace

vkPreload& AddDefaultDisplay(vkApplet& applet) {
  vkPreload p;
  p.type = PRELOAD_DISPLAY;
  p.id = 1;
  if (!applet.defaultTitle.empty()) p.display.title = applet.defaultTitle;
  applet.preloads.push_back(std::move(p));
  return applet.preloads.back();
}

uint32_t ReadApplet(vkState* L, vkProgramContext& context, vkApplet& applet, uint32_t attachedOffset) {
  // The path must name a file; from here on it is absolute.
  {
    vkFilePtr probe = OpenStream(context.scriptPath.c_str(), VKFILE_READ);
    if (!probe) {
      SetErrorText(context.scriptPath.c_str());
      return kErrNoFile;
    }
    char full[4096];
    if (vkosFullPath(context.scriptPath.c_str(), full, sizeof full) == 0) context.scriptPath = full;
  }
  // The applet's folder becomes current, so that it finds its files beside it.
  vkosChangeDir(DirectoryOf(attachedOffset ? context.executablePath : context.scriptPath).c_str());

  PrintStatus(L, GetCatalogText(kCatalogOpeningScript),
              context.scriptAlias.empty() ? context.scriptPath.c_str() : context.scriptAlias.c_str(), false);

  uint32_t code = 0;
  int64_t offset = attachedOffset;
  vkFilePtr file = OpenStream(context.scriptPath.c_str(), VKFILE_READ);
  if (!file) {
    SetErrorText(context.scriptPath.c_str());
    code = kErrCannotRead;
  }
  int64_t fileSize = file ? FileSize(file.get()) : 0;
  char magic[4] = {0, 0, 0, 0};
  if (code == 0) code = ReadMagic(file.get(), offset, fileSize, magic);
  if (code == 0 && std::memcmp(magic, kPackedAppletMagic, 4) == 0) {
    vkTempFile unpacked;
    code = UnpackPackedApplet(context.scriptPath.c_str(), offset, &unpacked);
    if (code == 0) {
      context.scriptPath = unpacked.path();
      context.temporaryFiles.push_back(std::move(unpacked));
      offset = 0;
      file = OpenStream(context.scriptPath.c_str(), VKFILE_READ);
      if (!file) {
        SetErrorText(context.scriptPath.c_str());
        code = kErrCannotRead;
      } else {
        fileSize = FileSize(file.get());
        code = ReadMagic(file.get(), 0, fileSize, magic);
      }
    }
  }
  if (code == 0 && std::memcmp(magic, kAppletMagic, 4) != 0) code = kErrNoApplet;
  if (code == kErrNoApplet) SetErrorText(FilePart(context.scriptPath.c_str()));

  if (code == 0) {
    context.isApplet = 1;
    applet.baseOffset = offset;
    AppletInput in(file.get(), offset, fileSize - offset);
    in.SeekTo(4);
    try {
      ReadRecords(in, L, applet, context.scriptPath);
    } catch (const AppletFault& fault) {
      code = fault.code;
    } catch (const std::bad_alloc&) {
      code = kErrOutOfMemory;
    }
  }
  file.reset();
  SetRegistryScript(L);
  return code;
}
