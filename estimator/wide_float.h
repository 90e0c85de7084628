#pragma once

#include <cmath>
#include <cstdint>
#include <iosfwd>

// A binary floating-point number with a double's 53-bit significand and a 64-bit exponent: the
// values of large graphs leave a double's range (T(2, 2) = 2^m is 2^4500 for 4,500 edges, and
// level weights grow like 2^depth) long before they leave this one.
//
// The value is scaled_ * 2^exponent_. The double scaled_ is kept in the safe band
// [2^-511, 2^511) (or is 0, an infinity or not-a-number, with exponent_ == 0), and the exponent
// moves only when a result leaves that band: then the significand is brought back to [0.5, 1)
// and the powers of two go into exponent_ (out of line). A value of ordinary size starts as a
// plain double with a zero exponent, and each operation is one double operation, an integer add
// and a range test, however large the exponent: a weight beyond a double's range that is
// multiplied by factors of about 2 is rescaled once in some 500 products. The form is not unique
// (the same value can be held with different exponents), so everything that reads the value goes
// through the value, never the parts.
//
// Rounding: every operation returns its exact result rounded once to 53 bits, to nearest even.
// Within the band the product or quotient of two significands cannot overflow nor become
// subnormal (their magnitudes lie in [2^-1022, 2^1022]), and a sum of two significands of the
// same exponent cannot either: the double operation rounds exactly as on the scaled values, since
// rounding to 53 bits commutes with scaling by a power of two. With different exponents the
// operand with the smaller exponent is shifted to the other's exponent first; the shift can lose
// bits only when the shifted value falls below 2^-1022, that is below 2^-511 times the other
// significand (which is at least 2^-511), far under half an ulp of the sum, and the sum then
// rounds to the other operand as it would exactly. A double operation whose operands and result are
// normal doubles rounds its exact result once to 53 bits too, so on such operands +, -, *, / and
// sqrt give the very bits a double gives, and the reports print the same figures.
class WideFloat {
 public:
  WideFloat() = default;
  // Every double is a WideFloat, so doubles mix freely with the type.
  WideFloat(double value) : WideFloat(settled(value, 0)) {}

  // value * 2^exponent, exactly (clamped to infinity or zero beyond +-kExponentLimit).
  static WideFloat scaledByPowerOfTwo(double value, std::int64_t exponent);

  // The nearest double: infinite or (sub)normal-rounded beyond a double's range.
  double toDouble() const { return exponent_ == 0 ? scaled_ : outOfBandToDouble(); }
  // The base-2 exponent e with value = f * 2^e and 0.5 <= |f| < 1; 0 for 0, inf and NaN.
  std::int64_t binaryExponent() const;
  bool isZero() const { return scaled_ == 0.0; }
  bool isNaN() const { return std::isnan(scaled_); }
  bool isFinite() const { return std::isfinite(scaled_); }
  bool isNegative() const { return std::signbit(scaled_); }

  WideFloat operator-() const {
    WideFloat negated = *this;
    negated.scaled_ = -scaled_;
    return negated;
  }

  friend WideFloat operator*(WideFloat a, WideFloat b) {
    return settled(a.scaled_ * b.scaled_, a.exponent_ + b.exponent_);
  }

  friend WideFloat operator/(WideFloat a, WideFloat b) {
    return settled(a.scaled_ / b.scaled_, a.exponent_ - b.exponent_);
  }

  friend WideFloat operator+(WideFloat a, WideFloat b) {
    if (a.exponent_ != b.exponent_) [[unlikely]]
      return addAligned(a, b);
    return settled(a.scaled_ + b.scaled_, a.exponent_);
  }

  friend WideFloat operator-(WideFloat a, WideFloat b) { return a + -b; }

  WideFloat& operator+=(WideFloat other) { return *this = *this + other; }
  WideFloat& operator-=(WideFloat other) { return *this = *this - other; }
  WideFloat& operator*=(WideFloat other) { return *this = *this * other; }
  WideFloat& operator/=(WideFloat other) { return *this = *this / other; }

  // Comparisons follow a double's: every comparison with not-a-number is false but !=.
  friend bool operator==(WideFloat a, WideFloat b) {
    return a.exponent_ == b.exponent_ ? a.scaled_ == b.scaled_ : (a - b).scaled_ == 0.0;
  }
  friend bool operator<(WideFloat a, WideFloat b) {
    return a.exponent_ == b.exponent_ ? a.scaled_ < b.scaled_ : (a - b).scaled_ < 0.0;
  }
  friend bool operator>(WideFloat a, WideFloat b) { return b < a; }
  friend bool operator<=(WideFloat a, WideFloat b) { return a < b || a == b; }
  friend bool operator>=(WideFloat a, WideFloat b) { return b < a || a == b; }

  friend WideFloat sqrt(WideFloat value);
  friend WideFloat abs(WideFloat value) { return value.isNegative() ? -value : value; }
  // Natural and decimal logarithms, as doubles (finite for every finite positive value).
  friend double log(WideFloat value);
  friend double log10(WideFloat value);

  // Beyond this the exponent is taken as overflow or underflow, so that exponent arithmetic
  // never leaves an int64.
  static constexpr std::int64_t kExponentLimit = std::int64_t{1} << 61;

 private:
  static constexpr double kBandLow = 0x1p-511;
  static constexpr double kBandHigh = 0x1p511;

  WideFloat(double scaled, std::int64_t exponent) : scaled_(scaled), exponent_(exponent) {}

  // The value scaled * 2^exponent in its held form. The common case stays inline and in
  // registers; rescaling is out of line and takes and returns the parts by value, so that no
  // operand has to live in memory for it.
  // A zero exponent is tested on its own first: the result then has a known zero exponent,
  // which spares the next operation of a chain its exponent test.
  static WideFloat settled(double scaled, std::int64_t exponent) {
    const double magnitude = std::fabs(scaled);
    const bool inBand = magnitude >= kBandLow && magnitude < kBandHigh;
    if (inBand && exponent == 0) [[likely]]
      return {scaled, 0};
    const bool exponentFits =
        static_cast<std::uint64_t>(exponent + kExponentLimit) <= 2 * std::uint64_t{kExponentLimit};
    if (inBand && exponentFits)
      return {scaled, exponent};
    return rescaled(scaled, exponent);
  }
  static WideFloat rescaled(double scaled, std::int64_t exponent);
  double outOfBandToDouble() const;
  // The value in the form it had before any laziness: a plain double with exponent 0 when the
  // value lies in the band, else a significand in [0.5, 1). The logarithms start from it, so that
  // their last bits do not depend on when the exponent last moved.
  WideFloat normalised() const;
  static WideFloat addAligned(WideFloat a, WideFloat b);

  double scaled_ = 0.0;
  std::int64_t exponent_ = 0;
};

// base^exponent for exponent >= 0, with 0^0 = 1. Where std::pow gives a finite double that is
// normal or an exact 0 this is that double, so figures within range stay as they were; beyond,
// it is computed by repeated squaring in the wide range.
WideFloat power(double base, int exponent);

// Prints as the stream prints a double when the value lies within a double's normal range (or is
// 0, an infinity or not-a-number); beyond it in the same general notation with the stream's
// precision as the number of significant digits, such as 3.50746e+451 or -1.2e-400.
std::ostream& operator<<(std::ostream& stream, const WideFloat& value);
