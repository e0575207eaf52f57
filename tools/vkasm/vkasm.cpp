// The bytecode assembler: a line-oriented parser that fills Function records
// (labels and nested-function names are resolved when a function ends) and
// an encoder that writes the header and the records field by field. One
// opcode table drives operand parsing, encoding and the default stack size.
#include "tools/vkasm/vkasm.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

namespace vkasm {

Error::Error(const std::string& file, int line, const std::string& msg)
    : std::runtime_error(file + ":" + std::to_string(line) + ": " + msg), line(line), message(msg) {}

namespace {

// What an operand means and which field of the word it fills.
enum class Kind : uint8_t {
  Reg,     // register: rN or a bare field value
  Int,     // plain number for the field
  RK,      // register, or a constant given by value (#num, "str", nil) or index (kN)
  Const,   // Bx constant given by value or index
  Func,    // Bx nested function, by name or index
  Jump,    // 24-bit jump to a label or a relative offset
  SJump,   // sBx jump to a label or a relative offset
};
enum class Field : uint8_t { A, B, C, Bx };

struct Operand {
  Field field;
  Kind kind;
};

struct OpInfo {
  const char* name;
  uint8_t count;      // operands in the listing
  uint8_t required;   // how many of them must be given (the rest default to 0)
  Operand ops[3];
};

constexpr Operand rA{Field::A, Kind::Reg}, iA{Field::A, Kind::Int}, rB{Field::B, Kind::Reg},
    iB{Field::B, Kind::Int}, kB{Field::B, Kind::RK}, iC{Field::C, Kind::Int}, rC{Field::C, Kind::Reg},
    kC{Field::C, Kind::RK}, kBx{Field::Bx, Kind::Const}, fBx{Field::Bx, Kind::Func},
    iBx{Field::Bx, Kind::Int}, jBx{Field::Bx, Kind::SJump}, jmp{Field::Bx, Kind::Jump};

#define ARITH(n) {n, 3, 3, {rA, kB, kC}}
const OpInfo kOps[kOpcodeCount] = {
    {"MOVE", 2, 2, {rA, rB}},        {"LOADK", 2, 2, {rA, kBx}},
    {"LOADBOOL", 3, 3, {rA, iB, iC}}, {"LOADNIL", 2, 2, {rA, rB}},
    {"GETUPVAL", 2, 2, {rA, iB}},    {"GETGLOBAL", 2, 2, {rA, kBx}},
    {"GETTABLE", 3, 3, {rA, rB, kC}}, {"SETGLOBAL", 2, 2, {rA, kBx}},
    {"SETUPVAL", 2, 2, {rA, iB}},    {"SETTABLE", 3, 3, {rA, kB, kC}},
    {"NEWTABLE", 3, 1, {rA, iB, iC}}, ARITH("ADD"), ARITH("SUB"), ARITH("MUL"), ARITH("DIV"),
    ARITH("INTDIV"), ARITH("MOD"), ARITH("SHL"), ARITH("SHR"), ARITH("BOR"), ARITH("BAND"),
    ARITH("BXOR"), ARITH("POW"),
    {"UNM", 2, 2, {rA, rB}},         {"NOT", 2, 2, {rA, rB}},
    {"BNOT", 2, 2, {rA, rB}},        {"CONCAT", 3, 3, {rA, rB, rC}},
    {"JMP", 1, 1, {jmp}},            {"EQ", 3, 3, {iA, kB, kC}},
    {"LT", 3, 3, {iA, kB, kC}},      {"LE", 3, 3, {iA, kB, kC}},
    {"TEST", 3, 3, {rA, rB, iC}},    {"CALL", 3, 3, {rA, iB, iC}},
    {"TAILCALL", 3, 3, {rA, iB, iC}}, {"RETURN", 3, 2, {rA, iB, iC}},
    {"FORLOOP", 2, 2, {rA, jBx}},    {"TFORLOOP", 2, 2, {rA, iC}},
    {"TFORPREP", 2, 2, {rA, jBx}},   {"SETLIST", 2, 2, {rA, iBx}},
    {"SETLISTO", 2, 2, {rA, iBx}},   {"CLOSE", 1, 1, {rA}},
    {"CLOSURE", 2, 2, {rA, fBx}},    {"SELF", 3, 3, {rA, rB, kC}},
};
#undef ARITH

constexpr uint32_t kFieldMax[] = {255, 511, 511, 262143};
constexpr const char* kFieldName[] = {"A", "B", "C", "Bx"};

bool IsBxFormat(unsigned op) {
  const OpInfo& info = kOps[op];
  for (int i = 0; i < info.count; ++i)
    if (info.ops[i].field == Field::Bx) return true;
  return false;
}

// ---- tokens ----------------------------------------------------------------

struct Token {
  bool quoted = false;
  std::string text;  // unescaped for quoted tokens
};

// An instruction whose operand still names a label or nested function.
struct Fixup {
  size_t pc;
  int line;
  unsigned op;
  Operand operand;
  std::string name;
};

struct LocalFixup {
  size_t index;
  int line;
  std::string start, end;  // label names ("" when given as numbers)
};

struct FunctionState {
  Function fn;
  int startLine = 0;
  bool maxStackGiven = false;
  bool linesUsed = false;
  int32_t currentLine = 0;
  bool upvalueCountGiven = false;
  std::map<std::string, size_t> labels;
  std::vector<Fixup> fixups;
  std::vector<LocalFixup> localFixups;
};

class Parser {
 public:
  Parser(std::string_view text, const std::string& file) : text_(text), file_(file) {}

