// The math library: rounding, wrapping, shifts and rotations at the edges of
// the word, conversions of values outside 32 bits, division by zero, and the
// random numbers' ranges.
#include "runtime/mathlib.h"

#include <cmath>
#include <limits>
#include <string>

#include "engine/libraries.h"
#include "support/libcall.h"

namespace {

using vktest::CallCase;

class MathLibTest : public vktest::LibraryTest {
 protected:
  void SetUp() override { OpenLibrary(OpenMathLibrary); }
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST_F(MathLibTest, RoundingAndIntegers) {
  RunCases({
      {"Round", {2.5}, "2"},
      {"Round", {3.5}, "4"},
      {"Round", {-2.5}, "-2"},
      {"Round", {-0.4}, "0"},
      {"Round", {1e12}, "2147483647"},  // saturates
      {"Round", {-1e12}, "-2147483648"},
      {"Round", {kNaN}, "-2147483648"},
      {"Int", {-2.7}, "-2"},
      {"Int", {2147483648.0}, "2147483647"},
      {"Int", {kInf}, "2147483647"},
      {"Frac", {-2.75}, "-0.75"},
      {"Ceil", {-0.5}, "-0"},
      {"Floor", {-0.5}, "-1"},
      {"Abs", {-3}, "3"},
      {"Sgn", {-0.1}, "-1"},
      {"Sgn", {0}, "0"},
      {"Sgn", {7}, "1"},
      {"FrExp", {8}, "0.5, 4"},
      {"LdExp", {0.5, 4}, "8"},
      {"LdExp", {1, 1e12}, "inf"},  // the exponent saturates
  });
}

TEST_F(MathLibTest, ArithmeticAndDivisionByZero) {
  RunCases({
      {"Add", {1, 2}, "3"},
      {"Sub", {1, 2}, "-1"},
      {"Mul", {1.5, 2}, "3"},
      {"Div", {1, 4}, "0.25"},
      {"Div", {1, 0}, "error 1089"},
      {"Mod", {7, 3}, "1"},
      {"Mod", {-7, 3}, "-1"},
      {"Mod", {7.5, 2}, "1.5"},
      {"Mod", {7, 0}, "error 1089"},
      {"Pow", {2, 10}, "1024"},
      {"Sqrt", {2}, "1.4142135623731"},
      {"Rt", {8, 3}, "2"},
      {"Rt", {8, 0}, "error 1089"},
      {"Rt", {8, -3}, "error 1055"},
      {"Log", {1000}, "3"},
      {"Ld", {8}, "3"},
      {"Ln", {1}, "0"},
      {"Exp", {0}, "1"},
      {"Deg", {3.141592653589793}, "180"},
      {"Rad", {180}, "3.1415926535898"},
      {"ATan2", {1, 1}, "0.78539816339745"},
      {"Min", {3, 1, 2}, "1"},
      {"Max", {3, 1, 2}, "3"},
      {"Min", {-0.0, 0.0}, "-0"},  // ties keep the earlier argument
      {"Max", {0.0, -0.0}, "0"},
      {"Min", {5, kNaN, 4}, "4"},  // NaN never replaces the result
      {"Max", {1}, "error 1014"},
      {"Wrap", {10, 0, 10}, "0"},
      {"Wrap", {-1, 0, 10}, "9"},
      {"Wrap", {25, 0, 10}, "15"},
      {"Wrap", {5, 0, 10}, "5"},
      {"Limit", {-5, 0, 10}, "0"},
      {"Limit", {15, 0, 10}, "10"},
      {"Limit", {5, 0, 10}, "5"},
  });
}

TEST_F(MathLibTest, ShiftsAndRotationsAtTheEdgesOfTheWord) {
  RunCases({
      {"Shl", {1, 31}, "2147483648"},
      {"Shl", {1, 32}, "0"},
      {"Shl", {1, 63}, "0"},
      {"Shl", {1, 64}, "1"},  // counts are taken modulo 64, as the interpreter does
      {"Shl", {1, -1}, "0"},
      {"Shl", {1, 1e12}, "0"},
      {"Shr", {-1, 28}, "15"},
      {"Shr", {-1, 32}, "0"},
      {"Shr", {4294967295.0, 0}, "4294967295"},
      {"Shr", {8, 65}, "4"},
      {"Sar", {-16, 2}, "-4"},
      {"Sar", {-16, 40}, "-1"},
      {"Sar", {2147483648.0, 31}, "-1"},
      {"Sar", {16, 63}, "0"},
      {"Ror", {1, 1, 7}, "128"},
      {"Rol", {128, 1, 7}, "1"},
      {"Ror", {1, 1, 1}, "2147483648"},
      {"Ror", {1, 1}, "2147483648"},
      {"Rol", {0x8001, 1, 6}, "3"},
      {"Rol", {0x12345, 4, 6}, "13394"},  // only the low half rotates
      {"Ror", {1, 9, 7}, "128"},          // counts past the width wrap
      {"Rol", {1, 32}, "1"},
      {"Rol", {1, -1}, "2147483648"},
      {"Ror", {1, 1, 3}, "error 1055"},
      {"BitSet", {0, 31}, "2147483648"},
      {"BitClear", {-1, 0}, "4294967294"},
      {"BitTest", {5, 2}, "1"},
      {"BitTest", {5, 1}, "0"},
      {"BitTest", {5, 32}, "error 1055"},
      {"BitSet", {5, -1}, "error 1055"},
      {"BitXor", {-1, 1}, "4294967294"},
      {"BitComplement", {0}, "4294967295"},
      {"Cast", {255, 1, 7}, "-1"},
      {"Cast", {255, 0, 7}, "255"},
      {"Cast", {65535, 1, 6}, "-1"},
      {"Cast", {0x18000, 1, 6}, "-32768"},
      {"Cast", {4294967295.0, 1, 1}, "-1"},
      {"Cast", {-1, 0, 1}, "4294967295"},
      {"Cast", {1, 1, 3}, "error 1055"},
  });
}

// The commands of one or two numbers called with other arguments read them
// through the checks: strings and nil convert, a wrong count or type fails.
TEST_F(MathLibTest, CommandsOfNumbersCheckOtherArguments) {
  RunCases({
      {"Abs", {"-3"}, "3"},
      {"Abs", {"$10"}, "16"},
      {"Abs", {nullptr}, "0"},
      {"Sqrt", {"x"}, "error 1138"},
      {"Abs", {vktest::Arg::table()}, "error 1138"},
      {"Abs", {}, "error 1014"},
      {"Abs", {-1, 2}, "error 1193"},
      {"Add", {"1", 2}, "3"},
      {"Sub", {5, nullptr}, "5"},
      {"Mul", {nullptr, 3}, "0"},
      {"Pow", {2, "x"}, "error 1138"},
      {"Add", {1}, "error 1014"},
      {"Add", {1, 2, 3}, "error 1193"},
  });
}

TEST_F(MathLibTest, RandomNumbersStayInTheirRange) {
  RunCases({
      {"Rnd", {0}, "error 1089"},
      {"Rnd", {-5}, "error 1055"},
      {"Rnd", {1}, "0"},
      {"RndF", {1}, "error 1193"},
  });
  for (int i = 0; i < 200; i++) {
    double r = std::stod(Call("Rnd", {6}));
    ASSERT_TRUE(r >= 0 && r < 6 && r == std::floor(r)) << r;
    double f = std::stod(Call("RndF", {}));
    ASSERT_TRUE(f >= 0 && f < 1) << f;
  }
}

TEST_F(MathLibTest, RegistersPi) {
  const char* text = nullptr;
  double pi = 0;
  ASSERT_EQ(vmGetConstant(L, "pi", &text, &pi), 1);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(pi, 3.141592653589793);
}

}  // namespace
