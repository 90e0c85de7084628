#pragma once

// Stores a + b in *sum. Exported from the executable; nothing in the program calls it.
void QV_DLL(double a, double b, double* sum);