  Function Run() {
    stack_.emplace_back();
    stack_.back().fn.name = "main";
    size_t pos = 0;
    while (pos <= text_.size()) {
      size_t end = text_.find('\n', pos);
      if (end == std::string_view::npos) end = text_.size();
      ++line_;
      ParseLine(text_.substr(pos, end - pos));
      pos = end + 1;
    }
    if (stack_.size() > 1)
      throw Error(file_, stack_.back().startLine,
                  "function '" + stack_.back().fn.name + "' has no .end");
    Finish(stack_.back());
    return std::move(stack_.back().fn);
  }

 private:
  [[noreturn]] void Fail(const std::string& msg) const { throw Error(file_, line_, msg); }

  std::vector<Token> Tokenize(std::string_view s) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
      char c = s[i];
      if (c == ' ' || c == '\t' || c == '\r' || c == ',') { ++i; continue; }
      if (c == ';') break;
      Token t;
      if (c == '"') {
        t.quoted = true;
        ++i;
        bool closed = false;
        while (i < s.size()) {
          char d = s[i++];
          if (d == '"') { closed = true; break; }
          if (d != '\\') { t.text += d; continue; }
          if (i >= s.size()) break;
          t.text += Escape(s, i);
        }
        if (!closed) Fail("unterminated string");
      } else {
        while (i < s.size() && !std::strchr(" \t\r,;\"", s[i])) t.text += s[i++];
      }
      out.push_back(std::move(t));
    }
    return out;
  }

