// Row of a lumped pipe in a node group: a rigid water column, implicit over the step.
#include <cmath>

#include "group_elements.h"

namespace vuzizi::transient {

void add_lumped_pipe(GroupSystem& g, const LinkRow& l, const double* x, const LumpedColumn& c) {
    const double q = x[l.row];
    g.residual(l.row) = x[l.from] - x[l.to] - c.friction * q * std::fabs(q) - c.inertia_per_dt * (q - c.old_flow);
    g.add(l.row, l.from, 1.0);
    g.add(l.row, l.to, -1.0);
    g.add(l.row, l.row, -2.0 * c.friction * std::fabs(q) - c.inertia_per_dt);
}

}  // namespace vuzizi::transient
