// Manifest parsing and applet building. Preload type records, display
// records and display settings are described by field tables (key, wire
// format, default, the applet version that carries the field); one parser
// checks values against them and one encoder writes them big-endian.
#include "tools/vkpack/vkpack.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>

#include "tools/vkasm/vkasm.h"

namespace vkpack {

Error::Error(const std::string& file, int line, const std::string& msg)
    : std::runtime_error(line > 0 ? file + ":" + std::to_string(line) + ": " + msg : file + ": " + msg),
      line(line),
      message(msg) {}

namespace {

// Which applet versions carry a field.
enum class Since : uint8_t { Always, Major3, V41, Above46, Above31 };

bool Carries(Since s, unsigned major, unsigned minor) {
  unsigned v = major * 100 + minor;
  switch (s) {
    case Since::Always: return true;
    case Since::Major3: return major > 2;
    case Since::V41: return v >= 401;
    case Since::Above46: return v > 406;
    case Since::Above31: return v > 301;
  }
  return false;
}

// Wire formats: 'b' byte, 'h' s16, 'w' u32 (written as given, signed or not).
struct Field {
  const char* key;
  char fmt;
  int64_t def;
  Since since = Since::Always;
};

constexpr int64_t kCenter = -100000;

const Field kCommonFields[] = {{"transparency", 'w', -1}, {"loadalpha", 'w', 0}, {"line", 'w', 0}};
const Field kBGPicFields[] = {
    {"fillstyle", 'b', 0, Since::Above46}, {"startcolor", 'w', 0, Since::Above46},
    {"endcolor", 'w', 0, Since::Above46},  {"angle", 'h', 0, Since::Above46},
    {"texture", 'w', 0, Since::Above46},   {"texturex", 'w', 0, Since::Above46},
    {"texturey", 'w', 0, Since::Above46}};
const Field kBrushFields[] = {
    {"width", 'h', 0}, {"height", 'h', 0}, {"x", 'h', 0}, {"y", 'h', 0}, {"alpha", 'h', -1}};
const Field kAnimFields[] = {
    {"fromdisk", 'b', 0, Since::Major3}, {"width", 'h', 0, Since::V41}, {"height", 'h', 0, Since::V41},
    {"frames", 'h', 0, Since::V41},      {"fpr", 'h', 0, Since::V41},   {"x", 'h', 0, Since::V41},
    {"y", 'h', 0, Since::V41}};
const Field kButtonFields[] = {{"x1", 'h', 0}, {"y1", 'h', 0}, {"x2", 'h', 0}, {"y2", 'h', 0}};
const Field kSpriteFields[] = {{"width", 'h', 0}, {"height", 'h', 0}, {"frames", 'h', 0},
                               {"fpr", 'h', 0},   {"x", 'h', 0},      {"y", 'h', 0}};
// Font options, folded into transparency (size) and loadalpha (engine, no cache).
const Field kFontFields[] = {{"size", 'w', 0}, {"engine", 'h', 0}, {"nocache", 'b', 0}};
// The display record: head fields, the region lists and the title, tail fields.
const Field kDisplayHead[] = {
    {"bgpic", 'w', 0},  {"x", 'w', kCenter}, {"y", 'w', kCenter}, {"width", 'w', 640},
    {"height", 'w', 480}, {"color", 'w', 0}, {"flags", 'w', 0x400}, {"mask", 'w', -1},
    {"scalewidth", 'w', 0}, {"scaleheight", 'w', 0}};
const Field kDisplayTail[] = {
    {"fillstyle", 'b', 1, Since::Above46}, {"endcolor", 'w', 0, Since::Above46},
    {"angle", 'h', 0, Since::Above46},     {"texture", 'w', 0, Since::Above46},
    {"texturex", 'w', 0, Since::Above46},  {"texturey", 'w', 0, Since::Above46}};

struct TypeDef {
  const char* name;
  PreloadType type;
  bool named;  // takes a file, key or font name
  std::span<const Field> fields;
};

const TypeDef kTypes[] = {
    {"bgpic", PreloadType::BGPic, true, kBGPicFields},
    {"brush", PreloadType::Brush, true, kBrushFields},
    {"anim", PreloadType::Anim, true, kAnimFields},
    {"music", PreloadType::Music, true, {}},
    {"sample", PreloadType::Sample, true, {}},
    {"button", PreloadType::Button, false, kButtonFields},
    {"keydown", PreloadType::KeyDown, true, {}},
    {"sprite", PreloadType::Sprite, true, kSpriteFields},
    {"file", PreloadType::File, true, {}},
    {"font", PreloadType::Font, true, kFontFields},
    {"display", PreloadType::Display, false, {}},
};

const TypeDef& TypeOf(PreloadType t) { return kTypes[static_cast<int>(t)]; }

struct FlagName {
  const char* name;
  uint32_t bit;
};
const FlagName kDisplayFlags[] = {
    {"borderless", 1},      {"sizeable", 2},       {"fixed", 4},          {"nomodeswitch", 8},
    {"hidepointer", 16},    {"nohide", 32},        {"autoscale", 64},     {"smoothscale", 128},
    {"layerscale", 0x100},  {"bgpic", 0x200},      {"active", 0x400},     {"hidden", 0x800},
    {"layers", 0x1000},     {"usequartz", 0x2000}, {"noclose", 0x4000},   {"keepproportions", 0x8000},
    {"fitscale", 0x10000}};

const FlagName kModes[] = {{"window", 1}, {"fullscreen", 2}, {"ownscreen", 5}, {"fakefullscreen", 6}};

// Display settings and text fields: keyword, tag, operand formats ('b', 'h',
// 'w' as above; 'f' optional byte, default 1; 'm' display mode; 'z' string of
// at most 255 characters with its NUL; 't' s16 length and the bytes).
struct SettingDef {
  const char* key;
  uint8_t tag;
  const char* fmt;
};
const SettingDef kSettings[] = {
    {"size", 3, "hh"},        {"title", 4, "t"},         {"color", 5, "w"},
    {"position", 6, "ww"},    {"desktop", 7, ""},        {"text1", 11, "z"},
    {"text2", 12, "z"},       {"text3", 13, "z"},        {"text4", 14, "z"},
    {"text5", 15, "z"},       {"mode", 16, "m"},         {"borderless", 18, "f"},
    {"fixed", 19, "f"},       {"sizeable", 20, "f"},     {"hidetitlebar", 21, "f"},
    {"screen", 22, "hh"},     {"depth", 23, "b"},        {"hidepointer", 24, "f"},
    {"nomodeswitch", 25, "f"}, {"scale", 28, "bwwb"},    {"reset", 29, ""},
    {"nohide", 30, "f"}};

constexpr uint8_t kTagBlob = 0, kTagBytecode = 1, kTagPreloads = 2, kTagBackfill = 17,
                  kTagVersion = 10, kTagLinkedFiles = 26, kTagLineMap = 27;

// Backfill kinds with the number of u32 operands each takes.
struct BackfillDef {
  const char* name;
  uint8_t kind;
  int words;
};
const BackfillDef kBackfills[] = {{"color", 1, 1}, {"gradient", 2, 2}, {"texture", 3, 1}, {"picture", 4, 5}};

std::pair<int64_t, int64_t> Range(char fmt) {
  switch (fmt) {
    case 'b': case 'f': case 'm': return {0, 255};
    case 'h': return {-32768, 32767};
    default: return {INT32_MIN, UINT32_MAX};
  }
}

// ---- manifest parsing -----------------------------------------------------

struct Token {
  std::string text;
  bool quoted = false;  // some part was between double quotes
};

class ManifestParser {
 public:
  ManifestParser(std::string_view text, const std::string& file, const std::string& baseDir)
      : text_(text), file_(file), base_(baseDir) {}

