// The opcode mode table the verifier reads.
#include "engine/opcodes.h"

namespace {
constexpr uint8_t kBRegSetA = VK_FMT_ABC | VK_MODE_BREG | VK_MODE_SETA;
constexpr uint8_t kBxConstSetA = VK_FMT_ABX | VK_MODE_SETA | VK_MODE_KBX;
constexpr uint8_t kSetA = VK_FMT_ABC | VK_MODE_SETA;
constexpr uint8_t kBRegCRKSetA = VK_FMT_ABC | VK_MODE_BREG | VK_MODE_CRK | VK_MODE_SETA;
constexpr uint8_t kArith = VK_FMT_ABC | VK_MODE_BRK | VK_MODE_CRK | VK_MODE_SETA;
constexpr uint8_t kCompare = VK_FMT_ABC | VK_MODE_BRK | VK_MODE_CRK | VK_MODE_TEST;
}  // namespace

const uint8_t kOpModes[kNumOpcodes] = {
    kBRegSetA,                                   // OP_MOVE
    kBxConstSetA,                                // OP_LOADK
    kSetA,                                       // OP_LOADBOOL
    kBRegSetA,                                   // OP_LOADNIL
    kSetA,                                       // OP_GETUPVAL
    kBxConstSetA,                                // OP_GETGLOBAL
    kBRegCRKSetA,                                // OP_GETTABLE
    VK_FMT_ABX | VK_MODE_KBX,                    // OP_SETGLOBAL
    VK_FMT_ABC,                                  // OP_SETUPVAL
    VK_FMT_ABC | VK_MODE_BRK | VK_MODE_CRK,      // OP_SETTABLE
    kSetA,                                       // OP_NEWTABLE
    kArith, kArith, kArith, kArith, kArith, kArith,
    kArith, kArith, kArith, kArith, kArith, kArith,  // OP_ADD .. OP_POW
    kBRegSetA,                                   // OP_UNM
    kBRegSetA,                                   // OP_NOT
    kBRegSetA,                                   // OP_BNOT
    kBRegCRKSetA,                                // OP_CONCAT
    VK_FMT_JUMP,                                 // OP_JMP
    kCompare, kCompare, kCompare,                // OP_EQ, OP_LT, OP_LE
    VK_FMT_ABC | VK_MODE_BREG | VK_MODE_SETA | VK_MODE_TEST,  // OP_TEST
    VK_FMT_ABC,                                  // OP_CALL
    VK_FMT_ABC,                                  // OP_TAILCALL
    VK_FMT_ABC,                                  // OP_RETURN
    VK_FMT_ASBX,                                 // OP_FORLOOP
    VK_FMT_ABC | VK_MODE_TEST,                   // OP_TFORLOOP
    VK_FMT_ASBX,                                 // OP_TFORPREP
    VK_FMT_ABX,                                  // OP_SETLIST
    VK_FMT_ABX,                                  // OP_SETLISTO
    VK_FMT_ABC,                                  // OP_CLOSE
    VK_FMT_ABX | VK_MODE_SETA,                   // OP_CLOSURE
    kBRegCRKSetA,                                // OP_SELF
};
