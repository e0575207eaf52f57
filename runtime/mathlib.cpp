// The math library's 47 commands. The plain functions of one or two numbers
// are one template each over the C library call; integers come from the
// saturating conversions, and shift and rotation counts are reduced the way
// the interpreter reduces them, so no count or value is undefined in C++.
#include "runtime/mathlib.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "base/errorcodes.h"
#include "engine/argcheck.h"
#include "engine/errors.h"
#include "engine/libraries.h"
#include "base/numconv.h"
#include "engine/vmapi.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;

int32_t checkInt(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }

int pushNumber(vkState* L, double d) {
  vmPushNumber(L, d);
  return 1;
}

int pushWord(vkState* L, uint32_t w) { return pushNumber(L, static_cast<double>(w)); }

// The bit width of a type code: LONG 1, SHORT 6, BYTE 7; 0 for others.
int typeWidth(int32_t type) { return type == 1 ? 32 : type == 6 ? 16 : type == 7 ? 8 : 0; }

uint32_t widthMask(int width) { return width == 32 ? 0xFFFFFFFFu : (1u << width) - 1; }

// The C library's functions, wrapped: the standard library's own may not
// have their address taken.
double cFabs(double x) { return std::fabs(x); }
double cSin(double x) { return std::sin(x); }
double cCos(double x) { return std::cos(x); }
double cTan(double x) { return std::tan(x); }
double cAsin(double x) { return std::asin(x); }
double cAcos(double x) { return std::acos(x); }
double cAtan(double x) { return std::atan(x); }
double cCeil(double x) { return std::ceil(x); }
double cFloor(double x) { return std::floor(x); }
double cSqrt(double x) { return std::sqrt(x); }
double cLog10(double x) { return std::log10(x); }
double cLog(double x) { return std::log(x); }
double cExp(double x) { return std::exp(x); }
double cAtan2(double x, double y) { return std::atan2(x, y); }
double cPow(double x, double y) { return std::pow(x, y); }
double log2ByLog10(double x) { return std::log10(x) / std::log10(2.0); }
double degrees(double x) { return x / kRadiansPerDegree; }
double radians(double x) { return x * kRadiansPerDegree; }
double fraction(double x) {
  double whole;
  return std::modf(x, &whole);
}
double add(double x, double y) { return x + y; }
double sub(double x, double y) { return x - y; }
double mul(double x, double y) { return x * y; }
double sign(double x) { return x > 0 ? 1.0 : x < 0 ? -1.0 : 0.0; }

// The commands of one and of two numbers: arguments that are not just those
// numbers go through the checks, out of line, so that the common call
// saves no registers.
template <double (*F)(double)>
[[gnu::noinline]] int unaryChecked(vkState* L) {
  CheckArgCount(L, 1, 1);
  return pushNumber(L, F(vmCheckNumber(L, 1)));
}

template <double (*F)(double)>
int unary(vkState* L) {
  if (vkValue* x = vmNumberArgs(L, 1)) {
    x->v.n = F(x->v.n);
    return 1;
  }
  return unaryChecked<F>(L);
}

// The row of a command of one number: the interpreter may call F itself.
template <double (*F)(double)>
constexpr vkCommandDef unaryCommand(const char* name) {
  return {name, unary<F>, F};
}

template <double (*F)(double, double)>
[[gnu::noinline]] int binaryChecked(vkState* L) {
  CheckArgCount(L, 2, 2);
  return pushNumber(L, F(vmCheckNumber(L, 1), vmCheckNumber(L, 2)));
}

template <double (*F)(double, double)>
int binary(vkState* L) {
  if (vkValue* x = vmNumberArgs(L, 2)) {
    x[1].v.n = F(x[0].v.n, x[1].v.n);
    return 1;
  }
  return binaryChecked<F>(L);
}

int cmdMod(vkState* L) {
  CheckArgCount(L, 2, 2);
  double x = vmCheckNumber(L, 1), y = vmCheckNumber(L, 2);
  if (y == 0.0) return kErrDivisionByZero;
  return pushNumber(L, std::fmod(x, y));
}

int cmdDiv(vkState* L) {
  CheckArgCount(L, 2, 2);
  double x = vmCheckNumber(L, 1), y = vmCheckNumber(L, 2);
  if (y == 0.0) return kErrDivisionByZero;
  return pushNumber(L, x / y);
}

int cmdFrExp(vkState* L) {
  CheckArgCount(L, 1, 1);
  int e = 0;
  double m = std::frexp(vmCheckNumber(L, 1), &e);
  vmPushNumber(L, m);
  vmPushNumber(L, e);
  return 2;
}