  Manifest Run() {
    size_t pos = 0;
    while (pos <= text_.size()) {
      size_t end = text_.find('\n', pos);
      if (end == std::string_view::npos) end = text_.size();
      ++line_;
      std::vector<Token> toks = Tokenize(text_.substr(pos, end - pos));
      if (!toks.empty()) Statement(toks);
      pos = end + 1;
    }
    if (!haveBytecode_) throw Error(file_, 0, "no bytecode given");
    return std::move(m_);
  }

 private:
  [[noreturn]] void Fail(const std::string& msg) const { throw Error(file_, line_, msg); }

  std::vector<Token> Tokenize(std::string_view s) const {
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
      if (s[i] == ' ' || s[i] == '\t' || s[i] == '\r') { ++i; continue; }
      if (s[i] == ';' || s[i] == '#') break;
      Token t;
      while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != '\r') {
        if (s[i] != '"') { t.text += s[i++]; continue; }
        t.quoted = true;
        ++i;
        bool closed = false;
        while (i < s.size()) {
          char c = s[i++];
          if (c == '"') { closed = true; break; }
          if (c == '\\' && i < s.size()) {
            char e = s[i++];
            t.text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
          } else {
            t.text += c;
          }
        }
        if (!closed) Fail("unterminated string");
      }
      out.push_back(std::move(t));
    }
    return out;
  }

