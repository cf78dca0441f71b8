// Losses and linearised coefficients of pipes, pumps and valves.
#include <algorithm>
#include <cmath>

#include "solver_parts.h"

namespace vuzizi {
namespace {

// Loss of a general purpose valve from its curve, linear between points and beyond the ends.
Loss curve_loss(const std::vector<Point>& curve, double q) {
    const double a = std::fabs(q);
    if (curve.size() == 1) {
        const double dh = curve[0].x > 0.0 ? curve[0].y / curve[0].x : kMinGradient;
        return {dh * q, std::max(dh, kMinGradient)};
    }
    std::size_t k = 1;
    while (k + 1 < curve.size() && a > curve[k].x) ++k;
    const double slope = (curve[k].y - curve[k - 1].y) / (curve[k].x - curve[k - 1].x);
    const double h = curve[k - 1].y + slope * (a - curve[k - 1].x);
    return {std::copysign(h, q), std::max(slope, kMinGradient)};
}

}  // namespace

LinkModels prepare_link_models(const Network& network) {
    LinkModels m;
    const std::size_t n = network.links.size();
    m.pump.resize(n);
    m.speed.assign(n, 1.0);
    m.loss_curve.resize(n);
    m.control_head.assign(n, 0.0);
    m.resistance.assign(n, 0.0);
    m.isolated.assign(n, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const Link& link = network.links[k];
        const auto index = static_cast<int32_t>(k);
        if (link.kind == LinkKind::Pipe) {
            m.resistance[k] = power_law_resistance(link, network.options.headloss);
        } else if (link.kind == LinkKind::Pump) {
            m.pump[k] = make_pump_model(network, link);
            m.speed[k] = pump_speed(network, index, 0.0);
        } else if (link.kind == LinkKind::Valve) {
            if (link.valve_type == ValveType::GPV) {
                for (const Point& p : network.curves[link.loss_curve].points)
                    m.loss_curve[k].push_back(Point{network.units.to_si(Quantity::Flow, p.x),
                                                    network.units.to_si(Quantity::Head, p.y)});
            }
            if (link.valve_type == ValveType::PRV) m.control_head[k] = network.nodes[link.to].elevation + link.setting;
            if (link.valve_type == ValveType::PSV) m.control_head[k] = network.nodes[link.from].elevation + link.setting;
        }
    }
    return m;
}

Loss open_link_loss(const Network& network, const LinkModels& models, int32_t link, double q) {
    const Link& l = network.links[link];
    switch (l.kind) {
        case LinkKind::Pipe: {
            Loss loss = pipe_friction(l, network.options.headloss, network.options.kinematic_viscosity, q,
                                      models.resistance[link]);
            const Loss minor = minor_loss(l.minor_loss, l.diameter, q);
            return {loss.h + minor.h, loss.dh + minor.dh};
        }
        case LinkKind::Pump: {
            double head = 0.0;
            double slope = 0.0;
            models.pump[link].head_gain(q, models.speed[link], head, slope);
            return {-head, std::max(-slope, kMinGradient)};
        }
        case LinkKind::Valve: {
            if (l.valve_type == ValveType::GPV && l.status != LinkStatus::Open) {
                const Loss curve = curve_loss(models.loss_curve[link], q);
                const Loss minor = minor_loss(l.minor_loss, l.diameter, q);
                return {curve.h + minor.h, curve.dh + minor.dh};
            }
            // A throttle valve adds its setting to the minor loss while it acts.
            double k = l.minor_loss;
            if (l.valve_type == ValveType::TCV && l.status == LinkStatus::Active) k = l.setting;
            const Loss minor = minor_loss(k, l.diameter, q);
            return {minor.h, std::max(minor.dh, kMinGradient)};
        }
    }
    return {};
}

LinkCoefficient plain_coefficient(const Network& network, const LinkModels& models, int32_t link,
                                  LinkState state, double q) {
    if (state == LinkState::Closed) return {kClosedConductance, q};
    const Link& l = network.links[link];
    if (l.kind == LinkKind::Valve && l.valve_type == ValveType::PBV && state == LinkState::Active) {
        // Holds the loss at its setting, a loss that does not depend on the flow.
        constexpr double p = 1.0 / kMinGradient;
        return {p, p * l.setting};
    }
    const Loss loss = open_link_loss(network, models, link, q);
    const double p = 1.0 / std::max(loss.dh, kMinGradient);
    return {p, p * loss.h};
}

}  // namespace vuzizi
