// Network and steady state to transient model: elements, steady values, devices, conditions.
#include "network_adapter.h"

#include <cmath>

#include "hydraulics/headloss.h"
#include "hydraulics/pump_curve.h"
#include "solver.h"
#include "valve_law.h"

namespace vuzizi::transient {

namespace {

NodeKind kind_of(vuzizi::NodeKind k) {
    switch (k) {
        case vuzizi::NodeKind::Reservoir: return NodeKind::Reservoir;
        case vuzizi::NodeKind::Tank: return NodeKind::Tank;
        case vuzizi::NodeKind::Junction: break;
    }
    return NodeKind::Junction;
}

Imposed imposed_of(BoundaryMode mode) {
    switch (mode) {
        case BoundaryMode::Head: return Imposed::Head;
        case BoundaryMode::Demand: return Imposed::Demand;
        case BoundaryMode::Pressure: return Imposed::Pressure;
    }
    return Imposed::Nothing;
}

// Shutoff head of a constant-power pump's run curve, relative to its steady head (as a one-point curve).
constexpr double kPowerPumpShutoffRatio = 4.0 / 3.0;

std::string at_line(int line) { return line > 0 ? " (line " + std::to_string(line) + ")" : std::string(); }

// A constant-power pump takes, for the run, the head curve through its steady operating point
// (Q*, H*) with the shape of a one-point curve: H = 4/3 H* - (H* / 3 Q*^2) Q^2. The law H = P / (w Q)
// itself has an infinite head at zero flow, so no check valve could ever shut it and a trip could
// not run it down; the curve keeps its power at the operating point and the slope there is -2/3 of
// the law's. Without a steady flow the operating point is the one of the law at the steady lift.
bool constant_power_curve(const PumpModel& pm, const Link& link, double flow, double lift, PumpCurve& curve,
                          std::string& error) {
    double q = flow;
    double h = q > kTinyFlow ? pm.power / (pm.weight * q) : lift;
    if (!(q > kTinyFlow)) q = h > 0.0 ? pm.power / (pm.weight * h) : 0.0;
    if (!(q > 0.0) || !(h > 0.0) || !std::isfinite(q) || !std::isfinite(h)) {
        error = "pump " + link.id + at_line(link.line) +
                ": a constant-power pump with neither a steady flow nor a positive lift has no operating point "
                "to take its head curve from";
        return false;
    }
    curve.shutoff = kPowerPumpShutoffRatio * h;
    curve.coefficient = (curve.shutoff - h) / (q * q);
    curve.exponent = 2.0;
    return true;
}

// The pump's curve at its time-0 speed, which the run takes as its rated speed.
bool pump_curve(const Network& network, const Link& link, double speed, double flow, double lift, PumpCurve& curve,
                std::string& error) {
    const PumpModel pm = make_pump_model(network, link);
    switch (pm.kind) {
        case PumpModel::Kind::PowerLaw:
            curve.shutoff = speed * speed * pm.a;
            curve.coefficient = pm.b * std::pow(speed, 2.0 - pm.c);
            curve.exponent = pm.c;
            curve.linear_below = speed * pm.linear_below;
            return true;
        case PumpModel::Kind::Table:
            for (const Point& p : pm.table) {
                curve.table_flow.push_back(p.x * speed);
                curve.table_head.push_back(p.y * speed * speed);
            }
            return true;
        case PumpModel::Kind::ConstantPower: break;
    }
    return constant_power_curve(pm, link, flow, lift, curve, error);
}

// Minor-loss coefficient of a valve fully open: a TCV's setting, else its minor loss, else a gate
// valve's.
double open_loss_coefficient(const Link& valve) {
    if (valve.valve_type == ValveType::TCV && valve.setting > 0.0) return valve.setting;
    return valve.minor_loss > 0.0 ? valve.minor_loss : kOpenValveLossCoefficient;
}

// A valve that holds a pressure or a drop: with no steady flow it is shut, and its steady heads
// (a drop across it at zero flow) are those of a shut valve.
bool pressure_valve(ValveType type) {
    return type == ValveType::PRV || type == ValveType::PSV || type == ValveType::PBV;
}

// Whether a steady flow through a pipe or valve is round-off (pumps carry no diameter).
bool still(const Link& link, double q) {
    return link.kind != LinkKind::Pump && link.diameter > 0.0 &&
           std::fabs(q) < kStillVelocity * circle_area(link.diameter);
}

// Darcy factor of a pipe with no steady flow: its own head-loss law (friction and minor loss) at
// a small velocity, written as f L/D v^2/2g.
double still_friction_factor(const Network& network, const Link& pipe) {
    if (!(pipe.length > 0.0) || !(pipe.diameter > 0.0)) return 0.0;
    const double q = kStillPipeFrictionVelocity * circle_area(pipe.diameter);
    const double loss = pipe_friction(pipe, network.options.headloss, network.options.kinematic_viscosity, q).h +
                        minor_loss(pipe.minor_loss, pipe.diameter, q).h;
    const double velocity_head = kStillPipeFrictionVelocity * kStillPipeFrictionVelocity / (2.0 * kGravity);
    return loss * pipe.diameter / (pipe.length * velocity_head);
}

}  // namespace

bool build_model(const Network& network, const SteadyState& steady, const BoundaryConditions& boundaries,
                 TransientModel& model, std::string& error) {
    model = TransientModel{};
    const std::size_t n = network.nodes.size();
    if (steady.head.size() != n || steady.flow.size() != network.links.size()) {
        error = "the network has no steady state to start from";
        return false;
    }
    // Round-off flows of pipes and valves that carry none are taken as zero.
    std::vector<double> flow(steady.flow);
    for (std::size_t k = 0; k < network.links.size(); ++k)
        if (still(network.links[k], flow[k])) flow[k] = 0.0;
    // Junction demands from the steady flows themselves, so that the start is exactly balanced.
    std::vector<double> balance(n, 0.0);
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        if (steady.state[k] == LinkState::Closed) continue;
        balance[static_cast<std::size_t>(network.links[k].from)] -= flow[k];
        balance[static_cast<std::size_t>(network.links[k].to)] += flow[k];
    }
    model.nodes.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const vuzizi::Node& src = network.nodes[i];
        Node& node = model.nodes[i];
        node.id = src.id;
        node.kind = kind_of(src.kind);
        node.elevation = src.elevation;
        node.head = steady.head[i];
        if (node.kind == NodeKind::Reservoir) node.elevation = steady.head[i];
        if (node.kind == NodeKind::Junction) node.demand = balance[i];
        if (node.kind == NodeKind::Tank) {
            if (!(src.diameter > 0.0)) {
                error = "tank " + src.id + at_line(src.line) + ": a transient run needs its diameter";
                return false;
            }
            node.tank_area = circle_area(src.diameter);
        }
    }
    for (const auto& [index, condition] : boundaries) {
        if (index < 0 || static_cast<std::size_t>(index) >= n || condition.points.empty()) continue;
        Node& node = model.nodes[static_cast<std::size_t>(index)];
        node.imposed = imposed_of(condition.mode);
        for (const BoundaryPoint& p : condition.points) {
            node.series.times.push_back(p.time);
            node.series.values.push_back(p.value);
        }
    }

    const TransientData& td = network.transient;
    const double default_speed = td.default_wave_speed > 0.0 ? td.default_wave_speed : kDefaultWaveSpeed;
    std::vector<int32_t> pump_of_link(network.links.size(), -1);
    std::vector<int32_t> valve_of_link(network.links.size(), -1);
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        const Link& link = network.links[k];
        const bool closed = steady.state[k] == LinkState::Closed;
        switch (link.kind) {
            case LinkKind::Pipe: {
                if (closed) break;  // a shut pipe takes no part in the run
                Pipe p;
                p.id = link.id;
                p.from = link.from;
                p.to = link.to;
                p.length = link.length;
                p.diameter = link.diameter;
                const double given = k < td.wave_speed.size() ? td.wave_speed[k] : 0.0;
                p.wave_speed = given > 0.0 ? given : default_speed;
                p.flow = flow[k];
                p.friction_factor = still_friction_factor(network, link);
                model.pipes.push_back(p);
                break;
            }
            case LinkKind::Pump: {
                Pump p;
                p.id = link.id;
                p.from = link.from;
                p.to = link.to;
                const double speed = pump_speed(network, static_cast<int32_t>(k), 0.0);
                p.running = link.status != LinkStatus::Closed && speed > 0.0;
                p.flow = closed ? 0.0 : steady.flow[k];
                const double lift = steady.head[static_cast<std::size_t>(link.to)] -
                                    steady.head[static_cast<std::size_t>(link.from)];
                if (p.running && !pump_curve(network, link, speed, p.flow, lift, p.curve, error)) return false;
                pump_of_link[k] = static_cast<int32_t>(model.pumps.size());
                model.pumps.push_back(p);
                break;
            }
            case LinkKind::Valve: {
                Valve v;
                v.id = link.id;
                v.from = link.from;
                v.to = link.to;
                if (!(link.diameter > 0.0)) {
                    error = "valve " + link.id + at_line(link.line) + ": a transient run needs its diameter";
                    return false;
                }
                v.open_loss = valve_loss_of(open_loss_coefficient(link), link.diameter);
                v.shut = closed || (pressure_valve(link.valve_type) && flow[k] == 0.0);
                v.flow = v.shut ? 0.0 : flow[k];
                valve_of_link[k] = static_cast<int32_t>(model.valves.size());
                model.valves.push_back(v);
                break;
            }
        }
    }
    for (const PumpTripData& t : td.pump_trips) {
        const int32_t p = pump_of_link[static_cast<std::size_t>(t.link)];
        if (p < 0) continue;
        Pump& pump = model.pumps[static_cast<std::size_t>(p)];
        pump.trip_time = t.time;
        pump.inertia = t.inertia;
        pump.rated_speed = t.rated_speed;
        pump.efficiency = t.efficiency;
    }
    for (const ValveMotionData& m : td.valve_motions) {
        const int32_t v = valve_of_link[static_cast<std::size_t>(m.link)];
        if (v < 0) continue;
        Series& s = model.valves[static_cast<std::size_t>(v)].opening;
        for (const ValveMotionPoint& p : m.points) {
            s.times.push_back(p.time);
            s.values.push_back(p.opening);
        }
    }
    for (const SurgeTankData& s : td.surge_tanks) model.surge_tanks.push_back({s.id, s.node, s.area, s.loss});
    for (const AirVesselData& v : td.air_vessels)
        model.air_vessels.push_back({v.id, v.node, v.gas_volume, v.exponent, v.loss_in, v.loss_out});
    for (const ReliefValveData& r : td.relief_valves)
        model.relief_valves.push_back({r.id, r.node, r.set_pressure, r.discharge});
    model.time_step = td.time_step;
    model.wave_speed_tolerance = td.wave_speed_tolerance > 0.0 ? td.wave_speed_tolerance
                                 : td.interpolate_travel    ? kInterpolatedWaveSpeedTolerance
                                                            : kDefaultWaveSpeedTolerance;
    model.column_separation = td.column_separation;
    if (td.vapour_head > 0.0) model.vapour_head = td.vapour_head;
    model.orifice_demands = td.orifice_demands;
    model.interpolate_travel = td.interpolate_travel;
    model.threads = td.threads;
    model.dead_end_valve_flow = td.dead_end_valve_flow;
    model.orifice_conditions = td.orifice_conditions;
    return true;
}

}  // namespace vuzizi::transient
