// Compatibility equations along the characteristics of a reach, friction linearised on the old flow.
#pragma once

#include <cmath>

namespace vuzizi::transient {

// Friction is taken as R |Q_old| Q_new: the reach's impedance grows with the old flow,
//     C+:  H_P = cp - Bp Q_P,   cp = H_A + B Q_A,   Bp = B + R |Q_A|
//     C-:  H_P = cm + Bm Q_P,   cm = H_B - B Q_B,   Bm = B + R |Q_B|
// which keeps the update stable however far friction exceeds B (the explicit form R Q_A |Q_A|
// amplifies a disturbance by about R |Q| / B per step), and keeps a steady flow exactly.
struct Characteristic {
    double value;      // cp or cm, m
    double impedance;  // Bp or Bm, s/m2
};

inline Characteristic plus_characteristic(double head, double flow, double B, double R) {
    return {head + B * flow, B + R * std::fabs(flow)};
}

inline Characteristic minus_characteristic(double head, double flow, double B, double R) {
    return {head - B * flow, B + R * std::fabs(flow)};
}

// Head and flow where a C+ and a C- characteristic meet.
struct PointState {
    double head, flow;
};

inline PointState meet(Characteristic cp, Characteristic cm) {
    const double inv = 1.0 / (cp.impedance + cm.impedance);
    return {(cp.value * cm.impedance + cm.value * cp.impedance) * inv, (cp.value - cm.value) * inv};
}

}  // namespace vuzizi::transient
