// The instruction word of the bytecode and the 43 opcodes: field layout,
// decoding and encoding, and the opcode mode table the verifier reads.
// Word: opcode bits 0-5, C 6-14, B 15-23, A 24-31; Bx = bits 6-23, sBx =
// Bx - 131071; OP_JMP has a 24-bit offset (bias 0x7FFFFF) and a flag (2 =
// GOSUB) in bits 30-31.
#pragma once

#include <cstdint>

enum vkOpCode : uint8_t {
  OP_MOVE, OP_LOADK, OP_LOADBOOL, OP_LOADNIL, OP_GETUPVAL, OP_GETGLOBAL, OP_GETTABLE, OP_SETGLOBAL,
  OP_SETUPVAL, OP_SETTABLE, OP_NEWTABLE, OP_ADD, OP_SUB, OP_MUL, OP_DIV, OP_INTDIV, OP_MOD, OP_SHL,
  OP_SHR, OP_BOR, OP_BAND, OP_BXOR, OP_POW, OP_UNM, OP_NOT, OP_BNOT, OP_CONCAT, OP_JMP, OP_EQ, OP_LT,
  OP_LE, OP_TEST, OP_CALL, OP_TAILCALL, OP_RETURN, OP_FORLOOP, OP_TFORLOOP, OP_TFORPREP, OP_SETLIST,
  OP_SETLISTO, OP_CLOSE, OP_CLOSURE, OP_SELF
};
inline constexpr int kNumOpcodes = 43;

inline constexpr int kMaxArgBx = 0x3FFFF;
inline constexpr int kBiasSBx = 131071;
inline constexpr int kBiasJump = 0x7FFFFF;
inline constexpr int kMaxJumpField = 0xFFFFFF;
inline constexpr int kJumpGosub = 2;
// RK operands from this value up name constants.
inline constexpr int kRKConstant = 250;
inline constexpr int kMaxStackSize = 250;
inline constexpr int kNoRegister = 255;
// Values stored per OP_SETLIST flush.
inline constexpr int kFieldsPerFlush = 32;

inline int vmOpcode(uint32_t i) { return static_cast<int>(i & 0x3F); }
inline int vmArgA(uint32_t i) { return static_cast<int>(i >> 24); }
inline int vmArgB(uint32_t i) { return static_cast<int>((i >> 15) & 0x1FF); }
inline int vmArgC(uint32_t i) { return static_cast<int>((i >> 6) & 0x1FF); }
inline int vmArgBx(uint32_t i) { return static_cast<int>((i >> 6) & 0x3FFFF); }
inline int vmArgSBx(uint32_t i) { return vmArgBx(i) - kBiasSBx; }
inline int vmJumpOffset(uint32_t i) { return static_cast<int>((i >> 6) & 0xFFFFFF) - kBiasJump; }
inline int vmJumpFlag(uint32_t i) { return static_cast<int>(i >> 30); }

inline uint32_t vmCreateABC(int op, int a, int b, int c) {
  return static_cast<uint32_t>(op) | (static_cast<uint32_t>(c & 0x1FF) << 6) | (static_cast<uint32_t>(b & 0x1FF) << 15) |
         (static_cast<uint32_t>(a & 0xFF) << 24);
}
inline uint32_t vmCreateABx(int op, int a, int bx) {
  return static_cast<uint32_t>(op) | (static_cast<uint32_t>(bx & 0x3FFFF) << 6) | (static_cast<uint32_t>(a & 0xFF) << 24);
}
inline uint32_t vmCreateAsBx(int op, int a, int sbx) { return vmCreateABx(op, a, sbx + kBiasSBx); }
// A jump of [offset] instructions from the next one; [flag] 2 = GOSUB.
inline uint32_t vmCreateJump(int offset, int flag) {
  return static_cast<uint32_t>(OP_JMP) | (static_cast<uint32_t>((offset + kBiasJump) & 0xFFFFFF) << 6) |
         (static_cast<uint32_t>(flag & 3) << 30);
}

// Opcode modes: format in bits 0-1, then operand flags.
enum : uint8_t {
  VK_FMT_ABC = 0,
  VK_FMT_ABX = 1,
  VK_FMT_ASBX = 2,
  VK_FMT_JUMP = 3,
  VK_MODE_BREG = 4,
  VK_MODE_BRK = 8,
  VK_MODE_CRK = 16,
  VK_MODE_SETA = 32,
  VK_MODE_KBX = 64,
  VK_MODE_TEST = 128
};
extern const uint8_t kOpModes[kNumOpcodes];
