#pragma once

#include <cstdint>

// Arithmetic modulo an odd prime p < 2^63, for exact determinants assembled from many primes by
// Chinese remaindering: the fewer bits each prime leaves unused, the fewer eliminations.
//
// Residues are held in Montgomery form, x as x * 2^64 mod p, so that a product needs three
// 64-bit multiplications and no division (a division by p costs as much as all the rest of an
// elimination's update). Sums and differences act on the held form directly; values enter
// with `fromInteger` and leave with `toInteger`.
class PrimeField {
 public:
  explicit PrimeField(std::uint64_t prime);

  std::uint64_t prime() const { return p_; }

  // The held form of value mod p, for any sign. Uses one division.
  std::uint64_t fromInteger(std::int64_t value) const;
  // The residue in [0, p) that a held form stands for.
  std::uint64_t toInteger(std::uint64_t held) const { return reduce(0, held); }

  // Branch-free: in elimination loops the comparison goes either way at random, and a
  // mispredicted branch costs more than the whole operation.
  std::uint64_t subtract(std::uint64_t a, std::uint64_t b) const {
    return a - b + (p_ & -static_cast<std::uint64_t>(a < b));
  }

  std::uint64_t multiply(std::uint64_t a, std::uint64_t b) const {
    const DoubleWord product = static_cast<DoubleWord>(a) * b;
    return reduce(static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product));
  }

  // The inverse of a non-zero held value, held. O(log p).
  std::uint64_t inverse(std::uint64_t held) const;

  std::uint64_t one() const { return one_; }

 private:
  __extension__ using DoubleWord = unsigned __int128;

  // (high * 2^64 + low) / 2^64 mod p for a value below p * 2^64 (Montgomery's reduction): adding
  // the multiple m * p that clears the low word leaves a sum below 2p * 2^64, which fits 128 bits
  // because p < 2^63, and its high word is below 2p.
  std::uint64_t reduce(std::uint64_t high, std::uint64_t low) const {
    const std::uint64_t m = low * negatedInverse_;
    const DoubleWord sum = static_cast<DoubleWord>(m) * p_ + low;  // low word 0, carry out
    const std::uint64_t carry = static_cast<std::uint64_t>(sum >> 64);
    const std::uint64_t result = high + carry;
    return result - (p_ & -static_cast<std::uint64_t>(result >= p_));
  }

  std::uint64_t p_;
  std::uint64_t negatedInverse_;  // -1 / p mod 2^64
  std::uint64_t one_;             // 2^64 mod p: 1 held
  std::uint64_t r2_;              // 2^128 mod p: converts into the held form
  std::uint64_t r3_;              // 2^192 mod p: turns a plain inverse of a held value into one
};

// True when n (below 2^63) is prime: Miller-Rabin with the seven bases of Jim Sinclair, which no
// composite below 2^64 passes, so the answer is certain. O(log n) products.
bool isWordPrime(std::uint64_t n);

// The primes below 2^63 in descending order, one per call.
class DescendingWordPrimes {
 public:
  std::uint64_t next();

 private:
  std::uint64_t candidate_ = (std::uint64_t{1} << 63) - 1;
};
