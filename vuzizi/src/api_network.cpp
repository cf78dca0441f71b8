// C interface: lifecycle, model loading, units and nodes. Every operation checks the engine
// state first, then its arguments, then acts; none lets an exception out.
#include <cmath>
#include <cstring>

#include "api.h"
#include "c_guard.h"
#include "engine.h"
#include "text.h"

using vuzizi::engine;
using vuzizi::kStatusFailed;
using vuzizi::kStatusOk;

namespace {

constexpr int32_t kSilentLevel = -1;
constexpr int32_t kNotFound = -1;

bool valid_level(int32_t level) { return level > 0 || level == kSilentLevel; }

bool has_network() { return engine().is_open() && engine().has_network(); }

void report(vuzizi::Error code, const std::string& detail) { engine().diagnostics().error({}, code, detail); }

// Quantity of a unit-table position, when the position is 1..UNIT_CODE_COUNT.
bool quantity_at(const int16_t* position, vuzizi::Quantity& q) {
    if (position == nullptr || *position < 1 || *position > UNIT_CODE_COUNT) return false;
    q = static_cast<vuzizi::Quantity>(*position - 1);
    return true;
}

const vuzizi::UnitSet& current_units() {
    static const vuzizi::UnitSet defaults;
    return engine().has_network() ? engine().network().units : defaults;
}

// Node index (0-based) of an identifier field, or kNotFound.
int32_t node_of_field(const char* node_id) {
    const std::string id = vuzizi::text_from_field(node_id, NODE_ID_FIELD_LEN);
    if (id.empty() || id.size() > NODE_ID_SIGNIFICANT) return kNotFound;
    const int32_t index = engine().network().find_node(id);
    return index == vuzizi::kNone ? kNotFound : index;
}

// Checks and converts a boundary condition; false (with a message) when it cannot be stored.
bool read_condition(const NodeRecord& record, const vuzizi::Network& network, int32_t node, const std::string& id,
                    vuzizi::BoundaryCondition& out) {
    using vuzizi::Quantity;
    if (record.mode < NODE_MODE_HEAD || record.mode > NODE_MODE_PRESSURE) {
        report(vuzizi::Error::InvalidValue, "boundary condition mode " + std::to_string(record.mode) + " for node '" + id + "'");
        return false;
    }
    if (record.count < 0 || record.count > NODE_MAX_POINTS) {
        report(vuzizi::Error::InvalidValue, "boundary condition of " + std::to_string(record.count) +
                                                " points for node '" + id + "' (0 to 20)");
        return false;
    }
    out.mode = static_cast<vuzizi::BoundaryMode>(record.mode);
    if (out.mode == vuzizi::BoundaryMode::Demand && network.is_fixed_head(node)) {
        report(vuzizi::Error::InvalidValue, "a demand cannot be imposed on reservoir or tank '" + id + "'");
        return false;
    }
    const Quantity q = out.mode == vuzizi::BoundaryMode::Head     ? Quantity::Head
                       : out.mode == vuzizi::BoundaryMode::Demand ? Quantity::Demand
                                                                  : Quantity::Pressure;
    out.points.clear();
    for (int32_t i = 0; i < record.count; ++i) {
        const NodePoint& p = record.points[i];
        if (!std::isfinite(p.time) || !std::isfinite(p.value)) {
            report(vuzizi::Error::InvalidValue, "point " + std::to_string(i + 1) + " of the condition on node '" + id +
                                                    "' is not a finite number");
            return false;
        }
        if (i > 0 && p.time < record.points[i - 1].time) {
            report(vuzizi::Error::InvalidValue, "times of the condition on node '" + id + "' go backwards at point " +
                                                    std::to_string(i + 1));
            return false;
        }
        out.points.push_back({p.time, network.units.to_si(q, p.value)});
    }
    return true;
}

int32_t read_node(const int32_t* index, NodeRecord* node) {
    if (!has_network() || index == nullptr || node == nullptr) return kStatusFailed;
    const vuzizi::Network& network = engine().network();
    if (*index < 1 || *index > static_cast<int64_t>(network.nodes.size())) return kStatusFailed;
    const auto i = static_cast<std::size_t>(*index - 1);
    const vuzizi::SteadyState& state = engine().steady_state();
    const vuzizi::UnitSet& u = network.units;
    const double elevation = network.nodes[i].elevation;
    vuzizi::write_id_field(node->id, NODE_ID_FIELD_LEN, network.nodes[i].id);
    node->elevation = u.from_si(vuzizi::Quantity::Elevation, elevation);
    node->demand = u.from_si(vuzizi::Quantity::Demand, state.demand[i]);
    node->pressure = u.from_si(vuzizi::Quantity::Pressure, state.head[i] - elevation);
    node->head = u.from_si(vuzizi::Quantity::Head, state.head[i]);
    return kStatusOk;
}

// Stores (or, without points, removes) the boundary condition of a node.
int32_t impose_condition(const char* node_id, const NodeRecord* node) {
    if (!has_network() || node_id == nullptr || node == nullptr) return kStatusFailed;
    const int32_t index = node_of_field(node_id);
    if (index == kNotFound) {
        report(vuzizi::Error::UndefinedNode, vuzizi::quoted(vuzizi::text_from_field(node_id, NODE_ID_FIELD_LEN)));
        return kStatusFailed;
    }
    vuzizi::BoundaryCondition condition;
    const std::string& id = engine().network().nodes[index].id;
    if (!read_condition(*node, engine().network(), index, id, condition)) return kStatusFailed;
    if (condition.points.empty())
        engine().boundaries().erase(index);
    else
        engine().boundaries()[index] = std::move(condition);
    return kStatusOk;
}

}  // namespace

