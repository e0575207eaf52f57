// The listing syntax as `vkasm --help` prints it; README.md says the same at
// more length.
#include "tools/vkasm/vkasm.h"

namespace vkasm {

const char* const kSyntaxHelp = R"(usage: vkasm [options] LISTING [-o OUTPUT]
Assembles a bytecode listing into an ESC "VKB" bytecode file.

options:
  -o FILE              output file (default: LISTING with its extension
                       replaced by .vkb); "-" writes to standard output
  -l, --little-endian  write the little-endian form (default big-endian)
  -h, --help           this text

listing syntax (one statement per line; ';' starts a comment; commas between
operands are optional):
  The file is the main function. Nested functions sit between
  ".function NAME" and ".end", inside their parent, in record order.
  Directives (apply to the function they appear in):
    .source "name"       chunk name (a nested function without one, or with
                         its parent's, inherits the parent's)
    .linedefined N       line the function was defined on
    .params N            number of fixed parameters
    .vararg [N]          takes varargs (flag byte N, default 1)
    .maxstack N          registers used (default: highest register the code
                         names, plus one, at least 2)
    .upvalue NAME        one more upvalue, with that name
    .upvalues N          N upvalues without names
    .local "name" S E    local variable record; S and E are pcs or labels
    .line N              source line of the instructions that follow; once
                         used, every instruction of the function has a line
    .const VALUE         add a constant now (to fix the constant order)
    .word N              raw 32-bit instruction word
  Labels: "name:" at the start of a line; a label is the index of the next
  instruction.
  Instructions: opcode name (any case, "OP_" prefix optional), operands:
    register     N or rN
    RK operand   rN or N (register), kN (constant N), or a constant value:
                 #NUMBER, "string" or nil; constants are shared by value
    constant     (LOADK, GETGLOBAL, SETGLOBAL) a value as above, or N / kN
    jump         a label, or +N / -N instructions from the next one
  Opcodes and operands:
    MOVE A B         LOADK A K        LOADBOOL A B C     LOADNIL A B
    GETUPVAL A U     GETGLOBAL A K    GETTABLE A B RK    SETGLOBAL A K
    SETUPVAL A U     SETTABLE A RK RK NEWTABLE A [B C]
    ADD SUB MUL DIV INTDIV MOD SHL SHR BOR BAND BXOR POW:  A RK RK
    UNM A B          NOT A B          BNOT A B           CONCAT A B C
    JMP [gosub] TARGET                EQ LT LE:  FLAG RK RK
    TEST A B C       CALL A B C       TAILCALL A B C     RETURN A B [C]
    FORLOOP A TARGET TFORLOOP A C     TFORPREP A TARGET
    SETLIST A Bx     SETLISTO A Bx    CLOSE A
    CLOSURE A FUNC   (FUNC: a nested function's name or index; write the
                     MOVE/GETUPVAL pseudo-instructions after it yourself)
    SELF A B RK
  Strings take the escapes \n \t \r \a \b \f \v \\ \" \' \xHH and \DDD
  (decimal).
errors are reported as FILE:LINE: message, and the exit status is 1.
)";

}  // namespace vkasm
