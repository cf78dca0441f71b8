// Small dense linear systems: Gaussian elimination with partial pivoting, in place.
#pragma once

namespace vuzizi::transient {

// Solves a x = b for the n x n row-major matrix `a`; `b` receives x. False when singular.
bool solve_dense(double* a, double* b, int n);

}  // namespace vuzizi::transient