extern "C" {

int32_t VUZIZI_CALL OpenQorvaneAPI(const int32_t* level) {
    return vuzizi::guarded("OpenQorvaneAPI", kStatusFailed, [level] {
        if (level == nullptr || !valid_level(*level)) return kStatusFailed;
        return engine().open(*level);
    });
}

int32_t VUZIZI_CALL QorvaneInit(void) {
    return vuzizi::guarded("QorvaneInit", kStatusFailed, [] {
        if (!engine().is_open()) return kStatusFailed;
        engine().initialise();
        return kStatusOk;
    });
}

int32_t VUZIZI_CALL GetNumeroVersion(char* version) {
    return vuzizi::guarded("GetNumeroVersion", kStatusFailed, [version] {
        if (!engine().is_open() || version == nullptr) return kStatusFailed;
        std::memcpy(version, vuzizi::kVersion, VERSION_FIELD_LEN);
        return kStatusOk;
    });
}

int32_t VUZIZI_CALL CloseQorvane(void) {
    return vuzizi::guarded("CloseQorvane", kStatusFailed, [] {
        if (!engine().is_open()) return kStatusFailed;
        engine().close();
        return kStatusOk;
    });
}

int32_t VUZIZI_CALL OuvrirReseau(const char* path) {
    return vuzizi::guarded_code("OuvrirReseau", [path] {
        if (!engine().is_open() || !engine().is_initialised()) return vuzizi::error_code(vuzizi::Error::EngineNotReady);
        if (path == nullptr) return vuzizi::error_code(vuzizi::Error::InvalidPath);
        return engine().load(vuzizi::text_from_field(path, MODEL_PATH_LEN));
    });
}

int32_t VUZIZI_CALL GetUnitCourante(const int16_t* position, UnitRecord* unit) {
    return vuzizi::guarded("GetUnitCourante", kStatusFailed, [position, unit] {
        vuzizi::Quantity q{};
        if (!engine().is_open() || unit == nullptr || !quantity_at(position, q)) return kStatusFailed;
        const vuzizi::Unit& current = current_units().current(q);
        vuzizi::write_blank_padded(unit->name, UNIT_NAME_LEN, current.name);
        unit->spare = ' ';
        unit->coefficient = current.coefficient;
        return kStatusOk;
    });
}

int32_t VUZIZI_CALL GetUnitRef(const int16_t* position, char* name) {
    return vuzizi::guarded("GetUnitRef", kStatusFailed, [position, name] {
        vuzizi::Quantity q{};
        if (!engine().is_open() || name == nullptr || !quantity_at(position, q)) return kStatusFailed;
        vuzizi::write_blank_padded(name, UNIT_NAME_LEN, current_units().reference_name(q));
        name[UNIT_NAME_LEN] = '\0';
        return kStatusOk;
    });
}

int32_t VUZIZI_CALL IndiceNoeudQor(const char* node_id, const int32_t*) {
    return vuzizi::guarded("IndiceNoeudQor", kNotFound, [node_id] {
        if (!has_network() || node_id == nullptr) return kNotFound;
        const int32_t index = node_of_field(node_id);
        return index == kNotFound ? kNotFound : index + 1;
    });
}

int32_t VUZIZI_CALL GetNoeudQor(const int32_t* index, NodeRecord* node) {
    return vuzizi::guarded("GetNoeudQor", kStatusFailed, [index, node] { return read_node(index, node); });
}

int32_t VUZIZI_CALL SetNoeudQor(const int32_t*, const char* node_id, const NodeRecord* node) {
    return vuzizi::guarded("SetNoeudQor", kStatusFailed, [node_id, node] { return impose_condition(node_id, node); });
}

}
