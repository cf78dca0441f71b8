// The pass over a new state that every step takes: whether all heads lie in a range and all flows are
// finite. A value that is not a number fails both.
#pragma once

#include <cstddef>

namespace vuzizi::transient {

// Whether heads[0 .. n) lie in [floor, ceiling] and flows[0 .. n) are finite; either may be null to
// check only the other.
bool heads_and_flows_plausible(const double* heads, const double* flows, std::size_t n, double floor, double ceiling);

}  // namespace vuzizi::transient
