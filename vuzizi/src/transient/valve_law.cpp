// The valve loss law of the run.
#include "valve_law.h"

#include <algorithm>

#include "model.h"

namespace vuzizi::transient {

double ValveLaw::loss_at(double opening) const {
    return std::max(0.0, steady + open * (1.0 / (opening * opening) - 1.0 / (start * start)));
}

double valve_loss_of(double coefficient, double diameter) {
    const double area = circle_area(diameter);
    return coefficient / (2.0 * kGravity * area * area);
}

}  // namespace vuzizi::transient
