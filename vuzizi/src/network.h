// The network model: nodes, links, curves, patterns and options, in SI units (m, m3/s, s).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "controls.h"
#include "identifier_index.h"
#include "transient_data.h"
#include "units.h"

namespace vuzizi {

inline constexpr int32_t kNone = -1;  // no curve, no pattern

// Kinematic viscosity of water at 20 C, m2/s.
inline constexpr double kWaterViscosity = 1.0e-6;

enum class NodeKind { Junction, Reservoir, Tank };
enum class LinkKind { Pipe, Pump, Valve };
enum class ValveType { PRV, PSV, PBV, FCV, TCV, GPV };
// Status given in the model; Active lets a valve control its setting.
enum class LinkStatus { Open, Closed, Active };

struct Point {
    double x = 0.0;
    double y = 0.0;
};

struct Demand {
    double base = 0.0;           // m3/s
    int32_t pattern = kNone;
    std::string category;
};

struct Node {
    std::string id;
    NodeKind kind = NodeKind::Junction;
    double elevation = 0.0;      // m; for a reservoir its head
    std::vector<Demand> demands;  // junctions only
    bool demands_replaced = false;  // [DEMANDS] has replaced the junction's own demand
    int32_t head_pattern = kNone;   // reservoirs
    // Tanks.
    double initial_level = 0.0;  // m above elevation
    double min_level = 0.0;
    double max_level = 0.0;
    double diameter = 0.0;       // m
    double min_volume = 0.0;     // m3
    int32_t volume_curve = kNone;
    bool overflow = false;
    std::optional<Point> coordinates;
    int line = 0;                // where it is defined in the model file
};

struct Link {
    std::string id;
    LinkKind kind = LinkKind::Pipe;
    int32_t from = 0;            // node indices, 0-based
    int32_t to = 0;
    double length = 0.0;         // m
    double diameter = 0.0;       // m
    double roughness = 0.0;      // H-W C, D-W sand roughness in m, or Manning n
    double minor_loss = 0.0;     // coefficient of v2/2g
    bool check_valve = false;
    LinkStatus status = LinkStatus::Open;  // status at time 0
    // Pumps: head curve or constant power, speed (relative), speed pattern.
    int32_t head_curve = kNone;
    double power = 0.0;          // W
    double speed = 1.0;
    int32_t speed_pattern = kNone;
    // Valves: type and setting (head for PRV, PSV, PBV; m3/s for FCV; loss coefficient for TCV).
    ValveType valve_type = ValveType::TCV;
    double setting = 0.0;
    int32_t loss_curve = kNone;  // GPV
    std::vector<Point> vertices;
    int line = 0;
};

struct Curve {
    std::string id;
    std::vector<Point> points;   // as written in the model file, model units
    int line = 0;
};

struct Pattern {
    std::string id;
    std::vector<double> multipliers;
    int line = 0;
};

struct Options {
    FlowUnits flow_units = FlowUnits::GPM;
    std::optional<PressureUnits> pressure_units;
    HeadlossFormula headloss = HeadlossFormula::HazenWilliams;
    double specific_gravity = 1.0;
    double viscosity_input = 1.0;     // as written: relative to water, or absolute when small
    double kinematic_viscosity = kWaterViscosity;  // m2/s, from viscosity_input once units are known
    int trials = 200;
    double accuracy = 0.001;
    bool continue_unbalanced = false;
    std::string default_pattern = "1";
    double demand_multiplier = 1.0;
    double pattern_step = 3600.0;     // s
    double pattern_start = 0.0;       // s
    double duration = 0.0;            // s
    double hydraulic_step = 3600.0;   // s
    double start_clocktime = 0.0;     // s after midnight
};

// A valve setting in SI: pressure head (m) for PRV, PSV and PBV, flow (m3/s) for FCV,
// the loss coefficient itself for TCV.
double valve_setting_to_si(const UnitSet& units, ValveType type, double value);

class Network {
public:
    std::string title;
    Options options;
    UnitSet units;
    std::vector<Node> nodes;
    std::vector<Link> links;
    std::vector<Curve> curves;
    std::vector<Pattern> patterns;
    std::vector<Control> controls;  // in file order
    TransientData transient;

    // Index lookups by exact identifier; kNone when unknown.
    int32_t find_node(std::string_view id) const { return found(node_index_.find(nodes, id)); }
    int32_t find_link(std::string_view id) const { return found(link_index_.find(links, id)); }
    int32_t find_curve(std::string_view id) const { return found(curve_index_.find(curves, id)); }
    int32_t find_pattern(std::string_view id) const { return found(pattern_index_.find(patterns, id)); }

    // Room for this many nodes and links, so that reading a large model neither moves the
    // elements again and again nor rehashes the identifier indices as they grow.
    void reserve(std::size_t node_count, std::size_t link_count);

    // Adders return the new index, or kNone when the identifier is taken (nodes and links
    // share one name space each).
    int32_t add_node(Node node);
    int32_t add_link(Link link);
    int32_t add_curve(Curve curve);
    int32_t add_pattern(Pattern pattern);

    bool is_fixed_head(int32_t node) const { return nodes[node].kind != NodeKind::Junction; }

private:
    static int32_t found(int32_t position) { return position == IdentifierIndex::kAbsent ? kNone : position; }

    IdentifierIndex node_index_;
    IdentifierIndex link_index_;
    IdentifierIndex curve_index_;
    IdentifierIndex pattern_index_;
};

}  // namespace vuzizi
