// The system library's commands. Time and dates, requesters and the
// clipboard are the platform's; stopwatches live in the program context;
// Sort and CopyTable use the list sort and the table walk that the dos
// library shares. Requesters mark the current display while they have the
// input and forget its input state afterwards.
#include "runtime/systemlib.h"

#include <strings.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "engine/objecthandles.h"
#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/argcheck.h"
#include "engine/attributes.h"
#include "engine/errormessages.h"
#include "engine/errors.h"
#include "engine/libraries.h"
#include "engine/runstate.h"
#include "engine/vmapi.h"
#include "platform/eventqueue.h"
#include "platform/vkos_clipboard.h"
#include "platform/vkos_events.h"
#include "platform/vkos_input.h"
#include "platform/vkos_requesters.h"
#include "platform/vkos_time.h"
#include "runtime/context.h"
#include "runtime/eventstate.h"
#include "runtime/sort.h"
#include "runtime/tablewalk.h"

namespace {

// Units of Wait.
constexpr int32_t kUnitSeconds = 0;
constexpr int32_t kUnitTicks = 2;
// Which part of the date GetDateNum gives.
constexpr int32_t kDateYear = 0, kDateMonth = 1, kDateDay = 2, kDateTime = 3;
// StringRequest's input types.
constexpr int32_t kInputAll = 0, kInputNumerical = 3;
// Handler slot of clipboard changes.
constexpr size_t kSlotClipboardChange = 18;
// The string requester keeps at most this many characters.
constexpr size_t kStringRequestMax = 1024;

const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int32_t CheckInt(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }
int32_t OptInt(vkState* L, int i, int32_t def) { return vkDoubleToInt32(vmOptNumber(L, i, def)); }

vkProgramContext& Context(vkState* L) { return ProgramContext(L); }

vkLocalTime Now() { return vkosLocalTime(int64_t(std::time(nullptr))); }

// ---- Waiting, dates and times ------------------------------------------------

int cmdWait(vkState* L) {
  CheckArgCount(L, 1, 2);
  const int32_t n = CheckInt(L, 1);
  const int32_t unit = OptInt(L, 2, kUnitTicks);
  if (n < 1) return 0;
  const int64_t ms = unit == kUnitSeconds ? int64_t(n) * 1000 : unit == kUnitTicks ? int64_t(n) * 20 : n;
  vkosWaitMillis(L, int32_t(ms > INT32_MAX ? INT32_MAX : ms));
  return 0;
}

int cmdOpenCatalog(vkState* L) {
  CheckArgCount(L, 1, 2);
  vmCheckString(L, 1, nullptr);
  return 0;  // no catalogs of this kind on this platform
}

int cmdCloseCatalog(vkState* L) {
  CheckArgCount(L, 0, 0);
  return 0;
}

int cmdGetCatalogString(vkState* L) {
  CheckArgCount(L, 2, 2);
  CheckInt(L, 1);
  vmPushString(L, vmCheckString(L, 2, nullptr));
  return 1;
}

int cmdGetDate(vkState* L) {
  CheckArgCount(L, 0, 1);
  if (OptInt(L, 1, 0) == 0) {
    std::string text;
    vkosFormatDateTime(VKOS_DATE_SHORT, &text);
    vmPushString(L, text.c_str());
    return 1;
  }
  const vkLocalTime t = Now();
  vmPushString(L, DateText(t.day, t.month, t.year, t.hours, t.minutes, t.seconds).c_str());
  return 1;
}

int cmdGetTime(vkState* L) {
  CheckArgCount(L, 0, 1);
  const vkLocalTime t = Now();
  char text[16];
  if (OptInt(L, 1, 0) != 0)
    std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", t.hours, t.minutes, t.seconds);
  else
    std::snprintf(text, sizeof text, "%.2d:%.2d", t.hours, t.minutes);
  vmPushString(L, text);
  return 1;
}

int cmdGetWeekday(vkState* L) {
  CheckArgCount(L, 0, 0);
  std::string text;
  vkosFormatDateTime(VKOS_WEEKDAY, &text);
  vmPushString(L, text.c_str());
  return 1;
}

int cmdGetDateNum(vkState* L) {
  CheckArgCount(L, 1, 1);
  const int32_t which = CheckInt(L, 1);
  const vkLocalTime t = Now();
  double value = 0;
  switch (which) {
    case kDateYear: value = 2000 + t.year % 100; break;
    case kDateMonth: value = t.month + 1; break;
    case kDateDay: value = t.day; break;
    case kDateTime: value = t.hours * 10000 + t.minutes * 100 + t.seconds; break;
    default: break;
  }
  vmPushNumber(L, value);
  return 1;
}

int cmdCompareDates(vkState* L) {
  CheckArgCount(L, 2, 3);
  const std::string a = vmCheckString(L, 1, nullptr);
  const std::string b = vmCheckString(L, 2, nullptr);
  const int32_t result = CompareDateTexts(a, b, OptInt(L, 3, 0) != 0);
  if (result == kErrDateFormat) return result;
  vmPushNumber(L, result);
  return 1;
}

// ---- Stopwatches -----------------------------------------------------------------

int64_t ElapsedMillis(const vkStopwatch& w) {
  if (w.paused) return vkosTimeMillis(w.offset);
  vkTimeValue now;
  vkosGetTimeValue(&now);
  vkosSubTimeValue(&now, &w.start);
  vkosAddTimeValue(&now, &w.offset);
  return vkosTimeMillis(now);
}

vkTimeValue FromMillis(int64_t ms) {
  if (ms < 0) ms = 0;
  return vkTimeValue{uint32_t(ms / 1000), uint32_t(ms % 1000 * 1000)};
}

vkStopwatch& StopwatchArg(vkState* L, int i, std::list<vkStopwatch>::iterator* where = nullptr) {
  const vkObjectId id = CheckObjectId(L, i);
  auto& list = Context(L).stopwatches;
  for (auto it = list.begin(); it != list.end(); ++it)
    if (id.handle != nullptr ? it->idHandle == id.handle : (it->idHandle == nullptr && it->idNumber == id.number)) {
      if (where) *where = it;
      return *it;
    }
  if (id.handle != nullptr) vmRaiseError(L, kErrObjectNotFound);
  SetErrorNumber(id.number);
  vmRaiseError(L, kErrNoTimer);
}

void Restart(vkStopwatch& w, int64_t fromMillis) {
  vkosGetTimeValue(&w.start);
  w.offset = FromMillis(fromMillis);
  w.paused = 0;
}

int cmdStartTimer(vkState* L) {
  CheckArgCount(L, 1, 1);
  const vkIdRequest request = OptObjectId(L, 1);
  auto& list = Context(L).stopwatches;
  if (!request.automatic) {
    for (vkStopwatch& w : list)
      if (w.idHandle == nullptr && w.idNumber == request.number) {
        Restart(w, 0);
        return 0;
      }
  }
  vkStopwatch& w = list.emplace_back();
  w.idNumber = request.automatic ? 0 : request.number;
  Restart(w, 0);
  if (!request.automatic) return 0;
  w.idHandle = NewObjectHandle();
  vmPushLightUserdata(L, w.idHandle);
  return 1;
}

int cmdGetTimer(vkState* L) {
  CheckArgCount(L, 1, 1);
  vmPushNumber(L, double(ElapsedMillis(StopwatchArg(L, 1))));
  return 1;
}

int cmdPauseTimer(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkStopwatch& w = StopwatchArg(L, 1);
  if (w.paused == 0) {
    w.offset = FromMillis(ElapsedMillis(w));
    w.paused = 1;
  }
  return 0;
}

int cmdResumeTimer(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkStopwatch& w = StopwatchArg(L, 1);
  if (w.paused != 0) {
    vkosGetTimeValue(&w.start);
    w.paused = 0;
  }
  return 0;
}

int cmdResetTimer(vkState* L) {
  CheckArgCount(L, 1, 2);
  vkStopwatch& w = StopwatchArg(L, 1);
  Restart(w, OptInt(L, 2, 0));
  return 0;
}

int cmdStopTimer(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::list<vkStopwatch>::iterator it;
  StopwatchArg(L, 1, &it);
  Context(L).stopwatches.erase(it);
  return 0;
}

int cmdWaitTimer(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkStopwatch& w = StopwatchArg(L, 1);
  const int32_t ms = CheckInt(L, 2);
  const bool reset = OptInt(L, 3, 1) != 0;
  if (w.paused != 0) return kErrWrongUsage;
  const int64_t left = ms - ElapsedMillis(w);
  if (left > 0) vkosWaitMillis(L, int32_t(left));
  if (reset) Restart(w, 0);
  return 0;
}

// ---- Requesters -------------------------------------------------------------------

// Marks the current display while a requester has the input; [resetInput]
// forgets its keys and buttons afterwards.
class vkRequesterScope {
 public:
  vkRequesterScope(vkState* L, bool resetInput) : resetInput_(resetInput) {
    vkEventState* events = EventStateOf(L);
    display_ = events != nullptr ? events->current : nullptr;
    if (display_) display_->requesterOpen = 1;
  }
  ~vkRequesterScope() {
    if (!display_) return;
    display_->requesterOpen = 0;
    if (resetInput_ && display_->input) vkosClearInput(display_->input);
  }