  int64_t Number(const std::string& s, char fmt, const std::string& what) const {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 0);
    if (s.empty() || *end != '\0' || errno != 0) Fail(what + ": number expected, got '" + s + "'");
    auto [lo, hi] = Range(fmt);
    if (v < lo || v > hi)
      Fail(what + ": " + s + " is out of range " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
  }

  // A number, or names from [names] joined with '|' (numbers may be mixed in).
  int64_t Named(const std::string& s, std::span<const FlagName> names, char fmt, const std::string& what) const {
    int64_t v = 0;
    size_t pos = 0;
    while (pos <= s.size()) {
      size_t bar = s.find('|', pos);
      if (bar == std::string::npos) bar = s.size();
      std::string part = s.substr(pos, bar - pos);
      auto it = std::find_if(names.begin(), names.end(), [&](const FlagName& n) { return part == n.name; });
      v |= it != names.end() ? it->bit : Number(part, fmt, what);
      pos = bar + 1;
    }
    auto [lo, hi] = Range(fmt);
    if (v < lo || v > hi) Fail(what + ": value out of range");
    return v;
  }

  std::string Path(const std::string& name) const {
    if (name.empty() || name[0] == '/' || base_.empty()) return name;
    return base_ + "/" + name;
  }

  Bytes Load(const std::string& name) {
    std::string path = Path(name);
    m_.inputs.push_back(path);
    try {
      return ReadFile(path);
    } catch (const Error& e) {
      Fail(e.what());
    }
  }

  void Want(const std::vector<Token>& t, size_t lo, size_t hi) const {
    size_t n = t.size() - 1;
    if (n < lo || n > hi)
      Fail("'" + t[0].text + "' takes " + (lo == hi ? std::to_string(lo) : std::to_string(lo) + " to " + std::to_string(hi)) +
           " operand" + (hi == 1 ? "" : "s") + ", got " + std::to_string(n));
  }

  void Statement(const std::vector<Token>& t) {
    const std::string& key = t[0].text;
    if (key == "version") {
      Want(t, 2, 2);
      m_.major = static_cast<uint8_t>(Number(t[1].text, 'b', "major version"));
      m_.minor = static_cast<uint8_t>(Number(t[2].text, 'b', "minor version"));
    } else if (key == "bytecode") {
      Want(t, 1, 1);
      if (haveBytecode_) Fail("bytecode given twice");
      haveBytecode_ = true;
      Bytes bytes = Load(t[1].text);
      const std::string& name = t[1].text;
      if (name.size() > 6 && name.compare(name.size() - 6, 6, ".vkasm") == 0) {
        try {
          m_.bytecode = vkasm::Assemble(std::string(bytes.begin(), bytes.end()), Path(name));
        } catch (const vkasm::Error& e) {
          Fail(std::string("in listing: ") + e.what());
        }
      } else {
        if (bytes.size() < 4 || std::memcmp(bytes.data(), "\x1bVKB", 4) != 0)
          Fail(name + " is no bytecode file (and not a .vkasm listing)");
        m_.bytecode = std::move(bytes);
      }
    } else if (key == "preload") {
      PreloadStatement(t);
    } else if (key == "link") {
      Want(t, 1, 2);
      LinkedFile f;
      f.name = t.size() > 2 ? t[2].text : t[1].text;
      if (f.name.empty()) Fail("linked file needs a name");
      f.data = Load(t[1].text);
      m_.links.push_back(std::move(f));
    } else if (key == "lines") {
      Want(t, 5, 5);
      m_.lineRanges.push_back({Number(t[1].text, 'w', "first VM line"), Number(t[2].text, 'w', "last VM line"),
                               Number(t[3].text, 'w', "source line"), t[4].text, t[5].text});
      for (const std::string& name : {t[4].text, t[5].text})
        if (name.find('\0') != std::string::npos) Fail("lines: name holds a NUL");
    } else if (key == "backfill") {
      BackfillStatement(t);
    } else {
      SettingStatement(t);
    }
  }