  // Decodes the escape after a backslash; [i] is at the character after it.
  char Escape(std::string_view s, size_t& i) {
    char e = s[i++];
    switch (e) {
      case 'n': return '\n';
      case 't': return '\t';
      case 'r': return '\r';
      case 'a': return '\a';
      case 'b': return '\b';
      case 'f': return '\f';
      case 'v': return '\v';
      case '\\': case '"': case '\'': return e;
      case 'x': {
        int v = 0, n = 0;
        while (n < 2 && i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) {
          char h = s[i++];
          v = v * 16 + (std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::tolower(h) - 'a' + 10));
          ++n;
        }
        if (n == 0) Fail("\\x needs hexadecimal digits");
        return static_cast<char>(v);
      }
      default:
        if (std::isdigit(static_cast<unsigned char>(e))) {
          int v = e - '0', n = 1;
          while (n < 3 && i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            v = v * 10 + (s[i++] - '0');
            ++n;
          }
          if (v > 255) Fail("escape \\" + std::to_string(v) + " is above 255");
          return static_cast<char>(v);
        }
        Fail(std::string("unknown escape \\") + e);
    }
  }

  // ---- numbers ---------------------------------------------------------------

  std::optional<int64_t> ToInt(const std::string& s) const {
    if (s.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return v;
  }

  int64_t Int(const Token& t, const char* what, int64_t lo, int64_t hi) const {
    std::optional<int64_t> v = t.quoted ? std::nullopt : ToInt(t.text);
    if (!v) Fail(std::string(what) + " expected, got '" + t.text + "'");
    if (*v < lo || *v > hi)
      Fail(std::string(what) + " " + t.text + " is out of range " + std::to_string(lo) + ".." +
           std::to_string(hi));
    return *v;
  }

  double Number(const std::string& s) const {
    errno = 0;
    char* end = nullptr;
    double d = std::strtod(s.c_str(), &end);
    if (s.empty() || *end != '\0' || errno == EINVAL) Fail("bad number '" + s + "'");
    return d;
  }

  // A constant given by value: #number, "string" or nil. Nothing otherwise.
  std::optional<Constant> ConstantValue(const Token& t) const {
    Constant k;
    if (t.quoted) {
      k.type = ConstType::String;
      k.text = t.text;
      return k;
    }
    if (t.text == "nil") return k;
    if (!t.text.empty() && t.text[0] == '#') {
      k.type = ConstType::Number;
      k.number = Number(t.text.substr(1));
      return k;
    }
    return std::nullopt;
  }

  static bool SameConstant(const Constant& a, const Constant& b) {
    if (a.type != b.type) return false;
    if (a.type == ConstType::Number) {
      uint64_t x, y;
      std::memcpy(&x, &a.number, 8);
      std::memcpy(&y, &b.number, 8);
      return x == y;  // bitwise: 0 and -0 stay apart, equal NaNs merge
    }
    return a.text == b.text;
  }

  uint32_t AddConstant(const Constant& k) {
    std::vector<Constant>& ks = Cur().fn.constants;
    for (size_t i = 0; i < ks.size(); ++i)
      if (SameConstant(ks[i], k)) return static_cast<uint32_t>(i);
    if (ks.size() >= kFieldMax[3]) Fail("too many constants");
    ks.push_back(k);
    return static_cast<uint32_t>(ks.size() - 1);
  }

  // The index of a constant operand: kN names an index, else a value.
  uint32_t ConstantIndex(const Token& t, uint32_t limit) {
    if (!t.quoted && t.text.size() > 1 && (t.text[0] == 'k' || t.text[0] == 'K')) {
      if (std::optional<int64_t> v = ToInt(t.text.substr(1))) {
        if (*v < 0 || *v > limit) Fail("constant index " + t.text + " is out of range");
        return static_cast<uint32_t>(*v);
      }
    }
    if (std::optional<Constant> k = ConstantValue(t)) {
      uint32_t index = AddConstant(*k);
      if (index > limit) Fail("constant " + t.text + " has index " + std::to_string(index) +
                              ", too high for this operand");
      return index;
    }
    return UINT32_MAX;
  }

  uint32_t Register(const Token& t, Field f) const {
    if (!t.quoted && t.text.size() > 1 && (t.text[0] == 'r' || t.text[0] == 'R'))
      return static_cast<uint32_t>(Int(Token{false, t.text.substr(1)}, "register", 0,
                                       std::min<int64_t>(kFieldMax[int(f)], kRkConstant - 1)));
    return static_cast<uint32_t>(Int(t, "register", 0, kFieldMax[int(f)]));
  }

  // ---- lines -----------------------------------------------------------------

  FunctionState& Cur() { return stack_.back(); }

  void ParseLine(std::string_view s) {
    std::vector<Token> toks = Tokenize(s);
    size_t i = 0;
    // Labels: "name:" before an instruction or alone on a line.
    while (i < toks.size() && !toks[i].quoted && toks[i].text.size() > 1 &&
           toks[i].text.back() == ':') {
      std::string name = toks[i].text.substr(0, toks[i].text.size() - 1);
      if (!IsName(name)) Fail("bad label name '" + name + "'");
      if (!Cur().labels.emplace(name, Cur().fn.code.size()).second)
        Fail("label '" + name + "' defined twice");
      ++i;
    }
    if (i == toks.size()) return;
    if (toks[i].quoted) Fail("instruction or directive expected, got a string");
    std::vector<Token> args(toks.begin() + static_cast<long>(i) + 1, toks.end());
    const std::string& word = toks[i].text;
    if (word[0] == '.')
      Directive(word, args);
    else
      Instruction(word, args);
  }

  static bool IsName(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
    });
  }

  void WantArgs(const std::string& what, const std::vector<Token>& args, size_t lo, size_t hi) {
    if (args.size() < lo || args.size() > hi)
      Fail(what + " takes " + (lo == hi ? std::to_string(lo) : std::to_string(lo) + " to " + std::to_string(hi)) +
           " operand" + (hi == 1 ? "" : "s") + ", got " + std::to_string(args.size()));
  }

  void Directive(const std::string& word, const std::vector<Token>& args) {
    FunctionState& f = Cur();
    if (word == ".function") {
      WantArgs(word, args, 1, 1);
      if (args[0].quoted || !IsName(args[0].text)) Fail("bad function name '" + args[0].text + "'");
      for (const Function& n : f.fn.nested)
        if (n.name == args[0].text) Fail("function '" + args[0].text + "' defined twice here");
      if (f.fn.nested.size() >= kFieldMax[3]) Fail("too many nested functions");
      if (stack_.size() >= 200) Fail("functions nested too deeply");
      stack_.emplace_back();
      Cur().fn.name = args[0].text;
      Cur().startLine = line_;
    } else if (word == ".end") {
      WantArgs(word, args, 0, 0);
      if (stack_.size() == 1) Fail(".end without .function");
      Finish(Cur());
      Function done = std::move(Cur().fn);
      stack_.pop_back();
      Cur().fn.nested.push_back(std::move(done));
    } else if (word == ".source") {
      WantArgs(word, args, 1, 1);
      if (!args[0].quoted) Fail(".source needs a quoted string");
      f.fn.hasSource = true;
      f.fn.source = args[0].text;
    } else if (word == ".linedefined") {
      WantArgs(word, args, 1, 1);
      f.fn.lineDefined = static_cast<int32_t>(Int(args[0], "line", INT32_MIN, INT32_MAX));
    } else if (word == ".params") {
      WantArgs(word, args, 1, 1);
      f.fn.numParams = static_cast<uint8_t>(Int(args[0], "parameter count", 0, 255));
    } else if (word == ".vararg") {
      WantArgs(word, args, 0, 1);
      f.fn.isVararg = args.empty() ? 1 : static_cast<uint8_t>(Int(args[0], "vararg flag", 0, 255));
    } else if (word == ".maxstack") {
      WantArgs(word, args, 1, 1);
      f.fn.maxStack = static_cast<uint8_t>(Int(args[0], "stack size", 0, 255));
      f.maxStackGiven = true;
    } else if (word == ".upvalue") {
      WantArgs(word, args, 1, 1);
      if (f.upvalueCountGiven) Fail(".upvalue cannot follow .upvalues");
      if (f.fn.numUpvalues == 255) Fail("too many upvalues");
      f.fn.upvalueNames.push_back(args[0].text);
      ++f.fn.numUpvalues;
    } else if (word == ".upvalues") {
      WantArgs(word, args, 1, 1);
      if (!f.fn.upvalueNames.empty()) Fail(".upvalues cannot follow .upvalue");
      f.fn.numUpvalues = static_cast<uint8_t>(Int(args[0], "upvalue count", 0, 255));
      f.upvalueCountGiven = true;
    } else if (word == ".local") {
      WantArgs(word, args, 3, 3);
      LocalVar v;
      v.name = args[0].text;
      LocalFixup fix{f.fn.locals.size(), line_, "", ""};
      v.startPc = PcOrLabel(args[1], fix.start);
      v.endPc = PcOrLabel(args[2], fix.end);
      f.fn.locals.push_back(v);
      if (!fix.start.empty() || !fix.end.empty()) f.localFixups.push_back(fix);
    } else if (word == ".line") {
      WantArgs(word, args, 1, 1);
      f.currentLine = static_cast<int32_t>(Int(args[0], "line", INT32_MIN, INT32_MAX));
      if (!f.linesUsed) {
        f.linesUsed = true;
        f.fn.lineInfo.assign(f.fn.code.size(), 0);
      }
    } else if (word == ".const") {
      WantArgs(word, args, 1, 1);
      std::optional<Constant> k = ConstantValue(args[0]);
      if (!k) Fail("constant value expected (#number, \"string\" or nil), got '" + args[0].text + "'");
      AddConstant(*k);
    } else if (word == ".word") {
      WantArgs(word, args, 1, 1);
      Emit(static_cast<uint32_t>(Int(args[0], "instruction word", INT32_MIN, UINT32_MAX)));
    } else {
      Fail("unknown directive '" + word + "'");
    }
  }

  int32_t PcOrLabel(const Token& t, std::string& label) {
    if (!t.quoted && IsName(t.text)) {
      label = t.text;
      return 0;
    }
    return static_cast<int32_t>(Int(t, "pc", INT32_MIN, INT32_MAX));
  }

  void Emit(uint32_t word) {
    FunctionState& f = Cur();
    if (f.fn.code.size() >= 0x7FFFFF) Fail("function too long");
    f.fn.code.push_back(word);
    if (f.linesUsed) f.fn.lineInfo.push_back(f.currentLine);
  }

  void Instruction(const std::string& word, const std::vector<Token>& rawArgs) {
    std::string name = word;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name.rfind("OP_", 0) == 0) name = name.substr(3);
    unsigned op = 0;
    while (op < kOpcodeCount && name != kOps[op].name) ++op;
    if (op == kOpcodeCount) Fail("unknown opcode '" + word + "'");
    const OpInfo& info = kOps[op];

    std::vector<Token> args = rawArgs;
    uint32_t flag = 0;
    if (op == OP_JMP && !args.empty() && !args[0].quoted) {
      std::string w = args[0].text;
      for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (w == "gosub") {
        flag = kJumpGosub;
        args.erase(args.begin());
      }
    }
    WantArgs(info.name, args, info.required, info.count);

    uint32_t field[4] = {0, 0, 0, 0};
    size_t pc = Cur().fn.code.size();
    for (size_t i = 0; i < args.size(); ++i) {
      const Operand& o = info.ops[i];
      const Token& t = args[i];
      uint32_t max = kFieldMax[int(o.field)];
      uint32_t& v = field[int(o.field)];
      switch (o.kind) {
        case Kind::Reg: v = Register(t, o.field); break;
        case Kind::Int:
          v = static_cast<uint32_t>(Int(t, (std::string("field ") + kFieldName[int(o.field)]).c_str(), 0, max));
          break;
        case Kind::RK: {
          uint32_t k = ConstantIndex(t, max - kRkConstant);
          v = k != UINT32_MAX ? k + kRkConstant : Register(t, o.field);
          break;
        }
        case Kind::Const: {
          uint32_t k = ConstantIndex(t, max);
          if (k == UINT32_MAX) v = static_cast<uint32_t>(Int(t, "constant", 0, max));
          else v = k;
          break;
        }
        case Kind::Func:
          if (std::optional<int64_t> n = t.quoted ? std::nullopt : ToInt(t.text)) {
            if (*n < 0 || *n > max) Fail("function index " + t.text + " is out of range");
            v = static_cast<uint32_t>(*n);
          } else {
            Cur().fixups.push_back({pc, line_, op, o, t.text});
          }
          break;
        case Kind::Jump:
        case Kind::SJump:
          if (!t.quoted && !t.text.empty() && (t.text[0] == '+' || t.text[0] == '-')) {
            int64_t off = Int(t, "jump offset", INT32_MIN, INT32_MAX);
            v = JumpField(o.kind, off);
          } else {
            if (t.quoted || !IsName(t.text)) Fail("label or +/- offset expected, got '" + t.text + "'");
            Cur().fixups.push_back({pc, line_, op, o, t.text});
          }
          break;
      }
    }
    Emit(Build(op, field, flag));
  }

  // The field value of a jump by [off] instructions from the next one.
  uint32_t JumpField(Kind kind, int64_t off) const {
    if (kind == Kind::Jump) {
      int64_t v = off + kJumpBias;
      if (v < 0 || v > 0xFFFFFF) Fail("jump of " + std::to_string(off) + " is out of range");
      return static_cast<uint32_t>(v);
    }
    int64_t v = off + kBxBias;
    if (v < 0 || v > kFieldMax[3]) Fail("jump of " + std::to_string(off) + " is out of range");
    return static_cast<uint32_t>(v);
  }

  static uint32_t Build(unsigned op, const uint32_t field[4], uint32_t flag) {
    if (op == OP_JMP) return (field[3] << 6) | (flag << 30) | op;
    if (IsBxFormat(op)) return EncodeABx(op, field[0], field[3]);
    return EncodeABC(op, field[0], field[1], field[2]);
  }

  // Resolves labels and function names and fills in what was left open.
  void Finish(FunctionState& f) {
    for (const Fixup& x : f.fixups) {
      uint32_t value;
      if (x.operand.kind == Kind::Func) {
        auto it = std::find_if(f.fn.nested.begin(), f.fn.nested.end(),
                               [&](const Function& n) { return n.name == x.name; });
        if (it == f.fn.nested.end())
          throw Error(file_, x.line, "no nested function '" + x.name + "' in '" + f.fn.name + "'");
        value = static_cast<uint32_t>(it - f.fn.nested.begin());
      } else {
        auto it = f.labels.find(x.name);
        if (it == f.labels.end()) throw Error(file_, x.line, "undefined label '" + x.name + "'");
        int64_t off = static_cast<int64_t>(it->second) - static_cast<int64_t>(x.pc) - 1;
        try {
          value = JumpField(x.operand.kind, off);
        } catch (const Error&) {
          throw Error(file_, x.line, "jump to '" + x.name + "' is out of range");
        }
      }
      uint32_t& w = f.fn.code[x.pc];
      if (x.operand.kind == Kind::Jump)
        w = (w & ~(0xFFFFFFu << 6)) | (value << 6);
      else
        w = (w & ~(0x3FFFFu << 6)) | (value << 6);
    }
    for (const LocalFixup& x : f.localFixups) {
      LocalVar& v = f.fn.locals[x.index];
      for (auto [label, pc] : {std::pair{&x.start, &v.startPc}, std::pair{&x.end, &v.endPc}}) {
        if (label->empty()) continue;
        auto it = f.labels.find(*label);
        if (it == f.labels.end()) throw Error(file_, x.line, "undefined label '" + *label + "'");
        *pc = static_cast<int32_t>(it->second);
      }
    }
    if (!f.maxStackGiven) f.fn.maxStack = DefaultMaxStack(f.fn);
  }

  // The highest register any instruction touches, plus one; at least 2.
  static uint8_t DefaultMaxStack(const Function& fn) {
    int64_t top = 1;
    for (uint32_t w : fn.code) {
      unsigned op = w & 63;
      if (op >= kOpcodeCount || op == OP_JMP) continue;
      int64_t a = w >> 24, b = (w >> 15) & 511, c = (w >> 6) & 511, bx = (w >> 6) & 0x3FFFF;
      const OpInfo& info = kOps[op];
      if (op != OP_EQ && op != OP_LT && op != OP_LE) top = std::max(top, a);
      for (int i = 0; i < info.count; ++i) {
        const Operand& o = info.ops[i];
        int64_t v = o.field == Field::B ? b : c;
        if (o.kind == Kind::Reg && o.field != Field::A) top = std::max(top, v);
        if (o.kind == Kind::RK && v < kRkConstant) top = std::max(top, v);
      }
      switch (op) {
        case OP_CALL: case OP_TAILCALL: top = std::max({top, a + b - 1, a + c - 2}); break;
        case OP_RETURN: top = std::max(top, a + b - 2); break;
        case OP_FORLOOP: top = std::max(top, a + 2); break;
        case OP_TFORPREP: case OP_SELF: top = std::max(top, a + 1); break;
        case OP_TFORLOOP: top = std::max(top, a + c + 5); break;
        case OP_SETLIST: case OP_SETLISTO: top = std::max(top, a + (bx & 31) + 1); break;
        default: break;
      }
    }
    return static_cast<uint8_t>(std::min<int64_t>(top + 1, kRkConstant));
  }

  std::string_view text_;
  std::string file_;
  int line_ = 0;
  std::vector<FunctionState> stack_;
};

