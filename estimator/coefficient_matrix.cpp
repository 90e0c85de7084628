#include "estimator/coefficient_matrix.h"

WideFloat CoefficientMatrix::at(int row, int column) const {
  for (const CoefficientEntry& entry : entries) {
    if (entry.row == row && entry.column == column)
      return entry.value;
  }
  return 0.0;
}
