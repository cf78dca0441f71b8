// Small dense linear systems: LU factorisation with partial pivoting, in place, and its solve.
#pragma once

namespace vuzizi::transient {

// Factorises the n x n row-major matrix `a` in place, the row swaps in `pivot`. False when singular.
bool factor_dense(double* a, int* pivot, int n);

// Solves with a matrix factorised by factor_dense; `b` receives x.
void solve_factored(const double* a, const int* pivot, double* b, int n);

}  // namespace vuzizi::transient
