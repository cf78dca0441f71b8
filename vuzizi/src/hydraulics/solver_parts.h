// Pieces of the steady-state iteration shared by its source files.
#pragma once

#include <vector>

#include "headloss.h"
#include "pump_curve.h"
#include "steady_state.h"

namespace vuzizi {

// Conductance of a closed link, and the weight that holds a node at a valve's setting.
inline constexpr double kClosedConductance = 1.0e-11;  // m2/s
inline constexpr double kPinConductance = 1.0e8;       // m2/s
// Smallest dh/dq used to linearise a link (an open valve without loss, a pump at shutoff). It
// only slows the iteration where the true slope is smaller; the converged state is the same,
// and the conductance stays small enough that flows carry no round-off of the heads.
inline constexpr double kMinGradient = 1.0e-3;         // s/m2
// Margins of the status decisions.
inline constexpr double kHeadTolerance = 1.5e-4;      // m
inline constexpr double kFlowTolerance = 2.8e-6;      // m3/s

// Linearised link: q_new = q - y + p (h_from - h_to).
struct LinkCoefficient {
    double p = 0.0;
    double y = 0.0;
};

// What the iteration needs about every link, prepared once.
struct LinkModels {
    std::vector<PumpModel> pump;       // per link; used for pumps only
    std::vector<double> speed;         // per link, pumps at time 0
    std::vector<std::vector<Point>> loss_curve;  // per link, GPV flow (m3/s) and loss (m)
    std::vector<double> control_head;  // per link, PRV/PSV head setting (m)
    std::vector<double> resistance;    // per link, pipes: r of h = r q^n (power-law formulas)
    // Per link, whether it touches a junction that no link may supply: such links carry no flow
    // and their state is not revised (the junctions rest; see settle_cut_off_junctions).
    std::vector<char> isolated;
};

LinkModels prepare_link_models(const Network& network);

// Loss of an open link (pipe, open valve, pump as a negative loss) at flow q.
Loss open_link_loss(const Network& network, const LinkModels& models, int32_t link, double q);
// Coefficients of a link that is not an active PRV, PSV or FCV.
LinkCoefficient plain_coefficient(const Network& network, const LinkModels& models, int32_t link,
                                  LinkState state, double q);

// Status decisions after an iteration; each returns how many states changed.
int update_valve_states(const Network& network, const LinkModels& models, const std::vector<double>& head,
                         const std::vector<double>& flow, std::vector<LinkState>& state);
int update_link_states(const Network& network, const LinkModels& models, const std::vector<double>& head,
                        const std::vector<double>& flow, std::vector<LinkState>& state);

// Whether the solver decides this link's state (false: the model fixed it).
bool state_is_free(const Link& link);

}  // namespace vuzizi
