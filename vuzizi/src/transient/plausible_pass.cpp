// Two values at a time where the processor has SSE2 (every x86-64, and 32-bit x86 built for it): the
// compiler keeps a comparison that may meet a NaN in order, so the scalar loop is not vectorised.
#include "plausible_pass.h"

#include <cmath>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define VUZIZI_PLAUSIBLE_SSE2 1
#endif

namespace vuzizi::transient {

namespace {

constexpr double kLargestFinite = std::numeric_limits<double>::max();

bool scalar_pass(const double* heads, const double* flows, std::size_t from, std::size_t n, double floor,
                 double ceiling) {
    bool ok = true;
    for (std::size_t i = from; i < n; ++i) {
        if (heads != nullptr) ok &= (heads[i] >= floor) & (heads[i] <= ceiling);
        if (flows != nullptr) ok &= std::fabs(flows[i]) <= kLargestFinite;
    }
    return ok;
}

}  // namespace

bool heads_and_flows_plausible(const double* heads, const double* flows, std::size_t n, double floor, double ceiling) {
    std::size_t i = 0;
#ifdef VUZIZI_PLAUSIBLE_SSE2
    // Ordered comparisons: false where either side is not a number.
    const __m128d low = _mm_set1_pd(floor), high = _mm_set1_pd(ceiling), largest = _mm_set1_pd(kLargestFinite);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set_epi32(0x7fffffff, -1, 0x7fffffff, -1));
    __m128d ok = _mm_cmpeq_pd(low, low);  // all bits set
    for (; i + 2 <= n; i += 2) {
        if (heads != nullptr) {
            const __m128d h = _mm_loadu_pd(heads + i);
            ok = _mm_and_pd(ok, _mm_and_pd(_mm_cmpge_pd(h, low), _mm_cmple_pd(h, high)));
        }
        if (flows != nullptr) {
            const __m128d q = _mm_and_pd(_mm_loadu_pd(flows + i), magnitude);
            ok = _mm_and_pd(ok, _mm_cmple_pd(q, largest));
        }
    }
    if (_mm_movemask_pd(ok) != 0x3) return false;
#endif
    return scalar_pass(heads, flows, i, n, floor, ceiling);
}

}  // namespace vuzizi::transient
