#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include <mpfr.h>

#include "estimator/wide_float.h"

namespace {

std::string printed(const WideFloat& value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

std::string printedDouble(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// Normal doubles over the whole range, both signs, so that some operands lie outside the band a
// WideFloat keeps as a plain double and some results leave a double's range.
double randomNormal(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> fraction(0.5, 1.0);
  std::uniform_int_distribution<int> exponent(-1021, 1024);
  const double value = std::ldexp(fraction(rng), exponent(rng));
  return rng() % 2 == 0 ? value : -value;
}

bool sameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// A correctly rounded reference with the same 53-bit significand and the widest exponent range
// the library allows. (Boost's cpp_bin_float<53> is no reference: it rounds some differences of
// operands 2^54 apart away from the double result.)
class Reference {
 public:
  Reference() {
    mpfr_set_emin(mpfr_get_emin_min());
    mpfr_set_emax(mpfr_get_emax_max());
    mpfr_init2(value_, 53);
    mpfr_set_d(value_, 1.0, MPFR_RNDN);
  }
  ~Reference() { mpfr_clear(value_); }
  Reference(const Reference&) = delete;
  Reference& operator=(const Reference&) = delete;

  void apply(int operation, double operand) {
    switch (operation) {
      case 0:
        mpfr_mul_d(value_, value_, operand, MPFR_RNDN);
        break;
      case 1:
        mpfr_div_d(value_, value_, operand, MPFR_RNDN);
        break;
      case 2:
        mpfr_add_d(value_, value_, operand, MPFR_RNDN);
        break;
      case 3: {  // x - 0.75 x, the product rounded first
        mpfr_t scaled;
        mpfr_init2(scaled, 53);
        mpfr_mul_d(scaled, value_, 0.75, MPFR_RNDN);
        mpfr_sub(value_, value_, scaled, MPFR_RNDN);
        mpfr_clear(scaled);
        break;
      }
      default:
        mpfr_abs(value_, value_, MPFR_RNDN);
        mpfr_sqrt(value_, value_, MPFR_RNDN);
        break;
    }
  }

  bool equals(const WideFloat& wide) const {
    const std::int64_t exponent = wide.binaryExponent();
    const double significand = (wide / WideFloat::scaledByPowerOfTwo(1.0, exponent)).toDouble();
    mpfr_t copy;
    mpfr_init2(copy, 53);
    mpfr_set_d(copy, significand, MPFR_RNDN);
    mpfr_mul_2si(copy, copy, exponent, MPFR_RNDN);
    const bool same = mpfr_equal_p(copy, value_) != 0;
    mpfr_clear(copy);
    return same;
  }

 private:
  mpfr_t value_;
};

}  // namespace

TEST(WideFloat, RoundsLikeADoubleWhereverTheDoubleResultIsNormal) {
  std::mt19937_64 rng(2024);
  int compared = 0;
  for (int trial = 0; trial < 200000; ++trial) {
    // Half the pairs of similar size, so that sums cancel and quotients stay near 1.
    const double a = randomNormal(rng);
    const double b =
        trial % 2 == 0 ? randomNormal(rng) : a * std::ldexp(1.0 + 1e-3 * (rng() % 7), 0);
    const std::pair<double, WideFloat> results[] = {
        {a + b, WideFloat(a) + WideFloat(b)},
        {a - b, WideFloat(a) - WideFloat(b)},
        {a * b, WideFloat(a) * WideFloat(b)},
        {a / b, WideFloat(a) / WideFloat(b)},
        {std::sqrt(std::fabs(a)), sqrt(WideFloat(std::fabs(a)))}};
    for (const auto& [plain, wide] : results) {
      if (!std::isnormal(plain) && plain != 0.0)
        continue;
      ++compared;
      ASSERT_TRUE(sameBits(plain, wide.toDouble())) << a << " and " << b << " gave " << plain;
    }
    ASSERT_EQ(a < b, WideFloat(a) < WideFloat(b));
    ASSERT_EQ(a == b, WideFloat(a) == WideFloat(b));
    ASSERT_TRUE(WideFloat(a) == WideFloat(a) && !(WideFloat(a) < WideFloat(a)));
  }
  EXPECT_GT(compared, 800000);
}

TEST(WideFloat, EveryOperationRoundsOnceBeyondADoublesRange) {
  // Chains of operations whose values wander far outside a double's range and back, against a
  // reference that rounds each operation to 53 bits: the bits agree at every step.
  std::mt19937_64 rng(99);
  for (int chain = 0; chain < 2000; ++chain) {
    WideFloat wide = 1.0;
    Reference exact;
    for (int step = 0; step < 60; ++step) {
      const double operand = randomNormal(rng);
      const int operation = static_cast<int>(rng() % 5);
      switch (operation) {
        case 0:
          wide *= operand;
          break;
        case 1:
          wide /= operand;
          break;
        case 2:
          wide += operand;
          break;
        case 3:
          wide -= wide * 0.75;
          break;  // the same size: the difference cancels
        default:
          wide = sqrt(abs(wide));
          break;
      }
      exact.apply(operation, operand);
      ASSERT_TRUE(exact.equals(wide)) << "chain " << chain << " step " << step;
    }
  }
}

TEST(WideFloat, ZerosInfinitiesAndNotANumberBehaveAsInADouble) {
  const WideFloat huge = WideFloat::scaledByPowerOfTwo(1.0, 5000);
  const WideFloat tiny = WideFloat::scaledByPowerOfTwo(1.0, -5000);
  EXPECT_EQ(printed(WideFloat(-2.0) * 0.0), "-0");
  EXPECT_EQ(printed(WideFloat(-2.0) * 0.0 + 0.0), "0");  // -0 + 0 is +0
  EXPECT_EQ(printed(huge - huge), "0");
  EXPECT_EQ(printed(huge + 0.0), printed(huge));
  EXPECT_EQ(printed(0.0 + tiny), printed(tiny));
  EXPECT_TRUE((huge * huge).isFinite() && (tiny * tiny).isZero() == false);
  EXPECT_EQ((huge * tiny).toDouble(), 1.0);
  EXPECT_EQ((huge / huge).toDouble(), 1.0);
  EXPECT_EQ(huge.toDouble(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(tiny.toDouble(), 0.0);
  EXPECT_TRUE(tiny < huge && -huge < tiny && tiny > 0.0 && huge > DBL_MAX && tiny < DBL_MIN);
  EXPECT_TRUE(huge == WideFloat::scaledByPowerOfTwo(2.0, 4999) && huge != huge * 2.0);
  // 0 / 0 gives the very not-a-number a double gives, so it prints the same.
  const WideFloat nan = WideFloat(0.0) / WideFloat(0.0);
  EXPECT_EQ(printed(nan), printedDouble(0.0 / static_cast<double>(huge.isZero())));
  EXPECT_TRUE(nan.isNaN() && !(nan == nan) && nan != nan && !(nan < 1.0) && !(1.0 < nan));
  EXPECT_EQ(printed(WideFloat(1.0) / 0.0), "inf");
  EXPECT_EQ(printed(-huge / 0.0), "-inf");
  EXPECT_EQ(printed(huge * std::numeric_limits<double>::infinity()), "inf");
  // The exponent saturates to infinity or zero rather than wrapping.
  WideFloat growing = WideFloat::scaledByPowerOfTwo(1.0, WideFloat::kExponentLimit - 1);
  EXPECT_TRUE(growing.isFinite());
  growing *= growing;
  EXPECT_FALSE(growing.isFinite());
  EXPECT_TRUE((WideFloat(1.0) / growing).isZero());
  EXPECT_NEAR(log(huge), 5000 * std::log(2.0), 1e-9);
  EXPECT_NEAR(log(WideFloat(3.0) * tiny), std::log(3.0) - 5000 * std::log(2.0), 1e-9);
}

TEST(WideFloat, AValueBackFromBeyondTheRangeActsAsThePlainDouble) {
  // Up by 2^600 and down again by other paths: the same values, whatever exponent each was
  // left holding, must compare, convert, print and take logarithms exactly as the plain double.
  std::mt19937_64 rng(11);
  const WideFloat up = WideFloat::scaledByPowerOfTwo(1.0, 600);
  for (int trial = 0; trial < 2000; ++trial) {
    const double plain = std::ldexp(std::uniform_real_distribution<double>(0.5, 1.0)(rng),
                                    static_cast<int>(rng() % 1000) - 500);
    const WideFloat back = (WideFloat(plain) * up) * 0x1p-300 * 0x1p-300;
    const WideFloat viaHalf = (WideFloat(plain) * 0x1p-900) / 0x1p-900;
    for (const WideFloat& wide : {back, viaHalf}) {
      ASSERT_TRUE(sameBits(wide.toDouble(), plain)) << plain;
      ASSERT_TRUE(wide == plain && !(wide != plain) && wide <= plain && wide >= plain);
      ASSERT_TRUE(wide < plain * 1.0000001 && wide > plain * 0.9999999);
      ASSERT_EQ(wide.binaryExponent(), WideFloat(plain).binaryExponent());
      ASSERT_TRUE(sameBits(log(wide), std::log(plain)) && sameBits(log10(wide), std::log10(plain)));
      ASSERT_EQ(printed(wide), printedDouble(plain));
      ASSERT_TRUE(sameBits((wide - plain).toDouble(), 0.0));
    }
  }
}

TEST(WideFloat, PrintsLikeADoubleInRangeAndInTheSameStyleBeyond) {
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 20000; ++trial) {
    const double value = randomNormal(rng);
    ASSERT_EQ(printed(value), printedDouble(value));
  }
  for (double value : {0.0, -0.0, 1.0, 1e6, 123456.5, 1e-5, 0.0001, DBL_MAX, DBL_MIN, -3.5})
    EXPECT_EQ(printed(value), printedDouble(value));
  // Figures checked against an exact decimal expansion of the powers.
  EXPECT_EQ(printed(WideFloat::scaledByPowerOfTwo(1.0, 1500)), "3.50747e+451");
  EXPECT_EQ(printed(WideFloat::scaledByPowerOfTwo(1.0, 4500)), "4.315e+1354");
  EXPECT_EQ(printed(WideFloat::scaledByPowerOfTwo(-1.0, -1500)), "-2.85106e-452");
  EXPECT_EQ(printed(WideFloat::scaledByPowerOfTwo(1.0, 1024)), "1.79769e+308");
  EXPECT_EQ(printed(power(3, 1000)), "1.32207e+477");
  // Below a double's normal range the significand keeps all its bits.
  EXPECT_EQ(printed(WideFloat::scaledByPowerOfTwo(1.0, -1030)), "8.69169e-311");
  EXPECT_EQ(printed(WideFloat::scaledByPowerOfTwo(7.0, -1080)), "5.40384e-325");
  EXPECT_EQ(printed(WideFloat(1e200) * 1e200), "1e+400");
  EXPECT_EQ(printed(WideFloat(-1.2e-200) * 1e-200), "-1.2e-400");
  // Rounding may carry into a new leading digit.
  EXPECT_EQ(printed(WideFloat(9.999999e200) * 1e200), "1e+401");
  std::ostringstream precise;
  precise.precision(10);
  precise << WideFloat::scaledByPowerOfTwo(1.0, 1500);
  EXPECT_EQ(precise.str(), "3.507466211e+451");
}

TEST(WideFloat, PowersAreStdPowInRangeAndWideBeyond) {
  for (int base : {-3, -2, -1, 0, 1, 2, 5})
    for (int exponent : {0, 1, 2, 7, 30, 60})
      EXPECT_TRUE(sameBits(power(base, exponent).toDouble(), std::pow(base, exponent)))
          << base << "^" << exponent;
  EXPECT_EQ(power(2, 4500), WideFloat::scaledByPowerOfTwo(1.0, 4500));
  EXPECT_EQ(power(-2, 1025), WideFloat::scaledByPowerOfTwo(-1.0, 1025));
  EXPECT_EQ(power(0, 5000), 0.0);
  EXPECT_NEAR(log(power(3, 1000)) / std::log(3.0), 1000.0, 1e-9);
  EXPECT_NEAR(log(power(-7, 800)) / std::log(7.0), 800.0, 1e-9);
}
