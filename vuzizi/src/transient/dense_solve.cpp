// Gaussian elimination with partial pivoting for the Newton steps of point-element groups.
#include "dense_solve.h"

#include <cmath>
#include <utility>

namespace vuzizi::transient {

bool solve_dense(double* a, double* b, int n) {
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        double best = std::fabs(a[col * n + col]);
        for (int r = col + 1; r < n; ++r) {
            const double v = std::fabs(a[r * n + col]);
            if (v > best) {
                best = v;
                pivot = r;
            }
        }
        if (!(best > 0.0) || !std::isfinite(best)) return false;
        if (pivot != col) {
            for (int k = 0; k < n; ++k) std::swap(a[col * n + k], a[pivot * n + k]);
            std::swap(b[col], b[pivot]);
        }
        const double inv = 1.0 / a[col * n + col];
        for (int r = col + 1; r < n; ++r) {
            const double f = a[r * n + col] * inv;
            if (f == 0.0) continue;
            for (int k = col; k < n; ++k) a[r * n + k] -= f * a[col * n + k];
            b[r] -= f * b[col];
        }
    }
    for (int r = n - 1; r >= 0; --r) {
        double s = b[r];
        for (int k = r + 1; k < n; ++k) s -= a[r * n + k] * b[k];
        b[r] = s / a[r * n + r];
    }
    return true;
}

}  // namespace vuzizi::transient