  void SettingStatement(const std::vector<Token>& t) {
    const std::string& key = t[0].text;
    auto def = std::find_if(std::begin(kSettings), std::end(kSettings),
                            [&](const SettingDef& d) { return key == d.key; });
    if (def == std::end(kSettings)) Fail("unknown statement '" + key + "'");
    std::string fmt = def->fmt;
    size_t optional = fmt == "f" ? 1 : 0;
    Want(t, fmt.size() - optional, fmt.size());
    Setting s;
    s.tag = def->tag;
    s.line = line_;
    for (size_t i = 0; i < fmt.size(); ++i) {
      char f = fmt[i];
      if (f == 'z' || f == 't') {
        s.text = t[i + 1].text;
        size_t max = f == 'z' ? 255 : 32767;
        if (s.text.size() > max) Fail(key + ": text longer than " + std::to_string(max) + " characters");
        if (f == 'z' && s.text.find('\0') != std::string::npos) Fail(key + ": text holds a NUL");
      } else if (f == 'm') {
        s.values.push_back(Named(t[i + 1].text, kModes, 'm', key));
      } else if (f == 'f' && i + 1 >= t.size()) {
        s.values.push_back(1);
      } else {
        s.values.push_back(Number(t[i + 1].text, f, key));
      }
    }
    m_.settings.push_back(std::move(s));
  }

  void BackfillStatement(const std::vector<Token>& t) {
    if (t.size() < 2) Fail("backfill needs a kind: color, gradient, texture or picture");
    auto def = std::find_if(std::begin(kBackfills), std::end(kBackfills),
                            [&](const BackfillDef& d) { return t[1].text == d.name; });
    if (def == std::end(kBackfills)) Fail("unknown backfill kind '" + t[1].text + "'");
    int extra = def->kind == 4 ? 1 : 0;  // the picture's scale flag
    Want(t, 1 + def->words, 1 + def->words + extra);
    Setting s;
    s.tag = kTagBackfill;
    s.line = line_;
    s.values.push_back(def->kind);
    for (int i = 0; i < def->words; ++i) s.values.push_back(Number(t[2 + i].text, 'w', "backfill"));
    if (extra) s.values.push_back(t.size() > 2u + def->words ? Number(t.back().text, 'b', "backfill scale") : 0);
    m_.settings.push_back(std::move(s));
  }

  void PreloadStatement(const std::vector<Token>& t) {
    if (t.size() < 3) Fail("preload needs a type and an id");
    auto type = std::find_if(std::begin(kTypes), std::end(kTypes),
                             [&](const TypeDef& d) { return t[1].text == d.name; });
    if (type == std::end(kTypes)) Fail("unknown preload type '" + t[1].text + "'");
    Preload p;
    p.type = type->type;
    p.line = line_;
    p.id = Number(t[2].text, 'w', "preload id");
    size_t i = 3;
    if (type->named) {
      if (t.size() < 4 || t[3].text.empty()) Fail(std::string("preload ") + type->name + " needs a name");
      p.name = t[3].text;
      ++i;
    }
    for (; i < t.size(); ++i) {
      const std::string& opt = t[i].text;
      size_t eq = opt.find('=');
      std::string k = opt.substr(0, eq), v = eq == std::string::npos ? "" : opt.substr(eq + 1);
      if (eq == std::string::npos) {
        if (k == "link" && type->named && p.type != PreloadType::KeyDown) {
          p.linked = true;
        } else if (k == "nocache" && p.type == PreloadType::Font) {
          p.values["nocache"] = 1;
        } else {
          Fail("unknown preload option '" + k + "'");
        }
      } else if (p.type == PreloadType::Display) {
        DisplayOption(p, k, v);
      } else {
        const Field* f = FindField(k, kCommonFields);
        if (!f) f = FindField(k, type->fields);
        if (!f) Fail(std::string("preload ") + type->name + " has no option '" + k + "'");
        p.values[k] = Number(v, f->fmt, k);
      }
    }
    if (p.linked) {
      p.data = Load(p.name);
      if (p.data.empty()) Fail("linked preload file " + p.name + " is empty");
    }
    if (p.type == PreloadType::Font) {
      // The font size travels in the transparency field, the engine and the
      // no-cache bit in loadalpha.
      if (p.values.count("transparency") || p.values.count("loadalpha"))
        Fail("preload font takes size, engine and nocache instead of transparency and loadalpha");
      p.values["transparency"] = p.values["size"];
      p.values["loadalpha"] = (p.values["engine"] & 0xFFFF) | (p.values["nocache"] ? 0x10000 : 0);
    }
    m_.preloads.push_back(std::move(p));
  }

