// Model-file sections of the transient run: wave speeds, surge devices, pump trips, valve
// motions and the run's own options (time step, column separation, demand law). Registered in the
// parser's section table.
#include <cmath>
#include <cstdio>
#include <numbers>

#include "input/parse_context.h"
#include "model.h"
#include "step_workers.h"
#include "text.h"

namespace vuzizi {
namespace {

constexpr double kDefaultExponent = 1.2;  // polytropic exponent of an air vessel by default
// Deepest water column a surge device is checked for: 10 km, beyond any level or head a network
// holds. A device whose volume at that depth, or whose gas law there, is not a finite number is
// refused, so that every curve of the run stays finite.
constexpr double kDeepestDeviceColumn = 1.0e4;  // m

bool surge_tank_is_finite(const ParseContext& c, double area) {
    const double volume = area * kDeepestDeviceColumn;
    return std::isfinite(c.network.units.from_si(Quantity::Area, area)) &&
           std::isfinite(c.network.units.from_si(Quantity::Volume, volume));
}

// A length for messages: "10000 m".
std::string metres(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g m", value);
    return text;
}

// The run holds p V^n constant: it must be finite at the deepest column.
bool air_vessel_is_finite(double gas_volume, double exponent) {
    return std::isfinite(kDeepestDeviceColumn * std::pow(gas_volume, exponent));
}

// Loss coefficient xi on a connection of diameter d as dH = k Q|Q| (s2/m5).
double connection_loss(double xi, double diameter) {
    const double a = transient::circle_area(diameter);
    return xi / (2.0 * kGravity * a * a);
}

// `before 'name' after`, for messages.
std::string quoted(std::string_view before, std::string_view name, std::string_view after = {}) {
    std::string text(before);
    text += '\'';
    text += name;
    text += '\'';
    text += after;
    return text;
}

template <typename T>
bool taken(const std::vector<T>& items, const std::string& id) {
    for (const T& item : items)
        if (item.id == id) return true;
    return false;
}

// False, with the error reported, when a device of the same kind already has this identifier.
template <typename T>
bool identifier_is_new(ParseContext& c, const std::vector<T>& items, const std::string& id, const std::string& owner) {
    if (!taken(items, id)) return true;
    c.error(Error::DuplicateId, owner + " is already defined");
    return false;
}

// [WAVESPEEDS]: `pipe speed` lines, or `DEFAULT speed`. Speeds in length units per second.
void read_wave_speed(ParseContext& c, const SectionLine& line) {
    const auto name = c.token(line, 0, "pipe identifier");
    if (!name) return;
    const bool is_default = equals_ignoring_case(*name, "DEFAULT");
    const std::string owner = is_default ? std::string("the default wave speed") : quoted("wave speed of pipe ", *name);
    const auto speed = c.number(line, 1, owner);
    if (!speed) return;
    if (!(*speed > 0.0)) {
        c.error(Error::InvalidValue, owner + " must be positive");
        return;
    }
    const double si = c.si(Quantity::Length, *speed);
    if (is_default) {
        c.network.transient.default_wave_speed = si;
        return;
    }
    const int32_t link = c.link_ref(*name, owner);
    if (link == kNone) return;
    if (c.network.links[static_cast<std::size_t>(link)].kind != LinkKind::Pipe) {
        c.error(Error::InvalidValue, quoted("", *name, " is not a pipe: only pipes carry a wave speed"));
        return;
    }
    c.network.transient.wave_speed[static_cast<std::size_t>(link)] = si;
}

// [SURGETANKS]: id node area [connection-diameter loss-coefficient].
void read_surge_tank(ParseContext& c, const SectionLine& line) {
    const auto id = c.identifier(line, 0, "surge tank identifier");
    if (!id) return;
    const std::string owner = "surge tank '" + *id + "'";
    const auto node_name = c.token(line, 1, "node of " + owner);
    const auto area = c.number(line, 2, "area of " + owner);
    const auto diameter = c.number_or(line, 3, "connection diameter of " + owner, 0.0);
    const auto xi = c.number_or(line, 4, "loss coefficient of " + owner, 0.0);
    if (!node_name || !area || !diameter || !xi) return;
    const int32_t node = c.node_ref(*node_name, owner);
    if (node == kNone) return;
    if (!(*area > 0.0) || *xi < 0.0 || (*xi > 0.0 && !(*diameter > 0.0))) {
        c.error(Error::InvalidValue, owner + ": area must be positive; a loss needs a positive connection diameter");
        return;
    }
    if (!surge_tank_is_finite(c, c.si(Quantity::Area, *area))) {
        c.error(Error::InvalidValue, owner + ": its volume over a column of " + metres(kDeepestDeviceColumn) +
                                         " is beyond the range of numbers");
        return;
    }
    if (!identifier_is_new(c, c.network.transient.surge_tanks, *id, owner)) return;
    SurgeTankData s;
    s.id = *id;
    s.node = node;
    s.area = c.si(Quantity::Area, *area);
    s.loss = *xi > 0.0 ? connection_loss(*xi, c.si(Quantity::Diameter, *diameter)) : 0.0;
    s.line = c.line;
    c.network.transient.surge_tanks.push_back(s);
}

// [AIRVESSELS]: id node gas-volume [exponent [connection-diameter inflow-loss outflow-loss]].
void read_air_vessel(ParseContext& c, const SectionLine& line) {
    const auto id = c.identifier(line, 0, "air vessel identifier");
    if (!id) return;
    const std::string owner = "air vessel '" + *id + "'";
    const auto node_name = c.token(line, 1, "node of " + owner);
    const auto volume = c.number(line, 2, "gas volume of " + owner);
    const auto exponent = c.number_or(line, 3, "polytropic exponent of " + owner, kDefaultExponent);
    const auto diameter = c.number_or(line, 4, "connection diameter of " + owner, 0.0);
    const auto xi_in = c.number_or(line, 5, "inflow loss coefficient of " + owner, 0.0);
    const auto xi_out = c.number_or(line, 6, "outflow loss coefficient of " + owner, xi_in.value_or(0.0));
    if (!node_name || !volume || !exponent || !diameter || !xi_in || !xi_out) return;
    const int32_t node = c.node_ref(*node_name, owner);
    if (node == kNone) return;
    const bool losses = *xi_in > 0.0 || *xi_out > 0.0;
    if (!(*volume > 0.0) || !(*exponent >= 1.0) || *xi_in < 0.0 || *xi_out < 0.0 || (losses && !(*diameter > 0.0))) {
        c.error(Error::InvalidValue, owner + ": gas volume must be positive, exponent at least 1; losses need a "
                                             "positive connection diameter");
        return;
    }
    if (!air_vessel_is_finite(c.si(Quantity::Volume, *volume), *exponent)) {
        c.error(Error::InvalidValue, owner + ": its gas law at the given volume is beyond the range of numbers");
        return;
    }
    if (!identifier_is_new(c, c.network.transient.air_vessels, *id, owner)) return;
    AirVesselData v;
    v.id = *id;
    v.node = node;
    v.gas_volume = c.si(Quantity::Volume, *volume);
    v.exponent = *exponent;
    if (losses) {
        const double d = c.si(Quantity::Diameter, *diameter);
        v.loss_in = connection_loss(*xi_in, d);
        v.loss_out = connection_loss(*xi_out, d);
    }
    v.line = c.line;
    c.network.transient.air_vessels.push_back(v);
}

// [RELIEFVALVES]: id node set-pressure diameter discharge-coefficient; Q = Cd A sqrt(2 g dp).
void read_relief_valve(ParseContext& c, const SectionLine& line) {
    const auto id = c.identifier(line, 0, "relief valve identifier");
    if (!id) return;
    const std::string owner = "relief valve '" + *id + "'";
    const auto node_name = c.token(line, 1, "node of " + owner);
    const auto set = c.number(line, 2, "set pressure of " + owner);
    const auto diameter = c.number(line, 3, "diameter of " + owner);
    const auto cd = c.number(line, 4, "discharge coefficient of " + owner);
    if (!node_name || !set || !diameter || !cd) return;
    const int32_t node = c.node_ref(*node_name, owner);
    if (node == kNone) return;
    if (!(*diameter > 0.0) || !(*cd > 0.0)) {
        c.error(Error::InvalidValue, owner + ": diameter and discharge coefficient must be positive");
        return;
    }
    if (!identifier_is_new(c, c.network.transient.relief_valves, *id, owner)) return;
    ReliefValveData r;
    r.id = *id;
    r.node = node;
    r.set_pressure = c.si(Quantity::Pressure, *set);
    r.discharge = *cd * transient::circle_area(c.si(Quantity::Diameter, *diameter)) * std::sqrt(2.0 * kGravity);
    r.line = c.line;
    c.network.transient.relief_valves.push_back(r);
}

// [PUMPTRIPS]: pump time [inertia rated-speed efficiency]; inertia kg m2, speed rev/min.
void read_pump_trip(ParseContext& c, const SectionLine& line) {
    const auto name = c.token(line, 0, "pump identifier");
    if (!name) return;
    const std::string owner = quoted("trip of pump ", *name);
    const auto time = c.number(line, 1, "time of " + owner);
    const auto inertia = c.number_or(line, 2, "inertia of " + owner, 0.0);
    const auto speed = c.number_or(line, 3, "rated speed of " + owner, 0.0);
    const auto efficiency = c.number_or(line, 4, "efficiency of " + owner, 0.0);
    if (!time || !inertia || !speed || !efficiency) return;
    const int32_t link = c.link_ref(*name, owner);
    if (link == kNone) return;
    if (c.network.links[static_cast<std::size_t>(link)].kind != LinkKind::Pump) {
        c.error(Error::InvalidValue, quoted("", *name, " is not a pump"));
        return;
    }
    if (*time < 0.0 || *inertia < 0.0 ||
        (*inertia > 0.0 && (!(*speed > 0.0) || !(*efficiency > 0.0) || *efficiency > 1.0))) {
        c.error(Error::InvalidValue, owner + ": time and inertia must not be negative; an inertia needs a positive "
                                             "rated speed and an efficiency in (0, 1]");
        return;
    }
    for (const PumpTripData& t : c.network.transient.pump_trips)
        if (t.link == link) {
            c.error(Error::DuplicateId, owner + " is already given");
            return;
        }
    c.network.transient.pump_trips.push_back({link, *time, *inertia, *speed, *efficiency, c.line});
}

// [VALVEMOTIONS]: valve time opening; one line per point, times increasing.
void read_valve_motion(ParseContext& c, const SectionLine& line) {
    const auto name = c.token(line, 0, "valve identifier");
    if (!name) return;
    const std::string owner = quoted("motion of valve ", *name);
    const auto time = c.number(line, 1, "time of " + owner);
    const auto opening = c.number(line, 2, "opening of " + owner);
    if (!time || !opening) return;
    const int32_t link = c.link_ref(*name, owner);
    if (link == kNone) return;
    if (c.network.links[static_cast<std::size_t>(link)].kind != LinkKind::Valve) {
        c.error(Error::InvalidValue, quoted("", *name, " is not a valve"));
        return;
    }
    if (*opening < 0.0) {
        c.error(Error::InvalidValue, owner + ": opening must not be negative");
        return;
    }
    std::vector<ValveMotionData>& motions = c.network.transient.valve_motions;
    ValveMotionData* motion = nullptr;
    for (ValveMotionData& m : motions)
        if (m.link == link) motion = &m;
    if (motion == nullptr) {
        motions.push_back({link, {}, c.line});
        motion = &motions.back();
    }
    if (!motion->points.empty() && *time < motion->points.back().time) {
        c.error(Error::InvalidValue, owner + ": times must not decrease");
        return;
    }
    motion->points.push_back({*time, *opening});
}

// TIMESTEP seconds: the common time step instead of the one the run would choose.
void read_time_step(ParseContext& c, const SectionLine& line) {
    const auto step = c.number(line, 1, "transient time step");
    if (!step) return;
    if (!(*step > 0.0)) {
        c.error(Error::InvalidValue, "transient time step must be positive");
        return;
    }
    c.network.transient.time_step = *step;
}

// WAVESPEEDTOLERANCE fraction: the relative wave-speed adjustment sought for the pipes that keep
// reaches, in (0, 1).
void read_wave_speed_tolerance(ParseContext& c, const SectionLine& line) {
    const auto value = c.number(line, 1, "wave-speed tolerance");
    if (!value) return;
    if (!(*value > 0.0) || !(*value < 1.0)) {
        c.error(Error::InvalidValue, "wave-speed tolerance must be above 0 and below 1 (a fraction of the wave speed)");
        return;
    }
    c.network.transient.wave_speed_tolerance = *value;
}

// An option whose value is one of two words: `first` sets `target` to `first_value`, `second`
// to the other; anything else is an error naming the option and both words.
void read_choice(ParseContext& c, const SectionLine& line, const std::string& what, const char* first,
                 bool first_value, const char* second, bool& target) {
    const auto word = c.token(line, 1, what + " (" + first + " or " + second + ")");
    if (!word) return;
    if (equals_ignoring_case(*word, first)) {
        target = first_value;
    } else if (equals_ignoring_case(*word, second)) {
        target = !first_value;
    } else {
        c.error(Error::InvalidKeyword, quoted(what + " ", *word, std::string(" (known: ") + first + ", " + second + ")"));
    }
}

// COLUMNSEPARATION YES|NO: discrete vapour cavities where the head falls to vapour head.
void read_column_separation(ParseContext& c, const SectionLine& line) {
    read_choice(c, line, "column separation", "YES", true, "NO", c.network.transient.column_separation);
}

// VAPOURPRESSURE value: absolute, in the model's pressure unit; below the atmosphere's.
void read_vapour_pressure(ParseContext& c, const SectionLine& line) {
    const auto value = c.number(line, 1, "vapour pressure");
    if (!value) return;
    const double head = c.si(Quantity::Pressure, *value);
    if (!(head > 0.0) || !(head < transient::kAtmosphericHead)) {
        c.error(Error::InvalidValue, "vapour pressure (absolute) must be positive and below the atmosphere's");
        return;
    }
    c.network.transient.vapour_head = head;
}

// DEMANDS FIXED|ORIFICE: junction outflows held at their steady values, or following
// Q0 sqrt(p / p0) with the pressure.
void read_demand_law(ParseContext& c, const SectionLine& line) {
    read_choice(c, line, "transient demands", "FIXED", false, "ORIFICE", c.network.transient.orifice_demands);
}

// WORKLIMIT count: the reach updates (time steps x reaches) a run may take, instead of the default.
void read_work_limit(ParseContext& c, const SectionLine& line) {
    const auto limit = c.number(line, 1, "transient work limit");
    if (!limit) return;
    if (!(*limit >= 1.0) || !std::isfinite(*limit)) {
        c.error(Error::InvalidValue, "transient work limit must be a finite number of at least 1");
        return;
    }
    c.network.transient.work_limit = *limit;
}

// DEADENDVALVES LOSS|FLOW: a valve to a dead-end junction with a demand follows its loss law, or
// sets that junction's outflow in proportion to its opening.
void read_dead_end_valves(ParseContext& c, const SectionLine& line) {
    read_choice(c, line, "dead-end valves", "LOSS", false, "FLOW", c.network.transient.dead_end_valve_flow);
}

// DEMANDCONDITIONS FLOW|ORIFICE: a demand condition imposes its junction's outflow, or, under
// DEMANDS ORIFICE, gives its outflow at the steady pressure.
void read_demand_conditions(ParseContext& c, const SectionLine& line) {
    read_choice(c, line, "demand conditions", "FLOW", false, "ORIFICE", c.network.transient.orifice_conditions);
}

// TRAVELTIMES ADJUST|INTERPOLATE: a pipe that whole reaches fit only beyond the wave-speed tolerance
// takes their travel time, or keeps its own by interpolating what arrives at each end between steps.
void read_travel_times(ParseContext& c, const SectionLine& line) {
    read_choice(c, line, "travel times", "ADJUST", false, "INTERPOLATE", c.network.transient.interpolate_travel);
}

// THREADS count: the threads that share each step of a run, from 1 (the calling thread alone) to
// kMaxStepParts; without it the run takes every usable processor on large networks.
void read_threads(ParseContext& c, const SectionLine& line) {
    const auto count = c.number(line, 1, "transient threads");
    if (!count) return;
    if (!(*count >= 1.0 && *count <= transient::kMaxStepParts) || *count != std::floor(*count)) {
        c.error(Error::InvalidValue,
                "transient threads must be a whole number from 1 to " + std::to_string(transient::kMaxStepParts));
        return;
    }
    c.network.transient.threads = static_cast<int32_t>(*count);
}

struct TransientOption {
    const char* keyword;
    void (*read)(ParseContext&, const SectionLine&);
};

constexpr TransientOption kTransientOptionReaders[] = {
    {"TIMESTEP", read_time_step},
    {"WAVESPEEDTOLERANCE", read_wave_speed_tolerance},
    {"TRAVELTIMES", read_travel_times},
    {"COLUMNSEPARATION", read_column_separation},
    {"VAPOURPRESSURE", read_vapour_pressure},
    {"VAPORPRESSURE", read_vapour_pressure},
    {"DEMANDS", read_demand_law},
    {"WORKLIMIT", read_work_limit},
    {"DEADENDVALVES", read_dead_end_valves},
    {"DEMANDCONDITIONS", read_demand_conditions},
    {"THREADS", read_threads},
};

// The option keywords for a message, without a spelling variant listed right after its main one.
std::string known_transient_options() {
    std::string known;
    const TransientOption* previous = nullptr;
    for (const TransientOption& option : kTransientOptionReaders) {
        if (previous == nullptr || option.read != previous->read) {
            if (!known.empty()) known += ", ";
            known += option.keyword;
        }
        previous = &option;
    }
    return known;
}

// [TRANSIENT]: one option per line, `keyword value`.
void read_transient_option(ParseContext& c, const SectionLine& line) {
    const auto key = c.token(line, 0, "transient option");
    if (!key) return;
    for (const TransientOption& option : kTransientOptionReaders)
        if (equals_ignoring_case(*key, option.keyword)) return option.read(c, line);
    c.error(Error::InvalidKeyword,
            quoted("transient option ", *key, " (known: " + known_transient_options() + ")"));
}

const SectionRegistration kWaveSpeeds("WAVESPEEDS", kPhaseExtensions, read_wave_speed);
const SectionRegistration kSurgeTanks("SURGETANKS", kPhaseExtensions, read_surge_tank);
const SectionRegistration kAirVessels("AIRVESSELS", kPhaseExtensions, read_air_vessel);
const SectionRegistration kReliefValves("RELIEFVALVES", kPhaseExtensions, read_relief_valve);
const SectionRegistration kPumpTrips("PUMPTRIPS", kPhaseExtensions, read_pump_trip);
const SectionRegistration kValveMotions("VALVEMOTIONS", kPhaseExtensions, read_valve_motion);
const SectionRegistration kTransientOptions("TRANSIENT", kPhaseExtensions, read_transient_option);

}  // namespace
}  // namespace vuzizi
