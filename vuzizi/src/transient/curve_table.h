// Result curves: which stored value each element-type and attribute code stands for.
#pragma once

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
    NodeHead, NodeOutflow, NodePressure,
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

// Finds the curve of an element of `model` by element-type code, attribute code and
// identifier; false when the identifier is unknown for that type or the pair has no curve.
bool find_curve(const TransientModel& model, int32_t element_type, int32_t attribute, std::string_view id,
                CurveRef& ref);

// What kind of quantity a curve holds, for its unit.
enum class CurveDimension : uint8_t { Head, Pressure, Flow, Velocity, Volume, Ratio };
CurveDimension dimension_of(CurveValue value);

// The value of the curve in stored frame `frame`, in the units `units`.
double curve_value(const CurveRef& ref, const FrameLayout& layout, const double* frame, const CurveUnits& units);

}  // namespace vuzizi::transient