  void DisplayOption(Preload& p, const std::string& k, const std::string& v) {
    if (k == "title") {
      if (v.size() > 32767) Fail("title too long");
      p.title = v;
      p.values["title"] = 1;
    } else if (k == "dragregion" || k == "sizeregion") {
      std::vector<int64_t> n;
      size_t pos = 0;
      while (pos <= v.size()) {
        size_t comma = v.find(',', pos);
        if (comma == std::string::npos) comma = v.size();
        n.push_back(Number(v.substr(pos, comma - pos), 'w', k));
        pos = comma + 1;
      }
      if (n.size() != 5) Fail(k + " takes type,x,y,width,height");
      std::vector<Region>& list = k == "dragregion" ? p.dragRegions : p.sizeRegions;
      if (list.size() == 64) Fail("more than 64 regions in " + k);
      list.push_back({n[0], n[1], n[2], n[3], n[4]});
    } else if (k == "flags" || k == "mask") {
      p.values[k] = Named(v, kDisplayFlags, 'w', k);
    } else {
      const Field* f = FindField(k, kDisplayHead);
      if (!f) f = FindField(k, kDisplayTail);
      if (!f) Fail("preload display has no option '" + k + "'");
      p.values[k] = Number(v, f->fmt, k);
    }
  }

  static const Field* FindField(const std::string& k, std::span<const Field> fields) {
    for (const Field& f : fields)
      if (k == f.key) return &f;
    return nullptr;
  }

  std::string_view text_;
  std::string file_, base_;
  int line_ = 0;
  bool haveBytecode_ = false;
  Manifest m_;
};

// ---- applet building -------------------------------------------------------