int cmdLdExp(vkState* L) {
  CheckArgCount(L, 2, 2);
  return pushNumber(L, std::ldexp(vmCheckNumber(L, 1), checkInt(L, 2)));
}

// Min and Max: a later argument replaces the running result only when it is
// strictly smaller (larger); ties and NaN keep what is there.
template <bool kMin>
int extreme(vkState* L) {
  CheckArgCount(L, 2, -1);
  double r = vmCheckNumber(L, 1);
  for (int i = 2, n = vmGetTop(L); i <= n; i++) {
    double x = vmCheckNumber(L, i);
    if (kMin ? x < r : x > r) r = x;
  }
  return pushNumber(L, r);
}

int cmdRnd(vkState* L) {
  CheckArgCount(L, 1, 1);
  int32_t n = checkInt(L, 1);
  if (n == 0) return kErrDivisionByZero;
  if (n < 0) return kErrWrongUsage;
  return pushNumber(L, vkDoubleToInt32(drand48() * n));
}

int cmdRndF(vkState* L) {
  CheckArgCount(L, 0, 0);
  return pushNumber(L, drand48());
}

int cmdRound(vkState* L) {
  CheckArgCount(L, 1, 1);
  return pushNumber(L, vkDoubleToInt32(std::nearbyint(vmCheckNumber(L, 1))));
}

int cmdInt(vkState* L) {
  CheckArgCount(L, 1, 1);
  return pushNumber(L, checkInt(L, 1));
}

// A shift count as the interpreter takes it: the low six bits.
int shiftCount(vkState* L, int i) { return checkInt(L, i) & 63; }

int cmdShr(vkState* L) {
  CheckArgCount(L, 2, 2);
  uint32_t w = vmCheckUnsigned(L, 1);
  int n = shiftCount(L, 2);
  return pushWord(L, n >= 32 ? 0 : w >> n);
}

int cmdShl(vkState* L) {
  CheckArgCount(L, 2, 2);
  uint32_t w = vmCheckUnsigned(L, 1);
  int n = shiftCount(L, 2);
  return pushWord(L, n >= 32 ? 0 : w << n);
}

int cmdSar(vkState* L) {
  CheckArgCount(L, 2, 2);
  int32_t v = static_cast<int32_t>(vmCheckUnsigned(L, 1));
  int n = shiftCount(L, 2);
  return pushNumber(L, v >> (n >= 32 ? 31 : n));
}

int cmdRt(vkState* L) {
  CheckArgCount(L, 2, 2);
  double x = vmCheckNumber(L, 1), n = vmCheckNumber(L, 2);
  if (n == 0.0) return kErrDivisionByZero;
  if (n < 0.0) return kErrWrongUsage;
  return pushNumber(L, std::pow(x, 1.0 / n));
}

int cmdWrap(vkState* L) {
  CheckArgCount(L, 3, 3);
  double x = vmCheckNumber(L, 1), low = vmCheckNumber(L, 2), high = vmCheckNumber(L, 3);
  if (x < low) return pushNumber(L, high + (x - low));
  if (x >= high) return pushNumber(L, low + (x - high));
  return pushNumber(L, x);
}

int cmdLimit(vkState* L) {
  CheckArgCount(L, 3, 3);
  double x = vmCheckNumber(L, 1), low = vmCheckNumber(L, 2), high = vmCheckNumber(L, 3);
  return pushNumber(L, x < low ? low : x > high ? high : x);
}

// The word and bit number of BitSet, BitClear and BitTest; false when the
// bit lies outside the word.
bool wordAndBit(vkState* L, uint32_t* word, uint32_t* bit) {
  CheckArgCount(L, 2, 2);
  *word = vmCheckUnsigned(L, 1);
  int32_t b = checkInt(L, 2);
  if (b < 0 || b > 31) return false;
  *bit = 1u << b;
  return true;
}

int cmdBitSet(vkState* L) {
  uint32_t w, bit;
  if (!wordAndBit(L, &w, &bit)) return kErrWrongUsage;
  return pushWord(L, w | bit);
}

int cmdBitClear(vkState* L) {
  uint32_t w, bit;
  if (!wordAndBit(L, &w, &bit)) return kErrWrongUsage;
  return pushWord(L, w & ~bit);
}

int cmdBitTest(vkState* L) {
  uint32_t w, bit;
  if (!wordAndBit(L, &w, &bit)) return kErrWrongUsage;
  return pushNumber(L, (w & bit) ? 1 : 0);
}

