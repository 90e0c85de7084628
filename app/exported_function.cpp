#include "app/exported_function.h"

__attribute__((visibility("default"), used)) void QV_DLL(double a, double b, double* sum) {
  *sum = a + b;
}
