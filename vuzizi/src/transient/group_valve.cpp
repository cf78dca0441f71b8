// Row of an open valve in a node group: a quadratic loss.
#include <cmath>

#include "group_elements.h"

namespace vuzizi::transient {

void add_valve(GroupSystem& g, const LinkRow& l, const double* x, double K) {
    const double q = x[l.row];
    g.residual(l.row) = x[l.from] - x[l.to] - K * q * std::fabs(q);
    g.add(l.row, l.from, 1.0);
    g.add(l.row, l.to, -1.0);
    g.add(l.row, l.row, -2.0 * K * std::fabs(q));
}

}  // namespace vuzizi::transient