// ---- encoding ----------------------------------------------------------------

class Writer {
 public:
  explicit Writer(bool little) : little_(little) {}

  void Byte(uint8_t b) { out_.push_back(b); }
  void Word(uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(v >> (little_ ? 8 * i : 24 - 8 * i)));
  }
  void Int(int32_t v) { Word(static_cast<uint32_t>(v)); }
  void Count(size_t n) { Word(static_cast<uint32_t>(n)); }
  void Number(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; ++i) Byte(static_cast<uint8_t>(bits >> (little_ ? 8 * i : 56 - 8 * i)));
  }
  // A present string: its length with the terminating NUL, the bytes, the NUL.
  void String(const std::string& s) {
    Count(s.size() + 1);
    out_.insert(out_.end(), s.begin(), s.end());
    Byte(0);
  }

  void Header() {
    for (uint8_t b : {uint8_t{27}, uint8_t{'V'}, uint8_t{'K'}, uint8_t{'B'}}) Byte(b);
    Byte(little_ ? 1 : 0);
    for (int b : {4, 4, 4, 6, 8, 9, 9, 8}) Byte(static_cast<uint8_t>(b));
    Number(31415926.535897933);
  }

  // [parentSource] is the chunk name in force for the parent (none for main).
  void Record(const Function& f, const std::optional<std::string>& parentSource) {
    std::optional<std::string> source = f.hasSource ? std::optional(f.source) : parentSource;
    if (!f.hasSource || source == parentSource)
      Count(0);
    else
      String(f.source);
    Int(f.lineDefined);
    Byte(f.numUpvalues);
    Byte(f.numParams);
    Byte(f.isVararg);
    Byte(f.maxStack);
    Count(f.lineInfo.size());
    for (int32_t l : f.lineInfo) Int(l);
    Count(f.locals.size());
    for (const LocalVar& v : f.locals) {
      String(v.name);
      Int(v.startPc);
      Int(v.endPc);
    }
    Count(f.upvalueNames.size());
    for (const std::string& n : f.upvalueNames) String(n);
    Count(f.constants.size());
    for (const Constant& k : f.constants) {
      Byte(static_cast<uint8_t>(k.type));
      if (k.type == ConstType::Number) Number(k.number);
      if (k.type == ConstType::String) String(k.text);
    }
    Count(f.nested.size());
    for (const Function& n : f.nested) Record(n, source);
    Count(f.code.size());
    for (uint32_t w : f.code) Word(w);
  }

  std::vector<uint8_t> Take() { return std::move(out_); }

 private:
  bool little_;
  std::vector<uint8_t> out_;
};

}  // namespace

