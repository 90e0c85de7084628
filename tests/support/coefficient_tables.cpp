#include "support/coefficient_tables.h"

DenseTable denseTable(const CoefficientMatrix& sample) {
  DenseTable table(sample.edgeCount + 1, std::vector<double>(sample.edgeCount + 1, 0.0));
  for (const CoefficientEntry& entry : sample.entries)
    table[entry.row][entry.column] += WideFloat(entry.value).toDouble();
  return table;
}

CoefficientMatrix sparseTable(const DenseTable& table) {
  CoefficientMatrix sample{{}, static_cast<int>(table.size()) - 1};
  for (int i = 0; i < static_cast<int>(table.size()); ++i)
    for (int j = 0; j < static_cast<int>(table[i].size()); ++j)
      if (table[i][j] != 0.0)
        sample.entries.push_back({i, j, table[i][j]});
  return sample;
}

DenseTable denseTable(const CoefficientTable& table) {
  DenseTable dense(table.size, std::vector<double>(table.size, table.background.toDouble()));
  for (const CoefficientTable::Cell& cell : table.cells)
    dense[cell.row][cell.column] = cell.value.toDouble();
  return dense;
}

std::vector<WideFloat> wideValues(const std::vector<double>& values) {
  return {values.begin(), values.end()};
}
