#include "estimator/integer_polynomial.h"

#include <algorithm>
#include <utility>

namespace {

using Integer = IntegerPolynomial::Integer;
using Narrow = std::int64_t;
// GMP's test and read of a machine word are for long.
static_assert(sizeof(long) == sizeof(Narrow));

// The cell operations of both kinds of table; on 64-bit integers they return false where the
// result would overflow, and the caller starts again on GMP integers.
bool isZeroCell(Narrow cell) {
  return cell == 0;
}
bool isZeroCell(const Integer& cell) {
  return mpz_sgn(cell.backend().data()) == 0;
}
bool addTo(Narrow& sum, Narrow term) {
  return !__builtin_add_overflow(sum, term, &sum);
}
bool addTo(Integer& sum, const Integer& term) {
  sum += term;
  return true;
}
bool addProductTo(Narrow& sum, Narrow a, Narrow b) {
  Narrow product;
  return !__builtin_mul_overflow(a, b, &product) && !__builtin_add_overflow(sum, product, &sum);
}
bool addProductTo(Integer& sum, const Integer& a, const Integer& b) {
  mpz_addmul(sum.backend().data(), a.backend().data(), b.backend().data());
  return true;
}

// A row-major table of coefficients, read-only.
template <typename Cell>
struct Table {
  const std::vector<Cell>& cells;
  int columns;

  int rows() const { return columns == 0 ? 0 : static_cast<int>(cells.size()) / columns; }
  const Cell& at(int i, int j) const { return cells[static_cast<std::size_t>(i * columns + j)]; }
};

template <typename Cell>
Cell& cellAt(std::vector<Cell>& cells, int columns, int i, int j) {
  return cells[static_cast<std::size_t>(i * columns + j)];
}

// p + q into `cells`, with `columns` columns, untrimmed; false on overflow.
template <typename Cell>
bool addTables(Table<Cell> p, Table<Cell> q, std::vector<Cell>& cells, int& columns) {
  columns = std::max(p.columns, q.columns);
  cells.assign(static_cast<std::size_t>(std::max(p.rows(), q.rows()) * columns), Cell(0));
  for (int i = 0; i < p.rows(); ++i)
    for (int j = 0; j < p.columns; ++j)
      cellAt(cells, columns, i, j) = p.at(i, j);
  for (int i = 0; i < q.rows(); ++i)
    for (int j = 0; j < q.columns; ++j)
      if (!addTo(cellAt(cells, columns, i, j), q.at(i, j)))
        return false;
  return true;
}

// p * q (both non-zero) into `cells`, with `columns` columns; false on overflow. Over the
// integers the leading coefficients in x (polynomials in y) of two non-zero factors multiply to
// a non-zero one, and likewise in y: the product's degrees are the sums, with nothing to trim.
template <typename Cell>
bool multiplyTables(Table<Cell> p, Table<Cell> q, std::vector<Cell>& cells, int& columns) {
  columns = p.columns + q.columns - 1;
  cells.assign(static_cast<std::size_t>((p.rows() + q.rows() - 1) * columns), Cell(0));
  for (int i = 0; i < p.rows(); ++i) {
    for (int j = 0; j < p.columns; ++j) {
      const Cell& factor = p.at(i, j);
      if (isZeroCell(factor))
        continue;
      for (int k = 0; k < q.rows(); ++k)
        for (int l = 0; l < q.columns; ++l)
          if (!addProductTo(cellAt(cells, columns, i + k, j + l), factor, q.at(k, l)))
            return false;
    }
  }
  return true;
}

// Drops trailing rows and columns of zeros (after a sum whose leading terms cancelled).
template <typename Cell>
void trimTable(std::vector<Cell>& cells, int& columns) {
  const Table<Cell> table{cells, columns};
  int rows = table.rows(), kept = columns;
  auto rowIsZero = [&](int i) {
    for (int j = 0; j < kept; ++j)
      if (!isZeroCell(table.at(i, j)))
        return false;
    return true;
  };
  auto columnIsZero = [&](int j) {
    for (int i = 0; i < rows; ++i)
      if (!isZeroCell(table.at(i, j)))
        return false;
    return true;
  };
  while (rows > 0 && rowIsZero(rows - 1))
    --rows;
  while (rows > 0 && kept > 0 && columnIsZero(kept - 1))
    --kept;
  if (rows == 0)
    kept = 0;
  if (rows == table.rows() && kept == columns)
    return;
  std::vector<Cell> trimmed(static_cast<std::size_t>(rows * kept));
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < kept; ++j)
      cellAt(trimmed, kept, i, j) = std::move(cellAt(cells, columns, i, j));
  cells = std::move(trimmed);
  columns = kept;
}

template <typename Number>
void appendBytes(std::string& bytes, const Number& number) {
  bytes.append(reinterpret_cast<const char*>(&number), sizeof number);
}

}  // namespace

IntegerPolynomial::IntegerPolynomial(int constant) {
  if (constant == 1) {
    // The weight every node starts from: one table for all of them.
    static const auto one = std::make_shared<const Cells>(Cells{{1}, {}});
    columns_ = 1;
    cells_ = one;
  } else if (constant != 0) {
    settle(std::vector<Narrow>{constant}, 1);
  }
}

