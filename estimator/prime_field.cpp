#include "estimator/prime_field.h"

#include <stdexcept>
#include <utility>

PrimeField::PrimeField(std::uint64_t prime) : p_(prime) {
  // Newton's iteration doubles the correct low bits of 1 / p: p * p == 1 mod 8 for odd p gives
  // 3, and five steps give 96 >= 64.
  std::uint64_t inverse = prime;
  for (int step = 0; step < 5; ++step)
    inverse *= 2 - prime * inverse;
  negatedInverse_ = -inverse;
  one_ = static_cast<std::uint64_t>((static_cast<DoubleWord>(1) << 64) % prime);
  r2_ = static_cast<std::uint64_t>((static_cast<DoubleWord>(one_) << 64) % prime);
  r3_ = multiply(r2_, r2_);
}

std::uint64_t PrimeField::fromInteger(std::int64_t value) const {
  if (value == 0)
    return 0;
  const auto magnitude = static_cast<std::uint64_t>(value < 0 ? -(value + 1) : value - 1) + 1;
  const std::uint64_t rest = multiply(magnitude % p_, r2_);
  return value < 0 ? subtract(0, rest) : rest;
}

std::uint64_t PrimeField::inverse(std::uint64_t held) const {
  // Extended Euclid on the held integer h = x * 2^64 gives 1 / h = (1 / x) * 2^-64; the held
  // form of 1 / x is that times 2^128, one multiplication by 2^192 away.
  // Invariant: oldCoefficient * h == oldRemainder (mod p), likewise for the current pair.
  std::int64_t oldRemainder = static_cast<std::int64_t>(held);
  std::int64_t remainder = static_cast<std::int64_t>(p_);
  std::int64_t oldCoefficient = 1, coefficient = 0;
  while (remainder != 0) {
    const std::int64_t quotient = oldRemainder / remainder;
    oldRemainder -= quotient * remainder;
    std::swap(oldRemainder, remainder);
    oldCoefficient -= quotient * coefficient;
    std::swap(oldCoefficient, coefficient);
  }
  const std::uint64_t plain = oldCoefficient < 0 ? p_ - static_cast<std::uint64_t>(-oldCoefficient)
                                                 : static_cast<std::uint64_t>(oldCoefficient);
  return multiply(plain, r3_);
}

namespace {

// One Miller-Rabin round in the field of the odd n > 2: false when `base` proves n composite.
bool passesRound(const PrimeField& field, std::uint64_t base) {
  const std::uint64_t n = field.prime();
  if (base % n == 0)
    return true;
  std::uint64_t odd = n - 1;
  int twos = 0;
  for (; odd % 2 == 0; odd /= 2)
    ++twos;
  const std::uint64_t minusOne = field.subtract(0, field.one());
  std::uint64_t x = field.one();
  for (std::uint64_t factor = field.fromInteger(static_cast<std::int64_t>(base % n)), rest = odd;
       rest > 0; rest /= 2, factor = field.multiply(factor, factor)) {
    if (rest % 2 != 0)
      x = field.multiply(x, factor);
  }
  if (x == field.one() || x == minusOne)
    return true;
  for (int k = 1; k < twos; ++k) {
    x = field.multiply(x, x);
    if (x == minusOne)
      return true;
  }
  return false;
}

}  // namespace

bool isWordPrime(std::uint64_t n) {
  if (n < 2)
    return false;
  for (std::uint64_t small : {2u, 3u, 5u, 7u, 11u, 13u})
    if (n % small == 0)
      return n == small;
  if (n >= (std::uint64_t{1} << 63))
    throw std::invalid_argument("isWordPrime works below 2^63");
  const PrimeField field(n);
  for (std::uint64_t base : {2u, 325u, 9375u, 28178u, 450775u, 9780504u, 1795265022u})
    if (!passesRound(field, base))
      return false;
  return true;
}

std::uint64_t DescendingWordPrimes::next() {
  while (candidate_ > 2) {
    const std::uint64_t n = candidate_;
    candidate_ -= 2;
    if (isWordPrime(n))
      return n;
  }
  throw std::out_of_range("no word-size prime left");
}
