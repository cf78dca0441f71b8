// The table of result curves by element type and attribute code.
#include "curve_table.h"

#include <numbers>
#include <string>
#include <unordered_map>
#include <vector>

#include "records.h"

namespace vuzizi::transient {

namespace {

constexpr int kAttributes = 4;
constexpr int kNoCurve = -1;

// For each element type, the value of attribute codes 0 to 3 (kNoCurve where there is none).
struct TypeRow {
    int32_t element_type;
    int values[kAttributes];
};

constexpr TypeRow kCurveTable[] = {
    {ELEMENT_NODE, {int(CurveValue::NodeHead), int(CurveValue::NodeOutflow), int(CurveValue::NodePressure),
                    int(CurveValue::NodeCavityVolume)}},
    {ELEMENT_LINK, {int(CurveValue::PipeFlowStart), int(CurveValue::PipeHeadloss), int(CurveValue::PipeVelocity),
                    int(CurveValue::PipeFlowEnd)}},
    {ELEMENT_PUMP, {int(CurveValue::PumpFlow), int(CurveValue::PumpLift), int(CurveValue::PumpSpeed), kNoCurve}},
    {ELEMENT_VALVE, {int(CurveValue::ValveFlow), int(CurveValue::ValveHeadloss), int(CurveValue::ValveOpening), kNoCurve}},
    {ELEMENT_TANK, {int(CurveValue::StorageFlow), int(CurveValue::StorageLevel), int(CurveValue::StorageVolume), kNoCurve}},
    {ELEMENT_SURGE_TANK, {int(CurveValue::StorageFlow), int(CurveValue::StorageLevel), int(CurveValue::StorageVolume),
                          kNoCurve}},
    {ELEMENT_AIR_VESSEL, {int(CurveValue::VesselFlow), int(CurveValue::VesselGasHead), int(CurveValue::VesselGasVolume),
                          kNoCurve}},
    {ELEMENT_SURGE_VALVE, {int(CurveValue::ReliefFlow), int(CurveValue::ReliefPressure), kNoCurve, kNoCurve}},
};

template <typename T>
void index_by_id(const std::vector<T>& items, std::unordered_map<std::string, int32_t>& table) {
    table.clear();
    table.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) table.emplace(items[i].id, static_cast<int32_t>(i));
}

}  // namespace

void ElementIndex::build(const TransientModel& model) {
    index_by_id(model.nodes, nodes_);
    index_by_id(model.pipes, pipes_);
    index_by_id(model.pumps, pumps_);
    index_by_id(model.valves, valves_);
    index_by_id(model.surge_tanks, surge_tanks_);
    index_by_id(model.air_vessels, air_vessels_);
    index_by_id(model.relief_valves, relief_valves_);
    tanks_.clear();
    for (const Node& n : model.nodes)
        if (n.kind == NodeKind::Tank) tanks_.emplace(n.id, static_cast<int32_t>(tanks_.size()));
}

int32_t ElementIndex::find(const Table& table, std::string_view id) {
    const auto it = table.find(std::string(id));
    return it == table.end() ? -1 : it->second;
}

bool find_curve(const TransientModel& model, const ElementIndex& index, int32_t element_type, int32_t attribute,
                std::string_view id, CurveRef& ref) {
    if (attribute < 0 || attribute >= kAttributes) return false;
    const TypeRow* row = nullptr;
    for (const TypeRow& r : kCurveTable)
        if (r.element_type == element_type) row = &r;
    if (row == nullptr || row->values[attribute] == kNoCurve) return false;
    ref = CurveRef{};
    ref.value = static_cast<CurveValue>(row->values[attribute]);
    int32_t i = -1;
    switch (element_type) {
        case ELEMENT_NODE:
            i = index.node(id);
            if (i < 0) return false;
            if (ref.value == CurveValue::NodeCavityVolume && !model.column_separation) return false;
            ref.elevation = model.nodes[static_cast<std::size_t>(i)].elevation;
            break;
        case ELEMENT_LINK:
            i = index.pipe(id);
            if (i < 0) return false;
            ref.node = model.pipes[static_cast<std::size_t>(i)].from;
            ref.other = model.pipes[static_cast<std::size_t>(i)].to;
            ref.area = circle_area(model.pipes[static_cast<std::size_t>(i)].diameter);
            break;
        case ELEMENT_PUMP:
            i = index.pump(id);
            if (i < 0) return false;
            ref.node = model.pumps[static_cast<std::size_t>(i)].from;
            ref.other = model.pumps[static_cast<std::size_t>(i)].to;
            break;
        case ELEMENT_VALVE:
            i = index.valve(id);
            if (i < 0) return false;
            ref.node = model.valves[static_cast<std::size_t>(i)].from;
            ref.other = model.valves[static_cast<std::size_t>(i)].to;
            break;
        case ELEMENT_TANK: {
            // Tanks are the first storages, in node order.
            i = index.tank(id);
            const int32_t node = index.node(id);
            if (i < 0 || node < 0) return false;
            ref.node = node;
            ref.area = model.nodes[static_cast<std::size_t>(node)].tank_area;
            break;
        }
        case ELEMENT_SURGE_TANK: {
            const int32_t s = index.surge_tank(id);
            if (s < 0) return false;
            i = s + index.tank_count();
            ref.node = model.surge_tanks[static_cast<std::size_t>(s)].node;
            ref.area = model.surge_tanks[static_cast<std::size_t>(s)].area;
            break;
        }
        case ELEMENT_AIR_VESSEL:
            i = index.air_vessel(id);
            if (i < 0) return false;
            break;
        case ELEMENT_SURGE_VALVE:
            i = index.relief_valve(id);
            if (i < 0) return false;
            ref.node = model.relief_valves[static_cast<std::size_t>(i)].node;
            ref.elevation = model.nodes[static_cast<std::size_t>(ref.node)].elevation;
            break;
        default: return false;
    }
    ref.index = i;
    if (element_type == ELEMENT_TANK || element_type == ELEMENT_SURGE_TANK)
        ref.elevation = model.nodes[static_cast<std::size_t>(ref.node)].elevation;
    return true;
}

