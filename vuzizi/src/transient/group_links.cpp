// Continuity of a group's links and the row of a shut link.
#include "group_elements.h"

namespace vuzizi::transient {

void add_link_continuity(GroupSystem& g, const LinkRow& l, const double* x) {
    // residual(node) is inflow minus outflow; F = 0 is continuity.
    if (!l.from_fixed) {
        g.residual(l.from) -= x[l.row];
        g.add(l.from, l.row, -1.0);
    }
    if (!l.to_fixed) {
        g.residual(l.to) += x[l.row];
        g.add(l.to, l.row, 1.0);
    }
}

void add_shut_link(GroupSystem& g, const LinkRow& l, const double* x) {
    g.residual(l.row) = x[l.row];
    g.add(l.row, l.row, 1.0);
    g.add(l.row, l.from, 0.0);
    g.add(l.row, l.to, 0.0);
}

}  // namespace vuzizi::transient