IntegerPolynomial IntegerPolynomial::monomial(int xPower, int yPower) {
  std::vector<Narrow> cells(static_cast<std::size_t>((xPower + 1) * (yPower + 1)), 0);
  cells.back() = 1;
  IntegerPolynomial result;
  result.settle(std::move(cells), yPower + 1);
  return result;
}

int IntegerPolynomial::rows() const {
  if (cells_ == nullptr)
    return 0;
  return static_cast<int>(isWide() ? cells_->wide.size() : cells_->narrow.size()) / columns_;
}

IntegerPolynomial::Integer IntegerPolynomial::coefficient(int i, int j) const {
  if (i < 0 || j < 0 || i >= rows() || j >= columns_)
    return 0;
  const auto cell = static_cast<std::size_t>(i * columns_ + j);
  return isWide() ? cells_->wide[cell] : Integer(cells_->narrow[cell]);
}

std::vector<IntegerPolynomial::Integer> IntegerPolynomial::wideCells() const {
  if (cells_ == nullptr)
    return {};
  return isWide() ? cells_->wide
                  : std::vector<Integer>(cells_->narrow.begin(), cells_->narrow.end());
}

void IntegerPolynomial::settle(std::vector<Narrow> cells, int columns) {
  trimTable(cells, columns);
  columns_ = columns;
  cells_ = columns == 0 ? nullptr : std::make_shared<const Cells>(Cells{std::move(cells), {}});
}

void IntegerPolynomial::settle(std::vector<Integer> cells, int columns) {
  trimTable(cells, columns);
  const bool fits = std::all_of(cells.begin(), cells.end(), [](const Integer& cell) {
    return mpz_fits_slong_p(cell.backend().data()) != 0;
  });
  if (!fits) {
    columns_ = columns;
    cells_ = std::make_shared<const Cells>(Cells{{}, std::move(cells)});
    return;
  }
  std::vector<Narrow> narrow;
  narrow.reserve(cells.size());
  for (const Integer& cell : cells)
    narrow.push_back(mpz_get_si(cell.backend().data()));
  settle(std::move(narrow), columns);
}

bool operator==(const IntegerPolynomial& p, const IntegerPolynomial& q) {
  if (p.cells_ == q.cells_)
    return true;
  if (p.cells_ == nullptr || q.cells_ == nullptr || p.columns_ != q.columns_)
    return false;
  return p.cells_->narrow == q.cells_->narrow && p.cells_->wide == q.cells_->wide;
}

IntegerPolynomial operator+(const IntegerPolynomial& p, const IntegerPolynomial& q) {
  if (p.isZero())
    return q;
  if (q.isZero())
    return p;
  IntegerPolynomial sum;
  int columns = 0;
  if (!p.isWide() && !q.isWide()) {
    std::vector<Narrow> cells;
    if (addTables<Narrow>({p.cells_->narrow, p.columns_}, {q.cells_->narrow, q.columns_}, cells,
                          columns)) {
      sum.settle(std::move(cells), columns);
      return sum;
    }
  }
  std::vector<Integer> cells;
  addTables<Integer>({p.wideCells(), p.columns_}, {q.wideCells(), q.columns_}, cells, columns);
  sum.settle(std::move(cells), columns);
  return sum;
}

IntegerPolynomial& IntegerPolynomial::operator+=(const IntegerPolynomial& other) {
  return *this = *this + other;
}

IntegerPolynomial operator*(const IntegerPolynomial& p, const IntegerPolynomial& q) {
  if (p.isZero() || q.isZero())
    return {};
  // Most factors of an input edge are 1.
  if (p == IntegerPolynomial(1))
    return q;
  if (q == IntegerPolynomial(1))
    return p;
  IntegerPolynomial product;
  int columns = 0;
  if (!p.isWide() && !q.isWide()) {
    std::vector<Narrow> cells;
    if (multiplyTables<Narrow>({p.cells_->narrow, p.columns_}, {q.cells_->narrow, q.columns_},
                               cells, columns)) {
      product.columns_ = columns;
      product.cells_ = std::make_shared<const IntegerPolynomial::Cells>(
          IntegerPolynomial::Cells{std::move(cells), {}});
      return product;
    }
  }
  std::vector<Integer> cells;
  multiplyTables<Integer>({p.wideCells(), p.columns_}, {q.wideCells(), q.columns_}, cells, columns);
  product.settle(std::move(cells), columns);
  return product;
}

void appendEncoding(std::string& bytes, const IntegerPolynomial& p) {
  bytes.push_back(p.isWide() ? 'w' : 'n');
  appendBytes(bytes, p.columns_);
  appendBytes(bytes, p.rows());
  if (p.cells_ == nullptr)
    return;
  if (!p.isWide()) {
    bytes.append(reinterpret_cast<const char*>(p.cells_->narrow.data()),
                 p.cells_->narrow.size() * sizeof(Narrow));
    return;
  }
  // Each coefficient's limb count, with its sign, then its limbs.
  for (const Integer& cell : p.cells_->wide) {
    const auto& value = cell.backend().data();
    const auto limbs = static_cast<std::int32_t>(mpz_size(value));
    appendBytes(bytes, mpz_sgn(value) < 0 ? -limbs : limbs);
    bytes.append(reinterpret_cast<const char*>(mpz_limbs_read(value)),
                 static_cast<std::size_t>(limbs) * sizeof(mp_limb_t));
  }
}