class Out {
 public:
  void Byte(int64_t v) { b.push_back(static_cast<uint8_t>(v)); }
  void Half(int64_t v) {
    Byte(v >> 8);
    Byte(v);
  }
  void Word(int64_t v) {
    for (int s = 24; s >= 0; s -= 8) Byte(static_cast<uint32_t>(v) >> s);
  }
  void Put(char fmt, int64_t v) {
    if (fmt == 'h') Half(v);
    else if (fmt == 'w') Word(v);
    else Byte(v);
  }
  void Append(const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
  void Append(const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
  Bytes b;
};

int64_t Value(const Preload& p, const Field& f) {
  auto it = p.values.find(f.key);
  return it != p.values.end() ? it->second : f.def;
}

void PutFields(Out& o, const Preload& p, std::span<const Field> fields, const Manifest& m) {
  for (const Field& f : fields)
    if (Carries(f.since, m.major, m.minor)) o.Put(f.fmt, Value(p, f));
}

void PutDisplayRecord(Out& o, const Preload& p, const Manifest& m) {
  for (const Field& f : kDisplayHead) {
    int64_t v = Value(p, f);
    if (std::string_view(f.key) == "mask" && !p.values.count("mask")) v = Value(p, kDisplayHead[6]);
    o.Word(v);
  }
  for (const std::vector<Region>* list : {&p.dragRegions, &p.sizeRegions}) {
    o.Word(static_cast<int64_t>(list->size()));
    for (const Region& r : *list)
      for (int64_t v : {r.type, r.x, r.y, r.width, r.height}) o.Word(v);
  }
  std::string title = p.values.count("title") ? p.title : "Vellumark";
  o.Half(static_cast<int64_t>(title.size()));
  o.Append(title);
  PutFields(o, p, kDisplayTail, m);
}

void PutSetting(Out& o, const Setting& s, const Manifest& m) {
  o.Byte(s.tag);
  if (s.tag == kTagBackfill) {
    o.Byte(s.values[0]);
    size_t words = s.values.size() - 1 - (s.values[0] == 4 ? 1 : 0);
    for (size_t i = 1; i <= words; ++i) o.Word(s.values[i]);
    if (s.values[0] == 4 && Carries(Since::Above31, m.major, m.minor)) o.Byte(s.values.back());
    return;
  }
  const SettingDef& def = *std::find_if(std::begin(kSettings), std::end(kSettings),
                                        [&](const SettingDef& d) { return d.tag == s.tag; });
  size_t vi = 0;
  for (const char* f = def.fmt; *f; ++f) {
    if (*f == 'z') {
      o.Append(s.text);
      o.Byte(0);
    } else if (*f == 't') {
      o.Half(static_cast<int64_t>(s.text.size()));
      o.Append(s.text);
    } else {
      o.Put(*f == 'h' || *f == 'w' ? *f : 'b', s.values[vi++]);
    }
  }
}

}  // namespace

Manifest ParseManifest(std::string_view text, const std::string& fileName, const std::string& baseDir) {
  return ManifestParser(text, fileName, baseDir).Run();
}

Bytes BuildApplet(const Manifest& m) {
  Out o;
  o.Append(std::string("VKA", 4));
  o.Byte(kTagVersion);
  o.Byte(m.major);
  o.Byte(m.minor);

  // Preload names and linked preload data go first into a record that the
  // reader skips; the preload entries point into it by absolute offset.
  std::vector<std::pair<uint64_t, uint64_t>> nameAt, dataAt;
  if (!m.preloads.empty()) {
    Out blob;
    uint64_t base = o.b.size() + 5;
    for (const Preload& p : m.preloads) {
      nameAt.push_back({base + blob.b.size(), p.name.size()});
      if (!p.name.empty()) {
        blob.Append(p.name);
        blob.Byte(0);
      }
      dataAt.push_back({p.linked ? base + blob.b.size() : 0, p.data.size()});
      blob.Append(p.data);
    }
    if (base + blob.b.size() > UINT32_MAX) throw Error("applet", 0, "preload data beyond 4 GB");
    o.Byte(kTagBlob);
    o.Word(static_cast<int64_t>(blob.b.size()));
    o.Append(blob.b);

    o.Byte(kTagPreloads);
    o.Word(static_cast<int64_t>(m.preloads.size()));
    for (size_t i = 0; i < m.preloads.size(); ++i) {
      const Preload& p = m.preloads[i];
      o.Byte(static_cast<int64_t>(p.type));
      o.Word(p.id);
      o.Word(static_cast<int64_t>(p.name.empty() ? 0 : nameAt[i].first));
      o.Word(static_cast<int64_t>(nameAt[i].second));
      o.Word(static_cast<int64_t>(dataAt[i].first));
      o.Word(static_cast<int64_t>(dataAt[i].second));
      PutFields(o, p, kCommonFields, m);
      if (p.type == PreloadType::Display)
        PutDisplayRecord(o, p, m);
      else if (p.type != PreloadType::Font)
        PutFields(o, p, TypeOf(p.type).fields, m);
    }
  }

  for (const Setting& s : m.settings) PutSetting(o, s, m);

  if (!m.links.empty()) {
    o.Byte(kTagLinkedFiles);
    o.Word(static_cast<int64_t>(m.links.size()));
    o.Word(0);
    for (const LinkedFile& f : m.links) {
      if (f.data.size() >= UINT32_MAX) throw Error(f.name, 0, "linked file too large");
      o.Append(f.name);
      o.Byte(0);
      o.Word(static_cast<int64_t>(f.data.size()));
      o.Append(f.data);
    }
  }

  if (!m.lineRanges.empty()) {
    o.Byte(kTagLineMap);
    o.Word(static_cast<int64_t>(m.lineRanges.size()));
    for (const LineRange& r : m.lineRanges) {
      o.Word(r.firstVmLine);
      o.Word(r.lastVmLine);
      o.Word(r.sourceLine);
      o.Append(r.file);
      o.Byte(0);
      o.Append(r.chunk);
      o.Byte(0);
    }
  }
  if (m.bytecode.size() > UINT32_MAX) throw Error("applet", 0, "bytecode too large");
  o.Byte(kTagBytecode);
  o.Word(static_cast<int64_t>(m.bytecode.size()));
  o.Append(m.bytecode);
  if (o.b.size() > UINT32_MAX) throw Error("applet", 0, "applet larger than 4 GB");
  return std::move(o.b);
}

}  // namespace vkpack
