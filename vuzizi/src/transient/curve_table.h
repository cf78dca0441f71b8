// Result curves: which stored value each element-type and attribute code stands for.
#pragma once

#include <string>
#include <unordered_map>

#include <cstdint>
#include <string_view>

#include "model.h"
#include "result_store.h"

namespace vuzizi::transient {

// Multipliers from SI to the units the curves are given in.
struct CurveUnits {
    double head = 1.0;      // m -> head unit (also levels)
    double pressure = 1.0;  // m of water -> pressure unit
    double flow = 1.0;      // m3/s -> flow unit
    double velocity = 1.0;  // m/s -> velocity unit
    double volume = 1.0;    // m3 -> volume unit
};

enum class CurveValue : uint8_t {
    NodeHead, NodeOutflow, NodePressure, NodeCavityVolume,
    PipeFlowStart, PipeHeadloss, PipeVelocity, PipeFlowEnd,
    PumpFlow, PumpLift, PumpSpeed,
    ValveFlow, ValveHeadloss, ValveOpening,
    StorageFlow, StorageLevel, StorageVolume,
    VesselFlow, VesselGasHead, VesselGasVolume,
    ReliefFlow, ReliefPressure,
};

struct CurveRef {
    CurveValue value = CurveValue::NodeHead;
    int32_t index = 0;   // element in the solver's arrays
    int32_t node = 0;    // node of a device, or the pipe/link start node
    int32_t other = 0;   // end node of a pipe or link
    double area = 0.0;   // pipe or storage cross-section, m2
    double elevation = 0.0;
};

// The elements of a model by identifier, one table per kind, so that selecting one of many
// curves takes constant time. Built once per stored run.
class ElementIndex {
public:
    void build(const TransientModel& model);

    // Position of the identifier in the model's list of that kind, or -1.
    int32_t node(std::string_view id) const { return find(nodes_, id); }
    int32_t pipe(std::string_view id) const { return find(pipes_, id); }
    int32_t pump(std::string_view id) const { return find(pumps_, id); }
    int32_t valve(std::string_view id) const { return find(valves_, id); }
    int32_t surge_tank(std::string_view id) const { return find(surge_tanks_, id); }
    int32_t air_vessel(std::string_view id) const { return find(air_vessels_, id); }
    int32_t relief_valve(std::string_view id) const { return find(relief_valves_, id); }
    // Tanks are numbered in node order among the storages: the tank's number, or -1.
    int32_t tank(std::string_view id) const { return find(tanks_, id); }
    int32_t tank_count() const { return static_cast<int32_t>(tanks_.size()); }

private:
    using Table = std::unordered_map<std::string, int32_t>;
    static int32_t find(const Table& table, std::string_view id);

    Table nodes_, pipes_, pumps_, valves_, tanks_, surge_tanks_, air_vessels_, relief_valves_;
};

// Finds the curve of an element of `model` (indexed by `index`) by element-type code, attribute
// code and identifier; false when the identifier is unknown for that type or the pair has no curve.
bool find_curve(const TransientModel& model, const ElementIndex& index, int32_t element_type, int32_t attribute,
                std::string_view id, CurveRef& ref);

// What kind of quantity a curve holds, for its unit.
enum class CurveDimension : uint8_t { Head, Pressure, Flow, Velocity, Volume, Ratio };
CurveDimension dimension_of(CurveValue value);

// The value of the curve in stored frame `frame`, in the units `units`.
double curve_value(const CurveRef& ref, const FrameLayout& layout, const double* frame, const CurveUnits& units);

}  // namespace vuzizi::transient
