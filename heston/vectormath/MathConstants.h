// MathConstants: the constants the library's formulas share, each the double nearest its value.
#pragma once

namespace heston {

constexpr double kPi = 3.141592653589793238462643383279503;
constexpr double kTwoPi = 6.283185307179586476925286766559006;
constexpr double kInversePi = 0.318309886183790671537767526745029;
constexpr double kInverseSqrtTwoPi = 0.398942280401432677939946059934382;

}  // namespace heston
