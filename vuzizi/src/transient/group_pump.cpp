// Row of a running pump in a node group: the head rise follows its curve.
#include "group_elements.h"

namespace vuzizi::transient {

void add_pump(GroupSystem& g, const LinkRow& l, const double* x, double gain, double slope) {
    g.residual(l.row) = x[l.to] - x[l.from] - gain;
    g.add(l.row, l.to, 1.0);
    g.add(l.row, l.from, -1.0);
    g.add(l.row, l.row, -slope);
}

}  // namespace vuzizi::transient