 private:
  vkEventDisplay* display_ = nullptr;
  bool resetInput_;
};

int cmdSystemRequest(vkState* L) {
  CheckArgCount(L, 3, 4);
  const char* title = vmCheckString(L, 1, nullptr);
  const char* text = vmCheckString(L, 2, nullptr);
  const char* buttons = vmCheckString(L, 3, nullptr);
  const int32_t icon = OptInt(L, 4, 0);
  int chosen;
  {
    vkRequesterScope scope(L, true);
    chosen = vkosSystemRequest(title, text, buttons, icon);
  }
  if (chosen < 0) return kErrOutOfMemory;
  vmPushNumber(L, chosen);
  return 1;
}

int cmdFileRequest(vkState* L) {
  CheckArgCount(L, 2, 5);
  const char* title = vmCheckString(L, 1, nullptr);
  const char* pattern = vmCheckString(L, 2, nullptr);
  const int32_t mode = OptInt(L, 3, VKOS_FILE_OPEN);
  const char* folder = vmOptString(L, 4, "", nullptr);
  const char* file = vmOptString(L, 5, "", nullptr);
  if (mode < 0 || mode > VKOS_FILE_SAVE) return kErrWrongUsage;
  vkFileRequestResult result;
  int code;
  {
    vkRequesterScope scope(L, true);
    code = vkosFileRequest(title, pattern, mode, folder, file, &result);
  }
  if (code != 0) return code;
  auto join = [&](const std::string& name) {
    std::string path = result.folder;
    if (!path.empty() && path.back() != '/' && path.back() != ':') path += '/';
    path += name;
    return path.size() > 1023 ? path.substr(0, 1023) : path;
  };
  if (mode != VKOS_FILE_OPEN_SEVERAL) {
    vmPushString(L, result.chosen && !result.names.empty() ? join(result.names[0]).c_str() : "");
    return 1;
  }
  vmNewTable(L);
  int i = 0;
  if (result.chosen)
    for (const std::string& name : result.names) {
      vmPushString(L, join(name).c_str());
      vmRawSetI(L, -2, i++);
    }
  vmPushString(L, "");
  vmRawSetI(L, -2, i);
  return 1;
}

int cmdPathRequest(vkState* L) {
  CheckArgCount(L, 1, 3);
  const char* title = vmCheckString(L, 1, nullptr);
  const int32_t mode = OptInt(L, 2, VKOS_FILE_OPEN);
  const char* folder = vmOptString(L, 3, "", nullptr);
  if (mode != VKOS_FILE_OPEN && mode != VKOS_FILE_SAVE) return kErrWrongUsage;
  std::string path;
  bool chosen = false;
  int code;
  {
    vkRequesterScope scope(L, true);
    code = vkosPathRequest(title, mode == VKOS_FILE_SAVE, folder, &path, &chosen);
  }
  if (code != 0) return code;
  vmPushString(L, chosen ? path.c_str() : "");
  return 1;
}

int cmdStringRequest(vkState* L) {
  CheckArgCount(L, 2, 6);
  const char* title = vmCheckString(L, 1, nullptr);
  const char* text = vmCheckString(L, 2, nullptr);
  const char* def = vmOptString(L, 3, "", nullptr);
  const int32_t type = OptInt(L, 4, kInputAll);
  const int32_t maxLength = OptInt(L, 5, 0);
  const bool password = OptInt(L, 6, 0) != 0;
  if (type != kInputAll && type != kInputNumerical) return kErrWrongUsage;
  std::string answer;
  int code;
  {
    vkRequesterScope scope(L, false);
    code = vkosStringRequest(title, text, def, type == kInputNumerical, maxLength, password, &answer);
  }
  if (code != 0 && code != kErrUserAbort) return code;
  if (answer.size() > kStringRequestMax) answer.resize(kStringRequestMax);
  vmPushString(L, code == 0 ? answer.c_str() : "");
  vmPushNumber(L, code == 0 ? 1 : 0);
  return 2;
}

// ---- Clipboard -----------------------------------------------------------------------

// Clipboard changes reach the displays that handle them.
void PostClipboardChange(vkState* L) {
  vkEventState* events = EventStateOf(L);
  if (events == nullptr) return;
  for (vkEventDisplay* d : events->displays)
    if (d->handlers[kSlotClipboardChange].function != kNoReference)
      PostEvent(d->display, EVENT_CLIPBOARDCHANGE, 0, 0, 0);
}

// The brush of SetClipboard's second argument as a picture.
int BrushPicture(vkState* L, vkBrushPicture* out) {
  const vkEventState* events = EventStateOf(L);
  if (events != nullptr && events->hooks.brushPicture != nullptr) return events->hooks.brushPicture(L, 2, out);
  // Without the brush library no brush exists.
  const vkObjectId id = CheckObjectId(L, 2);
  if (id.handle != nullptr) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoBrush;
}

int cmdSetClipboard(vkState* L) {
  CheckArgCount(L, 2, 2);
  const int32_t type = CheckInt(L, 1);
  if (type == VKOS_CLIPBOARD_TEXT) {
    size_t length = 0;
    const char* text = vmCheckString(L, 2, &length);
    if (int code = vkosWriteClipboardText(std::string(text, length))) return code;
  } else if (type == VKOS_CLIPBOARD_IMAGE) {
    vkBrushPicture picture;
    if (int code = BrushPicture(L, &picture)) return code;
    if (picture.argb.size() != size_t(picture.width) * size_t(picture.height)) return kErrWriteClipboard;
    const vkOSPixels pixels{picture.argb.data(), picture.width, picture.height, picture.width};
    if (int code = vkosWriteClipboardImage(pixels, picture.hasAlpha)) return code;
  } else {
    return kErrWrongUsage;
  }
  PostClipboardChange(L);
  return 0;
}

int cmdGetClipboard(vkState* L) {
  CheckArgCount(L, 0, 0);
  int32_t type = VKOS_CLIPBOARD_EMPTY;
  std::string text;
  vkOSClipboardImage image;
  const vkEventState* events = EventStateOf(L);
  const bool brushes = events != nullptr && events->hooks.brushFromImage != nullptr;
  if (int code = vkosReadClipboard(&type, &text, brushes ? &image : nullptr)) return code;
  vmPushNumber(L, type);
  if (type == VKOS_CLIPBOARD_TEXT) {
    vmPushLString(L, text.data(), text.size());
    return 2;
  }
  // A picture becomes a new brush; without the brush library the type alone.
  if (type != VKOS_CLIPBOARD_IMAGE || !brushes) return 1;
  if (int code = events->hooks.brushFromImage(L, std::move(image))) return code;
  return 2;
}

int cmdPeekClipboard(vkState* L) {
  CheckArgCount(L, 0, 0);
  int32_t type = VKOS_CLIPBOARD_EMPTY;
  if (int code = vkosPeekClipboard(&type)) return code;
  vmPushNumber(L, type);
  return 1;
}

int cmdClearClipboard(vkState* L) {
  CheckArgCount(L, 0, 0);
  if (int code = vkosClearClipboard()) return code;
  PostClipboardChange(L);
  return 0;
}

int cmdOpenURL(vkState* L) {
  CheckArgCount(L, 1, 1);
  return vkosOpenURL(vmCheckString(L, 1, nullptr));
}

// ---- Program information and error control ------------------------------------------

int cmdGetMemoryInfo(vkState* L) {
  CheckArgCount(L, 1, 1);
  const int32_t type = CheckInt(L, 1);
  if (type != 0 && type != 1) return kErrWrongUsage;
  vmPushNumber(L, vkosGetPhysicalMemory());
  return 1;
}

int cmdEnd(vkState* L) {
  CheckArgCount(L, 0, 0);
  ErrorInfo().stopFlag = 1;
  return 0;
}

int cmdGetErrorName(vkState* L) {
  CheckArgCount(L, 1, 1);
  vmPushString(L, FormatErrorMessage(CheckInt(L, 1)).c_str());
  return 1;
}

int cmdError(vkState* L) {
  CheckArgCount(L, 1, 1);
  SetErrorText(vmCheckString(L, 1, nullptr));
  return kErrScriptError;
}

int cmdExitOnError(vkState* L) {
  CheckArgCount(L, 1, 1);
  SetAttrs(L, nullptr, {{ATTR_EXITONERROR, CheckInt(L, 1) != 0 ? 1 : 0}});
  return 0;
}

int cmdGetLastError(vkState* L) {
  CheckArgCount(L, 0, 0);
  vmPushNumber(L, ErrorInfo().lastError);
  return 1;
}

int cmdDebugOutput(vkState* L) {
  CheckArgCount(L, 1, 1);
  EngineRun(L).debugOutput = CheckInt(L, 1) != 0;
  return 0;
}

int cmdDebugPrint(vkState* L) {
  CheckArgCount(L, 1, -1);
  const int n = vmGetTop(L);
  std::string line;
  for (int i = 1; i <= n; i++) {
    vmPushString(L, "tostring");
    vmGetTable(L, VK_GLOBALSINDEX);
    vmPushValue(L, i);
    if (uint32_t code = vmCall(L, 1, 1)) return int(code);
    size_t length = 0;
    const char* text = vmType(L, -1) == VK_TSTRING || vmType(L, -1) == VK_TNUMBER ? vmToString(L, -1) : "nil";
    length = vmType(L, -1) == VK_TSTRING ? vmStrLen(L, -1) : std::string(text).size();
    if (i > 1) line += ' ';
    line.append(text, length);
    vmSetTop(L, -2);
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  return 0;
}

int cmdGetVersion(vkState* L) {
  CheckArgCount(L, 0, 0);
  vmNewTable(L);
  SetFieldString(L, "application", "VellumarkPlayer");
  SetFieldString(L, "version", "4.7");
  SetFieldString(L, "version_date", "21.04.10");
  SetFieldString(L, "kernel", "4.7");
  SetFieldString(L, "kernel_date", "21.04.10");
  SetFieldInt(L, "beta", 0);
  SetFieldString(L, "platform", "Linux");
  return 1;
}

int cmdGetCommandLine(vkState* L) {
  CheckArgCount(L, 0, 0);
  const vkProgramContext& context = Context(L);
  vmNewTable(L);
  int i = 0;
  for (const vkUserArg& arg : context.userArgs) {
    vmNewTable(L);
    SetFieldString(L, "arg", arg.name.c_str());
    SetFieldString(L, "param", arg.value ? arg.value->c_str() : "");
    vmRawSetI(L, -2, i++);
  }
  vmPushNumber(L, i);
  vmPushNumber(L, 0);  // no desktop launches on this platform
  return 3;
}

int cmdGetProgramInfo(vkState* L) {
  CheckArgCount(L, 0, 0);
  const vkProgramContext& context = Context(L);
  constexpr int32_t kScript = 0, kApplet = 1, kProgram = 2;
  if (AttachedAppletOffset() != 0) {
    vmPushNumber(L, kProgram);
    vmPushString(L, context.executablePath.c_str());
    return 2;
  }
  vmPushNumber(L, context.isApplet ? kApplet : kScript);
  vmPushString(L, context.scriptPath.c_str());
  vmPushString(L, context.executablePath.c_str());
  return 3;
}

int cmdGetConstant(vkState* L) {
  CheckArgCount(L, 1, 1);
  const char* name = vmCheckString(L, 1, nullptr);
  size_t consumed = 0;
  const char* str = nullptr;
  double number = 0;
  if (int code = ParseConstantName(L, name, &consumed, &str, &number)) return code;
  if (str)
    vmPushString(L, str);
  else
    vmPushNumber(L, number);
  return 1;
}

// ---- Values and tables ----------------------------------------------------------------

int cmdGetType(vkState* L) {
  CheckArgCount(L, 1, 1);
  int32_t code;
  switch (vmType(L, 1)) {
    case VK_TNIL: code = 0; break;
    case VK_TNUMBER: code = 2; break;
    case VK_TSTRING: code = 3; break;
    case VK_TTABLE: code = 4; break;
    case VK_TFUNCTION: code = 5; break;
    case VK_TUSERDATA: code = 8; break;
    case VK_TLIGHTUSERDATA: code = 9; break;
    case VK_TTHREAD: code = 10; break;
    default: code = -1; break;
  }
  vmPushNumber(L, code);
  return 1;
}

int cmdIIf(vkState* L) {
  CheckArgCount(L, 3, 3);
  bool first;
  switch (vmType(L, 1)) {
    case VK_TNUMBER: first = vmToNumber(L, 1) != 0; break;
    case VK_TSTRING: first = vmStrLen(L, 1) != 0; break;
    case VK_TNIL: first = false; break;
    default: return kErrWrongDataType;
  }
  vmPushValue(L, first ? 2 : 3);
  return 1;
}

int cmdListItems(vkState* L) {
  CheckArgCount(L, 1, 1);
  vmCheckTable(L, 1);
  vmPushNumber(L, CountArrayItems(L, 1, false));
  return 1;
}

int cmdInsertItem(vkState* L) {
  CheckArgCount(L, 2, 3);
  vmCheckTable(L, 1);
  const int count = CountArrayItems(L, 1, false);
  int pos = OptInt(L, 3, -1);
  if (pos < 0 || pos > count) pos = count;
  for (int i = count; i > pos; i--) {
    vmRawGetI(L, 1, i - 1);
    vmRawSetI(L, 1, i);
  }
  vmPushValue(L, 2);
  vmRawSetI(L, 1, pos);
  return 0;
}

int cmdRemoveItem(vkState* L) {
  CheckArgCount(L, 1, 2);
  vmCheckTable(L, 1);
  const int count = CountArrayItems(L, 1, false);
  if (count == 0) return 0;
  int pos = OptInt(L, 2, -1);
  if (pos < 0 || pos > count - 1) pos = count - 1;
  vmRawGetI(L, 1, pos);
  for (int i = pos; i < count - 1; i++) {
    vmRawGetI(L, 1, i + 1);
    vmRawSetI(L, 1, i);
  }
  vmPushNil(L);
  vmRawSetI(L, 1, count - 1);
  return 1;
}

int cmdSort(vkState* L) {
  CheckArgCount(L, 1, 2);
  vmCheckTable(L, 1);
  const bool ordered = vmGetTop(L) >= 2;
  if (ordered && vmType(L, 2) != VK_TFUNCTION) {
    SetErrorNumber(2);
    return kErrFunctionExpected;
  }
  if (!vmCheckStack(L, 40)) return kErrStackOverflow;
  const int count = CountArrayItems(L, 1, !ordered);
  if (count < 2) return 0;
  return int(SortArrayTable(L, 1, ordered ? 2 : 0, 0, count - 1));
}

int cmdUnpack(vkState* L) {
  CheckArgCount(L, 1, 1);
  vmCheckTable(L, 1);
  const int count = CountArrayItems(L, 1, false);
  if (count > 2048 || !vmCheckStack(L, count)) return kErrStackOverflow;
  for (int i = 0; i < count; i++) vmRawGetI(L, 1, i);
  return count;
}

int cmdSetMetaTable(vkState* L) {
  CheckArgCount(L, 2, 2);
  vmCheckTable(L, 1);
  const int type = vmType(L, 2);
  if (type != VK_TNIL && type != VK_TTABLE) return kErrTableOrNilExpected;
  if (vmGetMetaField(L, 1, "__metatable")) return kErrProtectedMetatable;
  vmPushValue(L, 2);
  vmSetMetatable(L, 1);
  vmPushValue(L, 1);
  return 1;
}

int cmdGetMetaTable(vkState* L) {
  CheckArgCount(L, 1, 1);
  if (!vmGetMetatable(L, 1)) {
    vmPushNil(L);
    return 1;
  }
  vmPushString(L, "__metatable");
  vmRawGet(L, -2);
  if (vmType(L, -1) == VK_TNIL) vmSetTop(L, -2);
  return 1;
}

int cmdRawEqual(vkState* L) {
  CheckArgCount(L, 2, 2);
  vmPushNumber(L, vmRawEqual(L, 1, 2) ? 1 : 0);
  return 1;
}

int cmdRawGet(vkState* L) {
  CheckArgCount(L, 2, 2);
  vmCheckTable(L, 1);
  vmPushValue(L, 2);
  vmRawGet(L, 1);
  return 1;
}

int cmdRawSet(vkState* L) {
  CheckArgCount(L, 3, 3);
  vmCheckTable(L, 1);
  vmPushValue(L, 2);
  vmPushValue(L, 3);
  vmRawSet(L, 1);
  vmPushValue(L, 1);
  return 1;
}

int cmdGCInfo(vkState* L) {
  CheckArgCount(L, 0, 0);
  vmPushNumber(L, vmGetGCCount(L));
  vmPushNumber(L, vmGetGCThreshold(L));
  return 2;
}

// Kinds of objects the layers keep: brushes, anims, text objects, BGPics.
constexpr uint32_t kAllLayerCaches = 15;

int cmdCollectGarbage(vkState* L) {
  CheckArgCount(L, 0, 1);
  vmSetGCThreshold(L, OptInt(L, 1, 0));
  const vkEventState* events = EventStateOf(L);
  if (events != nullptr && events->hooks.flushLayerCaches != nullptr) events->hooks.flushLayerCaches(L, kAllLayerCaches);
  return 0;
}

int cmdIPairs(vkState* L) {
  CheckArgCount(L, 1, 2);
  vmCheckTable(L, 1);
  if (vmGetTop(L) < 2) {
    vmPushString(L, "ipairs");
    vmGetTable(L, VK_GLOBALSINDEX);
    vmPushValue(L, 1);
    vmPushNumber(L, -1);
    return 3;
  }
  const int next = CheckInt(L, 2) + 1;
  vmRawGetI(L, 1, next);
  if (vmType(L, -1) == VK_TNIL) return 0;
  vmPushNumber(L, next);
  vmInsert(L, -2);
  return 2;
}

int cmdPairs(vkState* L) {
  CheckArgCount(L, 1, 1);
  vmCheckTable(L, 1);
  vmPushString(L, "nextitem");
  vmGetTable(L, VK_GLOBALSINDEX);
  vmPushValue(L, 1);
  vmPushNil(L);
  return 3;
}

int cmdNextItem(vkState* L) {
  CheckArgCount(L, 1, 2);
  vmCheckTable(L, 1);
  vmSetTop(L, 2);
  if (vmNext(L, 1)) return 2;
  vmPushNil(L);
  return 1;
}

int cmdCopyTable(vkState* L) {
  CheckArgCount(L, 1, 1);
  vmCheckTable(L, 1);
  if (uint32_t code = CopyTableDeep(L, 1)) return int(code);
  return 1;
}

const vkCommandDef kSystemCommands[] = {
    {"Wait", cmdWait},
    {"OpenCatalog", cmdOpenCatalog},
    {"CloseCatalog", cmdCloseCatalog},
    {"GetCatalogString", cmdGetCatalogString},
    {"GetDate", cmdGetDate},
    {"GetTime", cmdGetTime},
    {"GetWeekday", cmdGetWeekday},
    {"GetDateNum", cmdGetDateNum},
    {"GetTimer", cmdGetTimer},
    {"PauseTimer", cmdPauseTimer},
    {"ResumeTimer", cmdResumeTimer},
    {"StartTimer", cmdStartTimer},
    {"StopTimer", cmdStopTimer},
    {"SystemRequest", cmdSystemRequest},
    {"GetMemoryInfo", cmdGetMemoryInfo},
    {"End", cmdEnd},
    {"GetErrorName", cmdGetErrorName},
    {"Sort", cmdSort},
    {"DebugStr", cmdDebugPrint},
    {"DebugVal", cmdDebugPrint},
    {"DebugPrint", cmdDebugPrint},
    {"ExitOnError", cmdExitOnError},
    {"GetLastError", cmdGetLastError},
    {"DebugOutput", cmdDebugOutput},
    {"GetType", cmdGetType},
    {"IIf", cmdIIf},
    {"InsertItem", cmdInsertItem},
    {"RemoveItem", cmdRemoveItem},
    {"ListItems", cmdListItems},
    {"StringRequest", cmdStringRequest},
    {"Unpack", cmdUnpack},
    {"SetMetaTable", cmdSetMetaTable},
    {"GetMetaTable", cmdGetMetaTable},
    {"RawEqual", cmdRawEqual},
    {"RawGet", cmdRawGet},
    {"RawSet", cmdRawSet},
    {"GCInfo", cmdGCInfo},
    {"CollectGarbage", cmdCollectGarbage},
    {"Error", cmdError},
    {"WaitTimer", cmdWaitTimer},
    {"FileRequest", cmdFileRequest},
    {"PathRequest", cmdPathRequest},
    {"IPairs", cmdIPairs},
    {"Pairs", cmdPairs},
    {"NextItem", cmdNextItem},
    {"GetVersion", cmdGetVersion},
    {"GetCommandLine", cmdGetCommandLine},
    {"GetProgramInfo", cmdGetProgramInfo},
    {"ResetTimer", cmdResetTimer},
    {"GetConstant", cmdGetConstant},
    {"SetClipboard", cmdSetClipboard},
    {"GetClipboard", cmdGetClipboard},
    {"PeekClipboard", cmdPeekClipboard},
    {"ClearClipboard", cmdClearClipboard},
    {"CompareDates", cmdCompareDates},
    {"OpenURL", cmdOpenURL},
    {"CopyTable", cmdCopyTable},
    {nullptr, nullptr},
};

const vkConstantDef kSystemConstants[] = {
    {"SECONDS", nullptr, 0},           {"MILLISECONDS", nullptr, 1},       {"TICKS", nullptr, 2},
    {"DATEYEAR", nullptr, 0},          {"DATEMONTH", nullptr, 1},          {"DATEDAY", nullptr, 2},
    {"DATETIME", nullptr, 3},          {"CHIPMEMORY", nullptr, 0},         {"FASTMEMORY", nullptr, 1},
    {"NIL", nullptr, 0},               {"STRING", nullptr, 3},             {"LONG", nullptr, 1},
    {"FLOAT", nullptr, 1},             {"INTEGER", nullptr, 1},            {"NUMBER", nullptr, 2},
    {"FUNCTION", nullptr, 5},          {"TABLE", nullptr, 4},              {"USERDATA", nullptr, 8},
    {"LIGHTUSERDATA", nullptr, 9},     {"THREAD", nullptr, 10},            {"BYTE", nullptr, 7},
    {"SHORT", nullptr, 6},             {"WORD", nullptr, 6},               {"REQ_NORMAL", nullptr, 0},
    {"REQ_MULTISELECT", nullptr, 1},   {"REQ_SAVEMODE", nullptr, 2},       {"PRGTYPE_SCRIPT", nullptr, 0},
    {"PRGTYPE_APPLET", nullptr, 1},    {"PRGTYPE_PROGRAM", nullptr, 2},    {"REQICON_NONE", nullptr, 0},
    {"REQICON_INFORMATION", nullptr, 1}, {"REQICON_ERROR", nullptr, 2},    {"REQICON_WARNING", nullptr, 3},
    {"REQICON_QUESTION", nullptr, 4},  {"CLIPBOARD_EMPTY", nullptr, 0},    {"CLIPBOARD_TEXT", nullptr, 1},
    {"CLIPBOARD_IMAGE", nullptr, 2},   {"CLIPBOARD_SOUND", nullptr, 3},    {"CLIPBOARD_UNKNOWN", nullptr, 4},
    {"HKEY_CLASSES_ROOT", nullptr, 0}, {"HKEY_CURRENT_CONFIG", nullptr, 1}, {"HKEY_LOCAL_MACHINE", nullptr, 2},
    {"HKEY_USERS", nullptr, 3},        {"HKEY_CURRENT_USER", nullptr, 4},  {nullptr, nullptr, 0},
};

}  // namespace

std::string DateText(int32_t day, int32_t month, int32_t year, int32_t hours, int32_t minutes, int32_t seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2d-%s-20%.2d %.2d:%.2d:%.2d", day, kMonthNames[month < 0 || month > 11 ? 0 : month],
                ((year % 100) + 100) % 100, hours, minutes, seconds);
  return text;
}

