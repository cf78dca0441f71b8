// LU factorisation with partial pivoting for the Newton steps of small point-element groups.
#include "dense_solve.h"

#include <cmath>
#include <utility>

namespace vuzizi::transient {

bool factor_dense(double* a, int* pivot, int n) {
    for (int col = 0; col < n; ++col) {
        int p = col;
        double best = std::fabs(a[col * n + col]);
        for (int r = col + 1; r < n; ++r) {
            const double v = std::fabs(a[r * n + col]);
            if (v > best) {
                best = v;
                p = r;
            }
        }
        if (!(best > 0.0) || !std::isfinite(best)) return false;
        pivot[col] = p;
        if (p != col)
            for (int k = 0; k < n; ++k) std::swap(a[col * n + k], a[p * n + k]);
        const double inv = 1.0 / a[col * n + col];
        for (int r = col + 1; r < n; ++r) {
            const double f = a[r * n + col] * inv;
            a[r * n + col] = f;  // the multiplier, kept for the solve
            if (f == 0.0) continue;
            for (int k = col + 1; k < n; ++k) a[r * n + k] -= f * a[col * n + k];
        }
    }
    return true;
}

void solve_factored(const double* a, const int* pivot, double* b, int n) {
    // The factorisation swapped whole rows, multipliers included: the swaps come first.
    for (int col = 0; col < n; ++col)
        if (pivot[col] != col) std::swap(b[col], b[pivot[col]]);
    for (int col = 0; col < n; ++col)
        for (int r = col + 1; r < n; ++r) b[r] -= a[r * n + col] * b[col];
    for (int r = n - 1; r >= 0; --r) {
        double s = b[r];
        for (int k = r + 1; k < n; ++k) s -= a[r * n + k] * b[k];
        b[r] = s / a[r * n + r];
    }
}

}  // namespace vuzizi::transient
