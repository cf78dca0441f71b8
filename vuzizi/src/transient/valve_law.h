// Loss of a valve during the run as its opening moves, and its loss when fully open.
#pragma once

namespace vuzizi::transient {

// Loss coefficient (of v^2 / 2g) of a fully open valve that its model gives none: a gate valve's.
inline constexpr double kOpenValveLossCoefficient = 0.2;

// dH = loss * Q|Q| across a valve at opening tau (relative to full opening), starting from its
// steady loss at the opening `start` it has at time 0:
//     loss(tau) = steady + open * (1 / tau^2 - 1 / start^2),   not below zero.
// Where the steady loss is that of a valve of full-open loss `open` at `start` (open / start^2)
// this is open / tau^2; a valve that is wide open in the steady state with no loss of its own
// still shuts; and the loss grows without bound as the opening goes to zero.
struct ValveLaw {
    double steady = 0.0;  // s2/m5, loss at time 0
    double open = 0.0;    // s2/m5, loss fully open
    double start = 1.0;   // opening at time 0, positive

    // Loss at a positive opening.
    double loss_at(double opening) const;
};

// Loss coefficient dH / (Q|Q|) (s2/m5) of a minor loss `coefficient` of v^2 / 2g in diameter d.
double valve_loss_of(double coefficient, double diameter);

}  // namespace vuzizi::transient