int cmdBitXor(vkState* L) {
  CheckArgCount(L, 2, 2);
  return pushWord(L, vmCheckUnsigned(L, 1) ^ vmCheckUnsigned(L, 2));
}

int cmdBitComplement(vkState* L) {
  CheckArgCount(L, 1, 1);
  return pushWord(L, ~vmCheckUnsigned(L, 1));
}

// Rotation within the type's width; the count is taken modulo the width.
template <bool kRight>
int rotate(vkState* L) {
  CheckArgCount(L, 2, 3);
  uint32_t v = vmCheckUnsigned(L, 1);
  int32_t n = checkInt(L, 2);
  int width = typeWidth(vkDoubleToInt32(vmOptNumber(L, 3, 1)));
  if (width == 0) return kErrWrongUsage;
  uint32_t mask = widthMask(width);
  v &= mask;
  int k = static_cast<int>(static_cast<uint32_t>(n) & static_cast<uint32_t>(width - 1));
  if (k == 0) return pushWord(L, v);
  if (kRight) k = width - k;
  return pushWord(L, ((v << k) | (v >> (width - k))) & mask);
}

int cmdCast(vkState* L) {
  CheckArgCount(L, 3, 3);
  uint32_t v = vmCheckUnsigned(L, 1);
  bool isSigned = vmCheckNumber(L, 2) != 0;
  int width = typeWidth(checkInt(L, 3));
  if (width == 0) return kErrWrongUsage;
  v &= widthMask(width);
  if (!isSigned) return pushWord(L, v);
  uint32_t signBit = 1u << (width - 1);
  return pushNumber(L, static_cast<double>(static_cast<int64_t>(v ^ signBit) - static_cast<int64_t>(signBit)));
}

}  // namespace

const vkCommandDef kMathCommands[] = {
    unaryCommand<cFabs>("Abs"),
    unaryCommand<cSin>("Sin"),
    unaryCommand<cCos>("Cos"),
    unaryCommand<cTan>("Tan"),
    unaryCommand<cAsin>("ASin"),
    unaryCommand<cAcos>("ACos"),
    unaryCommand<cAtan>("ATan"),
    {"ATan2", binary<cAtan2>},
    unaryCommand<cCeil>("Ceil"),
    unaryCommand<cFloor>("Floor"),
    {"Mod", cmdMod},
    {"FrExp", cmdFrExp},
    {"LdExp", cmdLdExp},
    unaryCommand<cSqrt>("Sqrt"),
    {"Min", extreme<true>},
    {"Max", extreme<false>},
    unaryCommand<cLog10>("Log"),
    unaryCommand<log2ByLog10>("Ld"),
    unaryCommand<cLog>("Ln"),
    unaryCommand<cExp>("Exp"),
    unaryCommand<degrees>("Deg"),
    {"Pow", binary<cPow>},
    unaryCommand<radians>("Rad"),
    {"Rnd", cmdRnd},
    {"RndF", cmdRndF},
    {"Add", binary<add>},
    {"Sub", binary<sub>},
    {"Mul", binary<mul>},
    {"Div", cmdDiv},
    {"Round", cmdRound},
    {"Int", cmdInt},
    unaryCommand<fraction>("Frac"),
    {"Shr", cmdShr},
    {"Shl", cmdShl},
    {"Rt", cmdRt},
    {"Wrap", cmdWrap},
    {"Limit", cmdLimit},
    {"BitSet", cmdBitSet},
    {"BitClear", cmdBitClear},
    {"BitTest", cmdBitTest},
    {"BitXor", cmdBitXor},
    {"BitComplement", cmdBitComplement},
    unaryCommand<sign>("Sgn"),
    {"Sar", cmdSar},
    {"Ror", rotate<true>},
    {"Rol", rotate<false>},
    {"Cast", cmdCast},
    {nullptr, nullptr},
};

const vkConstantDef kMathConstants[] = {
    {"PI", nullptr, 3.141592653589793},
    {nullptr, nullptr, 0},
};

int OpenMathLibrary(vkState* L) {
  vmRegisterFunctions(L, nullptr, kMathCommands, 0);
  int rc = RegisterLibrary(L, kMathCommands, "math");
  vmRegisterConstants(L, kMathConstants);
  long seed = static_cast<long>(std::time(nullptr));
  std::srand(static_cast<unsigned>(seed));
  srand48(seed);
  return rc;
}
