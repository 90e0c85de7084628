#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <boost/multiprecision/gmp.hpp>

// A polynomial in x and y with integer coefficients of any size, as a ring value: the factors
// and weights of a reduced graph (graph/reduced_graph.h) when the whole Tutte polynomial is
// wanted. Coefficients lie in a dense row-major table, row i for x^i and column j for y^j,
// sized to the degrees exactly: no row or column of zeros at the end, and none at all for the
// zero polynomial.
//
// The tables of an exact expansion are copied at every tree node (four per edge) and multiplied,
// and their coefficients nearly always fit in 64 bits: so a table is shared, never changed, by
// the copies of a polynomial (a copy costs a reference count), and held as 64-bit integers, as
// GMP integers only when some coefficient does not fit (an operation that would overflow is
// redone on GMP integers). Which of the two a polynomial uses follows from its coefficients, so
// every polynomial has one form, and equal polynomials encode alike.
class IntegerPolynomial {
 public:
  using Integer = boost::multiprecision::mpz_int;

  IntegerPolynomial() = default;  // 0
  // The constant; implicit, so that Value(1) and Value(0) work as for numbers.
  IntegerPolynomial(int constant);
  // No coefficient is a fraction: a double would be truncated without a word.
  IntegerPolynomial(double) = delete;
  // x^xPower y^yPower.
  static IntegerPolynomial monomial(int xPower, int yPower);

  bool isZero() const { return cells_ == nullptr; }
  // -1 for the zero polynomial.
  int degreeX() const { return rows() - 1; }
  int degreeY() const { return columns_ - 1; }
  // The coefficient of x^i y^j; 0 beyond the degrees.
  Integer coefficient(int i, int j) const;

  // Cost: O(size of the sum) additions.
  friend IntegerPolynomial operator+(const IntegerPolynomial& p, const IntegerPolynomial& q);
  IntegerPolynomial& operator+=(const IntegerPolynomial& other);
  // Cost: one multiply-add per pair of non-zero coefficients of p and q.
  friend IntegerPolynomial operator*(const IntegerPolynomial& p, const IntegerPolynomial& q);
  friend bool operator==(const IntegerPolynomial& p, const IntegerPolynomial& q);

  // Appends bytes that determine the polynomial: equal bytes, equal polynomials. O(size).
  friend void appendEncoding(std::string& bytes, const IntegerPolynomial& p);

 private:
  // Row-major, `columns_` to a row; exactly one of the two is empty.
  struct Cells {
    std::vector<std::int64_t> narrow;
    std::vector<Integer> wide;
  };

  int rows() const;
  bool isWide() const { return cells_ != nullptr && !cells_->wide.empty(); }
  // The coefficients as GMP integers, whichever way they are held.
  std::vector<Integer> wideCells() const;
  // Holds 64-bit `cells` (of `columns` columns), trimmed.
  void settle(std::vector<std::int64_t> cells, int columns);
  // Holds `cells` trimmed, as 64-bit integers when they all fit.
  void settle(std::vector<Integer> cells, int columns);

  int columns_ = 0;
  std::shared_ptr<const Cells> cells_;  // null for the zero polynomial
};
