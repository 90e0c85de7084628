#include "estimator/subgraph_form.h"

void appendVarint(std::string& bytes, std::uint32_t number) {
  while (number >= 0x80) {
    bytes.push_back(static_cast<char>((number & 0x7f) | 0x80));
    number >>= 7;
  }
  bytes.push_back(static_cast<char>(number));
}

// A value within a double's range is that double; only others need the exponent apart.
void appendEncoding(std::string& bytes, const WideFloat& value) {
  double plain = value.toDouble();
  std::int64_t exponent = 0;
  if (!(WideFloat(plain) == value) && !value.isNaN()) {
    exponent = value.binaryExponent();
    plain = (value * WideFloat::scaledByPowerOfTwo(1.0, -exponent)).toDouble();
  }
  bytes.append(reinterpret_cast<const char*>(&plain), sizeof plain);
  bytes.append(reinterpret_cast<const char*>(&exponent), sizeof exponent);
}
