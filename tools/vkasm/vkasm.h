// The bytecode assembler: turns a readable listing of functions, constants
// and instructions into an ESC "VKB" bytecode file. It is written apart from
// the engine's own bytecode writer on purpose, so that each checks the other.
// ParseListing builds the function tree; Encode writes it out in either byte
// order. The listing syntax is described in README.md beside this file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vkasm {

// A listing error: [line] is the 1-based line of the listing (0 when the
// fault is not tied to one line); what() is "file:line: message".
class Error : public std::runtime_error {
 public:
  Error(const std::string& file, int line, const std::string& message);
  int line;
  std::string message;
};

// Constant types as the bytecode stores them.
enum class ConstType : uint8_t { Nil = 0, Number = 3, String = 4 };

struct Constant {
  ConstType type = ConstType::Nil;
  double number = 0;
  std::string text;  // may hold NUL bytes
};

struct LocalVar {
  std::string name;
  int32_t startPc = 0;
  int32_t endPc = 0;
};

// One function record, with its nested functions.
struct Function {
  std::string name;            // the listing's name for it; not stored
  bool hasSource = false;      // an own chunk name was given
  std::string source;
  int32_t lineDefined = 0;
  uint8_t numUpvalues = 0;
  uint8_t numParams = 0;
  uint8_t isVararg = 0;
  uint8_t maxStack = 0;
  std::vector<int32_t> lineInfo;  // empty, or one line per instruction
  std::vector<LocalVar> locals;
  std::vector<std::string> upvalueNames;  // empty, or numUpvalues names
  std::vector<Constant> constants;
  std::vector<Function> nested;
  std::vector<uint32_t> code;
};

// Opcode numbers of the instruction set, in table order.
enum Opcode : uint8_t {
  OP_MOVE, OP_LOADK, OP_LOADBOOL, OP_LOADNIL, OP_GETUPVAL, OP_GETGLOBAL,
  OP_GETTABLE, OP_SETGLOBAL, OP_SETUPVAL, OP_SETTABLE, OP_NEWTABLE,
  OP_ADD, OP_SUB, OP_MUL, OP_DIV, OP_INTDIV, OP_MOD, OP_SHL, OP_SHR, OP_BOR,
  OP_BAND, OP_BXOR, OP_POW, OP_UNM, OP_NOT, OP_BNOT, OP_CONCAT, OP_JMP,
  OP_EQ, OP_LT, OP_LE, OP_TEST, OP_CALL, OP_TAILCALL, OP_RETURN, OP_FORLOOP,
  OP_TFORLOOP, OP_TFORPREP, OP_SETLIST, OP_SETLISTO, OP_CLOSE, OP_CLOSURE,
  OP_SELF, kOpcodeCount
};

// Name of an opcode without its "OP_" prefix ("MOVE"), or "" when out of range.
std::string_view OpcodeName(unsigned op);

// Field layout of the instruction word.
constexpr uint32_t kBxBias = 131071;    // sBx = Bx - kBxBias
constexpr uint32_t kJumpBias = 8388607;  // jump offset = field - kJumpBias
constexpr uint32_t kRkConstant = 250;    // RK operands from here name constants
constexpr uint32_t kJumpGosub = 2;       // jump flag that pushes the return address

uint32_t EncodeABC(unsigned op, uint32_t a, uint32_t b, uint32_t c);
uint32_t EncodeABx(unsigned op, uint32_t a, uint32_t bx);
uint32_t EncodeJump(int32_t offset, uint32_t flag);

// Parses a listing into the main function. Throws Error.
Function ParseListing(std::string_view text, const std::string& fileName);

// Writes the header and the function tree. Big-endian unless [littleEndian].
std::vector<uint8_t> Encode(const Function& main, bool littleEndian = false);

// ParseListing then Encode.
std::vector<uint8_t> Assemble(std::string_view text, const std::string& fileName,
                              bool littleEndian = false);

// The usage and syntax text printed by `vkasm --help`.
extern const char* const kSyntaxHelp;

}  // namespace vkasm
