// Input of a transient run: the network with its steady state, in SI units (m, m3/s, s).
#pragma once

#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "pump_curve.h"
#include "series.h"
#include "units.h"

namespace vuzizi::transient {

inline constexpr double kAtmosphericHead = 10.33;    // m of water: absolute gas and vapour pressures
inline constexpr double kWaterVapourPressure = 2339.0;  // Pa, water at 20 degC
inline constexpr double kWaterVapourHead = kWaterVapourPressure / (kWaterDensity * kGravity);  // m, absolute
inline constexpr double kNever = std::numeric_limits<double>::infinity();
// Largest relative wave-speed adjustment sought for the pipes that keep reaches (the default of
// [TRANSIENT] WAVESPEEDTOLERANCE; docs/engine-transient.md gives the study behind it).
inline constexpr double kDefaultWaveSpeedTolerance = 0.01;
// Its default under TRAVELTIMES INTERPOLATE, which keeps the travel time of every pipe beyond it: at steps
// fine enough for every peak, adjusting pipes by 1 % moves the ringing more than the step resolves it.
inline constexpr double kInterpolatedWaveSpeedTolerance = 1e-4;

inline double circle_area(double diameter) { return std::numbers::pi * diameter * diameter / 4.0; }

// A steady velocity below this (m/s) is no flow: the steady solution leaves round-off flows of
// about 1e-9 m/s in links that carry none, and real flows stay far above it.
inline constexpr double kStillVelocity = 1e-6;
// A pipe without steady flow takes the friction its head-loss law gives at this velocity (m/s).
inline constexpr double kStillPipeFrictionVelocity = 0.1;

enum class NodeKind : uint8_t { Junction, Reservoir, Tank };

// What a boundary-condition series imposes on its node.
enum class Imposed : uint8_t { Nothing, Head, Demand, Pressure };

struct Node {
    std::string id;
    NodeKind kind = NodeKind::Junction;
    double elevation = 0.0;  // m
    double demand = 0.0;     // steady outflow, m3/s
    double head = 0.0;       // steady head, m
    double tank_area = 0.0;  // free-surface area of a tank, m2
    Imposed imposed = Imposed::Nothing;
    Series series;           // what `imposed` follows over time
};

struct Pipe {
    std::string id;
    int32_t from = 0;
    int32_t to = 0;
    double length = 0.0;         // m
    double diameter = 0.0;       // m
    double wave_speed = 0.0;     // m/s
    double friction_factor = 0.0;  // Darcy factor, used only when the steady flow is zero; 0 takes 0.02
    double flow = 0.0;           // steady flow from `from` to `to`, m3/s
};

// A pump between two nodes, with a check valve (no reverse flow).
struct Pump {
    std::string id;
    int32_t from = 0;
    int32_t to = 0;
    PumpCurve curve;             // head gain at rated speed
    double flow = 0.0;           // steady flow, m3/s
    bool running = true;         // false: off throughout the run
    double trip_time = kNever;   // s: the motor is cut at this time
    double inertia = 0.0;        // kg m2 of the rotating parts; 0 stops at once
    double rated_speed = 0.0;    // rev/min
    double efficiency = 0.0;     // pump efficiency during run-down
};

// A valve between two nodes, a fixed loss at its steady opening unless `opening` moves it.
struct Valve {
    std::string id;
    int32_t from = 0;
    int32_t to = 0;
    double flow = 0.0;           // steady flow, m3/s
    double open_loss = 0.0;      // loss fully open: dH = open_loss * Q|Q|, s2/m5; 0 takes the steady loss
    bool shut = false;           // shut throughout the run
    Series opening;              // opening relative to full opening over time; empty keeps the steady one
};

// An open surge chamber (or a tank: zero connection loss) on a node.
struct SurgeTank {
    std::string id;
    int32_t node = 0;
    double area = 0.0;           // m2
    double loss = 0.0;           // connection loss: dH = loss * Q|Q|, s2/m5
};

// A closed vessel with a gas cushion on a node.
struct AirVessel {
    std::string id;
    int32_t node = 0;
    double gas_volume = 0.0;     // initial gas volume, m3
    double exponent = 1.2;       // polytropic exponent
    double loss_in = 0.0;        // loss for flow into the vessel, s2/m5
    double loss_out = 0.0;       // loss for flow out of the vessel, s2/m5
};

// A relief valve on a node discharging to atmosphere above its set pressure.
struct ReliefValve {
    std::string id;
    int32_t node = 0;
    double set_pressure = 0.0;   // m of water above the node's elevation
    double discharge = 0.0;      // Q = discharge * sqrt(pressure - set), m2.5/s
};

struct TransientModel {
    std::vector<Node> nodes;
    std::vector<Pipe> pipes;
    std::vector<Pump> pumps;
    std::vector<Valve> valves;
    std::vector<SurgeTank> surge_tanks;
    std::vector<AirVessel> air_vessels;
    std::vector<ReliefValve> relief_valves;
    double time_step = 0.0;  // s; 0 chooses it from the pipes and events
    double wave_speed_tolerance = kDefaultWaveSpeedTolerance;  // relative, for the pipes that keep reaches
    bool column_separation = false;          // discrete vapour cavities where the head falls to vapour head
    double vapour_head = kWaterVapourHead;   // absolute vapour pressure, m of water
    bool orifice_demands = false;  // junction outflows follow Q0 sqrt(p / p0); false keeps them fixed
    bool interpolate_travel = true;  // pipes beyond the wave-speed tolerance keep their travel time (false: ADJUST)
    // A valve to a dead-end junction with a demand sets that demand: Q0 * opening / starting opening.
    bool dead_end_valve_flow = false;
    // Under orifice demands, a demand condition gives the outflow at the steady pressure, the law
    // scaling it with the pressure; false imposes the condition's outflow as it is.
    bool orifice_conditions = false;
    int32_t threads = 0;  // threads that share a step's large loops; 0 chooses (step_workers.h)
};

}  // namespace vuzizi::transient