double curve_value(const CurveRef& r, const FrameLayout& L, const double* f, const CurveUnits& u) {
    const int32_t i = r.index;
    switch (r.value) {
        case CurveValue::NodeHead: return u.head * f[L.node_head + i];
        case CurveValue::NodeOutflow: return u.flow * f[L.node_outflow + i];
        case CurveValue::NodePressure: return u.pressure * (f[L.node_head + i] - r.elevation);
        case CurveValue::NodeCavityVolume: return u.volume * f[L.node_cavity + i];
        case CurveValue::PipeFlowStart: return u.flow * f[L.pipe_flow_start + i];
        case CurveValue::PipeHeadloss: return u.head * (f[L.node_head + r.node] - f[L.node_head + r.other]);
        case CurveValue::PipeVelocity: return u.velocity * f[L.pipe_flow_start + i] / r.area;
        case CurveValue::PipeFlowEnd: return u.flow * f[L.pipe_flow_end + i];
        case CurveValue::PumpFlow: return u.flow * f[L.pump_flow + i];
        case CurveValue::PumpLift: return u.head * (f[L.node_head + r.other] - f[L.node_head + r.node]);
        case CurveValue::PumpSpeed: return f[L.pump_speed + i];
        case CurveValue::ValveFlow: return u.flow * f[L.valve_flow + i];
        case CurveValue::ValveHeadloss: return u.head * (f[L.node_head + r.node] - f[L.node_head + r.other]);
        case CurveValue::ValveOpening: return f[L.valve_opening + i];
        case CurveValue::StorageFlow: return u.flow * f[L.storage_flow + i];
        case CurveValue::StorageLevel: return u.head * (f[L.storage_level + i] - r.elevation);
        case CurveValue::StorageVolume: return u.volume * r.area * (f[L.storage_level + i] - r.elevation);
        case CurveValue::VesselFlow: return u.flow * f[L.vessel_flow + i];
        case CurveValue::VesselGasHead: return u.pressure * f[L.vessel_gas_head + i];
        case CurveValue::VesselGasVolume: return u.volume * f[L.vessel_volume + i];
        case CurveValue::ReliefFlow: return u.flow * f[L.relief_flow + i];
        case CurveValue::ReliefPressure: return u.pressure * (f[L.node_head + r.node] - r.elevation);
    }
    return 0.0;
}

CurveDimension dimension_of(CurveValue v) {
    switch (v) {
        case CurveValue::NodeHead:
        case CurveValue::PipeHeadloss:
        case CurveValue::PumpLift:
        case CurveValue::ValveHeadloss:
        case CurveValue::StorageLevel: return CurveDimension::Head;
        case CurveValue::NodePressure:
        case CurveValue::VesselGasHead:
        case CurveValue::ReliefPressure: return CurveDimension::Pressure;
        case CurveValue::NodeOutflow:
        case CurveValue::PipeFlowStart:
        case CurveValue::PipeFlowEnd:
        case CurveValue::PumpFlow:
        case CurveValue::ValveFlow:
        case CurveValue::StorageFlow:
        case CurveValue::VesselFlow:
        case CurveValue::ReliefFlow: return CurveDimension::Flow;
        case CurveValue::PipeVelocity: return CurveDimension::Velocity;
        case CurveValue::NodeCavityVolume:
        case CurveValue::StorageVolume:
        case CurveValue::VesselGasVolume: return CurveDimension::Volume;
        case CurveValue::PumpSpeed:
        case CurveValue::ValveOpening: return CurveDimension::Ratio;
    }
    return CurveDimension::Ratio;
}

}  // namespace vuzizi::transient
