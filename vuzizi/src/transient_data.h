// Transient data held by the network: wave speeds per pipe and surge devices on nodes.
// Filled by the model-file sections of the transient run; the network side only keeps it.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace vuzizi {

// Values are SI (m, m2, m3, s); node and link references are 0-based indices.
struct SurgeTankData {
    std::string id;
    int32_t node = 0;
    double area = 0.0;            // m2
    double loss = 0.0;            // dH = loss * Q|Q|, s2/m5
    int line = 0;
};

struct AirVesselData {
    std::string id;
    int32_t node = 0;
    double gas_volume = 0.0;      // m3 at the steady state
    double exponent = 0.0;        // polytropic exponent
    double loss_in = 0.0;         // s2/m5, flow into the vessel
    double loss_out = 0.0;        // s2/m5, flow out of the vessel
    int line = 0;
};

struct ReliefValveData {
    std::string id;
    int32_t node = 0;
    double set_pressure = 0.0;    // m of water
    double discharge = 0.0;       // Q = discharge * sqrt(overpressure head), m2.5/s
    int line = 0;
};

struct PumpTripData {
    int32_t link = 0;
    double time = 0.0;            // s
    double inertia = 0.0;         // kg m2; 0 stops the pump at once
    double rated_speed = 0.0;     // rev/min
    double efficiency = 0.0;
    int line = 0;
};

struct ValveMotionPoint {
    double time = 0.0;            // s
    double opening = 1.0;         // relative to full opening
};

struct ValveMotionData {
    int32_t link = 0;
    std::vector<ValveMotionPoint> points;
    int line = 0;
};

struct TransientData {
    // Wave speed of each link in m/s (indexed like Network::links); 0 means the default.
    std::vector<double> wave_speed;
    double default_wave_speed = 0.0;  // m/s; 0 lets the transient run choose
    double time_step = 0.0;           // s; 0 lets the transient run choose
    double wave_speed_tolerance = 0.0;  // relative; 0 keeps the run's default
    bool column_separation = false;   // discrete vapour cavities during the run
    double vapour_head = 0.0;         // absolute vapour pressure, m of water; 0 keeps water's at 20 degC
    bool orifice_demands = false;     // junction outflows follow Q0 sqrt(p / p0) during the run
    double work_limit = 0.0;          // reach updates a run may take (steps x reaches); 0 keeps the default
    bool interpolate_travel = true;   // pipes beyond the tolerance keep their travel time (TRAVELTIMES)
    int32_t threads = 0;              // threads that share a run's steps (THREADS); 0 lets the run choose
    bool dead_end_valve_flow = false; // a valve to a dead-end demand sets its flow from its opening
    bool orifice_conditions = false;  // under orifice demands, a demand condition scales the law
    std::vector<SurgeTankData> surge_tanks;
    std::vector<AirVesselData> air_vessels;
    std::vector<ReliefValveData> relief_valves;
    std::vector<PumpTripData> pump_trips;
    std::vector<ValveMotionData> valve_motions;
};

}  // namespace vuzizi