std::string_view OpcodeName(unsigned op) { return op < kOpcodeCount ? kOps[op].name : ""; }

uint32_t EncodeABC(unsigned op, uint32_t a, uint32_t b, uint32_t c) {
  return (a & 255) << 24 | (b & 511) << 15 | (c & 511) << 6 | (op & 63);
}

uint32_t EncodeABx(unsigned op, uint32_t a, uint32_t bx) {
  return (a & 255) << 24 | (bx & 0x3FFFF) << 6 | (op & 63);
}

uint32_t EncodeJump(int32_t offset, uint32_t flag) {
  uint32_t field = static_cast<uint32_t>(offset + static_cast<int32_t>(kJumpBias)) & 0xFFFFFF;
  return (flag & 3) << 30 | field << 6 | OP_JMP;
}

Function ParseListing(std::string_view text, const std::string& fileName) {
  return Parser(text, fileName).Run();
}

std::vector<uint8_t> Encode(const Function& main, bool littleEndian) {
  Writer w(littleEndian);
  w.Header();
  w.Record(main, std::nullopt);
  return w.Take();
}

std::vector<uint8_t> Assemble(std::string_view text, const std::string& fileName, bool littleEndian) {
  return Encode(ParseListing(text, fileName), littleEndian);
}

}  // namespace vkasm
