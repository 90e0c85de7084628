#include "estimator/wide_float.h"

#include <algorithm>
#include <cfloat>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <string>

#include <boost/multiprecision/cpp_bin_float.hpp>

namespace {

// ldexp takes an int; beyond this shift every double over- or underflows anyway.
constexpr std::int64_t kLargestUsefulShift = 2200;

int clampedShift(std::int64_t shift) {
  return static_cast<int>(std::clamp(shift, -kLargestUsefulShift, kLargestUsefulShift));
}

}  // namespace

WideFloat WideFloat::scaledByPowerOfTwo(double value, std::int64_t exponent) {
  return settled(value, std::clamp(exponent, -kExponentLimit, kExponentLimit));
}

WideFloat WideFloat::rescaled(double scaled, std::int64_t exponent) {
  if (scaled == 0.0 || !std::isfinite(scaled))
    return {scaled, 0};
  int shift = 0;
  const double fraction = std::frexp(scaled, &shift);  // 0.5 <= |fraction| < 1
  const std::int64_t total = exponent + shift;         // value = fraction * 2^total
  if (total > kExponentLimit)
    return {std::copysign(std::numeric_limits<double>::infinity(), fraction), 0};
  if (total < -kExponentLimit)
    return {std::copysign(0.0, fraction), 0};
  if (total >= -510 && total <= 511)  // back in [2^-511, 2^511): a plain double
    return {std::ldexp(fraction, static_cast<int>(total)), 0};
  return {fraction, total};
}

double WideFloat::outOfBandToDouble() const {
  return std::ldexp(scaled_, clampedShift(exponent_));
}

std::int64_t WideFloat::binaryExponent() const {
  if (scaled_ == 0.0 || !std::isfinite(scaled_))
    return 0;
  return std::ilogb(scaled_) + 1 + exponent_;
}

WideFloat WideFloat::normalised() const {
  if (exponent_ == 0)
    return *this;
  return rescaled(scaled_, exponent_);
}

WideFloat WideFloat::addAligned(WideFloat a, WideFloat b) {
  // Zeros carry exponent 0, so they can meet a scaled value here; x + 0 is x.
  if (a.scaled_ == 0.0)
    return b;
  if (b.scaled_ == 0.0)
    return a;
  if (a.exponent_ < b.exponent_)
    std::swap(a, b);
  return settled(a.scaled_ + std::ldexp(b.scaled_, clampedShift(b.exponent_ - a.exponent_)),
                 a.exponent_);
}

WideFloat sqrt(WideFloat value) {
  if (value.exponent_ == 0)
    return WideFloat::settled(std::sqrt(value.scaled_), 0);
  // An even exponent halves exactly; doubling the significand is exact.
  const bool odd = value.exponent_ % 2 != 0;
  return WideFloat::settled(std::sqrt(odd ? 2.0 * value.scaled_ : value.scaled_),
                            (odd ? value.exponent_ - 1 : value.exponent_) / 2);
}

double log(WideFloat value) {
  value = value.normalised();
  return std::log(value.scaled_) + static_cast<double>(value.exponent_) * 0.69314718055994530942;
}

double log10(WideFloat value) {
  value = value.normalised();
  return std::log10(value.scaled_) + static_cast<double>(value.exponent_) * 0.30102999566398119521;
}

WideFloat power(double base, int exponent) {
  const double plain = std::pow(base, static_cast<double>(exponent));
  if (std::isnormal(plain) || plain == 0.0)
    return plain;
  WideFloat result = 1.0;
  WideFloat factor = base;
  for (int rest = exponent; rest > 0; rest /= 2) {
    if (rest % 2 != 0)
      result *= factor;
    factor *= factor;
  }
  return result;
}

namespace {

namespace mp = boost::multiprecision;
// 128 bits leave a relative error far below 10^-17 after the ~120 roundings of a power of ten
// with an exponent of 19 digits, so the rounding to at most 17 printed digits is the exact
// value's (a tie, which would need more, cannot occur: see printWide).
using Precise =
    mp::number<mp::cpp_bin_float<128, mp::digit_base_2, void, std::int64_t>, mp::et_off>;

Precise powerOfTen(std::int64_t exponent) {
  Precise result = 1, factor = 10;
  for (std::uint64_t rest = static_cast<std::uint64_t>(std::llabs(exponent)); rest > 0; rest /= 2) {
    if (rest % 2 != 0)
      result *= factor;
    factor *= factor;
  }
  return exponent < 0 ? Precise(1) / result : result;
}

// The `digits` leading decimal digits of |value| rounded to nearest, and the decimal exponent of
// the first one. The value lies beyond a double's range (or is subnormal), so its decimal
// exponent is at least 308 in magnitude: an exact tie would need the 53-bit significand to be
// divisible by 5^300 or the value to be a multiple of 2^-310, neither of which can be.
std::pair<std::uint64_t, std::int64_t> leadingDigits(double significand,
                                                     std::int64_t binaryExponent, int digits) {
  const Precise exact = mp::ldexp(Precise(std::fabs(significand)), binaryExponent);
  std::int64_t decimalExponent = static_cast<std::int64_t>(
      std::floor(std::log10(std::fabs(significand)) +
                 static_cast<long double>(binaryExponent) * 0.301029995663981195213738894724493L));
  const Precise low = powerOfTen(digits - 1), high = powerOfTen(digits);
  for (;;) {
    const Precise scaled = mp::round(exact / powerOfTen(decimalExponent - (digits - 1)));
    if (scaled >= high) {
      ++decimalExponent;
    } else if (scaled < low) {
      --decimalExponent;
    } else {
      return {scaled.convert_to<std::uint64_t>(), decimalExponent};
    }
  }
}

// General notation of a value whose decimal exponent is beyond the fixed-notation range: the
// first digit, a point and the other digits without trailing zeros, and a signed exponent of at
// least two digits, as printf's %g writes it.
std::string printWide(double significand, std::int64_t binaryExponent, int precision) {
  const int digits = std::clamp(precision == 0 ? 1 : precision, 1, 17);
  const auto [leading, decimalExponent] = leadingDigits(significand, binaryExponent, digits);
  std::string mantissa = std::to_string(leading);
  std::string text = std::signbit(significand) ? "-" : "";
  text += mantissa[0];
  mantissa.erase(0, 1);
  while (!mantissa.empty() && mantissa.back() == '0')
    mantissa.pop_back();
  if (!mantissa.empty())
    text += "." + mantissa;
  text += decimalExponent < 0 ? "e-" : "e+";
  const std::string exponentDigits = std::to_string(std::llabs(decimalExponent));
  if (exponentDigits.size() < 2)
    text += "0";
  return text + exponentDigits;
}

}  // namespace

std::ostream& operator<<(std::ostream& stream, const WideFloat& value) {
  const double nearest = value.toDouble();
  if (!value.isFinite() || value.isZero() ||
      (std::isfinite(nearest) && std::fabs(nearest) >= DBL_MIN))
    return stream << nearest;
  // Out of range: split into a significand in [0.5, 1) and a base-2 exponent.
  const std::int64_t exponent = value.binaryExponent();
  const double significand = (value / WideFloat::scaledByPowerOfTwo(1.0, exponent)).toDouble();
  return stream << printWide(significand, exponent, static_cast<int>(stream.precision()));
}