int32_t CompareDateTexts(const std::string& a, const std::string& b, bool dateOnly) {
  const size_t length = dateOnly ? 11 : 20;
  if (a.size() != length || b.size() != length) return kErrDateFormat;
  // Each text as its fields, most significant first; the month by its name.
  auto fields = [&](const std::string& t, int32_t out[6]) {
    int32_t month = -1;
    for (int m = 0; m < 12; m++)
      if (strncasecmp(t.c_str() + 3, kMonthNames[m], 3) == 0) month = m;
    if (month < 0) return false;
    auto number = [&](size_t at, size_t n, int32_t* v) {
      *v = 0;
      for (size_t i = at; i < at + n; i++) {
        if (t[i] < '0' || t[i] > '9') return false;
        *v = *v * 10 + (t[i] - '0');
      }
      return true;
    };
    if (!number(7, 4, &out[0]) || !number(0, 2, &out[2])) return false;
    out[1] = month + 1;
    if (t[2] != '-' || t[6] != '-') return false;
    if (out[2] < 1 || out[2] > vkosDaysInMonth(out[0], month)) return false;
    if (dateOnly) return true;
    if (t[11] != ' ' || t[14] != ':' || t[17] != ':') return false;
    if (!number(12, 2, &out[3]) || !number(15, 2, &out[4]) || !number(18, 2, &out[5])) return false;
    return out[3] <= 23 && out[4] <= 59 && out[5] <= 59;
  };
  int32_t x[6] = {}, y[6] = {};
  if (!fields(a, x) || !fields(b, y)) return kErrDateFormat;
  for (int i = 0; i < (dateOnly ? 3 : 6); i++)
    if (x[i] != y[i]) return x[i] > y[i] ? 1 : 2;
  return 0;
}

int OpenSystemLibrary(vkState* L) {
  vmRegisterFunctions(L, nullptr, kSystemCommands, 0);
  vmRegisterConstants(L, kSystemConstants);
  EngineRun(L).lastErrorReader = cmdGetLastError;
  return RegisterLibrary(L, kSystemCommands, "system");
}

void FreeAllStopwatches(vkState* L) {
  ProgramContext(L).stopwatches.clear();
}
