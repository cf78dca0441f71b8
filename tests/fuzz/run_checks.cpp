// Physical checks of what the engine reported as a successful load or run; each violation is counted
// and its input kept (in the folder FUZZ_FINDINGS names, when set) for a minimal reproducer.
#include "run_checks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine.h"
#include "records.h"
#include "transient/curve_table.h"
#include "transient/model.h"
#include "units.h"

namespace fuzz {
namespace {

using vuzizi::transient::CurveRef;
using vuzizi::transient::TransientModel;

constexpr std::array<const char*, 5> kViolationNames = {"blow-ups", "unsteady runs", "garbage steady states",
                                                        "continuity failures", "non-finite curves"};
// Inputs kept per kind of violation: enough to see the patterns, not a copy of the corpus.
constexpr long kMaxFindingsPerKind = 25;

// A junction's steady flows balance within the model's ACCURACY share of the flows that meet there
// (the solution claims no more: damped flow updates leave imbalances of the order of the last
// change), plus a floor for flows that are all round-off (m3/s).
constexpr double kContinuityFloor = 1e-9;

// A junction this far (m) below every reservoir and tank and below its own elevation, with no path of
// links the steady state holds open to any of them, has a head that nothing in the network sets: its
// steady state is garbage (a closed link's leak, say), whatever the solver's convergence says. Deep
// heads on open paths are the friction of a demand-driven solution and are not counted.
constexpr double kFarBelowSupply = 1e4;

// Plausible heads during a run: the range of the steady heads and elevations widened on each side by
// this many times the largest head change the model can make (its range, the Joukowsky head of its
// largest steady velocity, its largest pump shutoff head), and by a floor (m).
constexpr double kRangeWidening = 10.0;
constexpr double kRangeFloor = 1000.0;

// A run with nothing imposed keeps every head within this of its start (m), plus this share of the
// Joukowsky head of the largest steady velocity (the steady state's own flow tolerance sends waves
// of that order), plus twice the level change its tanks' steady net flows make over the run.
constexpr double kSteadyFloor = 0.01;
constexpr double kSteadyShare = 0.01;
constexpr double kTankDriftWidening = 2.0;
// A steady flow below this counts as none (m3/s).
constexpr double kNoFlow = 1e-9;

constexpr std::array<int32_t, 8> kElementTypes = {ELEMENT_NODE, ELEMENT_LINK, ELEMENT_PUMP, ELEMENT_VALVE,
                                                  ELEMENT_TANK, ELEMENT_SURGE_TANK, ELEMENT_AIR_VESSEL,
                                                  ELEMENT_SURGE_VALVE};
constexpr int32_t kAttributeCodes = 4;
// FNV-1a, 64 bits.
constexpr uint64_t kFnvOffset = 1469598103934665603ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

}  // namespace

uint64_t fingerprint(std::string_view text) {
    uint64_t hash = kFnvOffset;
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * kFnvPrime;
    return hash;
}

namespace {

std::array<long, kViolationNames.size()> counts{};
// The inputs counted for each kind: an input the fuzzer runs again is counted once.
std::array<std::unordered_set<uint64_t>, kViolationNames.size()> counted;
long loads_checked = 0;
long runs_checked = 0;

void record(Violation kind, std::string_view input) {
    if (!counted[static_cast<std::size_t>(kind)].insert(fingerprint(input)).second) return;
    const long count = ++counts[static_cast<std::size_t>(kind)];
    const char* folder = std::getenv("FUZZ_FINDINGS");
    if (folder == nullptr || *folder == '\0' || count > kMaxFindingsPerKind) return;
    std::string name = kViolationNames[static_cast<std::size_t>(kind)];
    std::replace(name.begin(), name.end(), ' ', '-');
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fingerprint(input)));
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::ofstream out(std::filesystem::path(folder) / (name + "-" + hex + ".inp"), std::ios::binary);
    out.write(input.data(), static_cast<std::streamsize>(input.size()));
}

bool junction_continuity_holds(const vuzizi::Network& network, const vuzizi::SteadyState& steady) {
    const std::size_t nodes = network.nodes.size();
    std::vector<double> imbalance(nodes, 0.0), scale(nodes, 0.0);
    for (std::size_t n = 0; n < nodes; ++n) {
        imbalance[n] = -steady.demand[n];
        scale[n] = std::fabs(steady.demand[n]);
    }
    for (std::size_t l = 0; l < network.links.size(); ++l) {
        const vuzizi::Link& link = network.links[l];
        const double q = steady.flow[l];
        imbalance[static_cast<std::size_t>(link.from)] -= q;
        imbalance[static_cast<std::size_t>(link.to)] += q;
        scale[static_cast<std::size_t>(link.from)] += std::fabs(q);
        scale[static_cast<std::size_t>(link.to)] += std::fabs(q);
    }
    for (std::size_t n = 0; n < nodes; ++n) {
        if (network.nodes[n].kind != vuzizi::NodeKind::Junction) continue;
        if (!(std::fabs(imbalance[n]) <= network.options.accuracy * scale[n] + kContinuityFloor)) return false;
    }
    return true;
}

// Per node, whether links the steady state holds open join it to a reservoir or tank.
std::vector<char> reached_from_supplies(const vuzizi::Network& network, const vuzizi::SteadyState& steady) {
    const std::size_t nodes = network.nodes.size();
    std::vector<std::vector<int32_t>> neighbours(nodes);
    for (std::size_t l = 0; l < network.links.size(); ++l) {
        if (steady.state[l] == vuzizi::LinkState::Closed) continue;
        const vuzizi::Link& link = network.links[l];
        neighbours[static_cast<std::size_t>(link.from)].push_back(link.to);
        neighbours[static_cast<std::size_t>(link.to)].push_back(link.from);
    }
    std::vector<char> reached(nodes, 0);
    std::vector<int32_t> pending;
    for (std::size_t n = 0; n < nodes; ++n)
        if (network.nodes[n].kind != vuzizi::NodeKind::Junction) {
            reached[n] = 1;
            pending.push_back(static_cast<int32_t>(n));
        }
    while (!pending.empty()) {
        const int32_t n = pending.back();
        pending.pop_back();
        for (const int32_t m : neighbours[static_cast<std::size_t>(n)])
            if (!reached[static_cast<std::size_t>(m)]) {
                reached[static_cast<std::size_t>(m)] = 1;
                pending.push_back(m);
            }
    }
    return reached;
}

bool steady_state_is_plausible(const vuzizi::Network& network, const vuzizi::SteadyState& steady) {
    double lowest_supply = std::numeric_limits<double>::infinity();
    for (std::size_t n = 0; n < network.nodes.size(); ++n)
        if (network.nodes[n].kind != vuzizi::NodeKind::Junction) lowest_supply = std::min(lowest_supply, steady.head[n]);
    const std::vector<char> reached = reached_from_supplies(network, steady);
    for (std::size_t n = 0; n < network.nodes.size(); ++n) {
        const vuzizi::Node& node = network.nodes[n];
        if (node.kind != vuzizi::NodeKind::Junction || reached[n]) continue;
        if (steady.head[n] < std::min(lowest_supply, node.elevation) - kFarBelowSupply) return false;
    }
    return true;
}

// Joukowsky head a V / g of the largest steady velocity in a pipe.
double largest_joukowsky_head(const TransientModel& model) {
    double largest = 0.0;
    for (const auto& pipe : model.pipes) {
        const double area = vuzizi::transient::circle_area(pipe.diameter);
        if (area > 0.0) largest = std::max(largest, pipe.wave_speed * std::fabs(pipe.flow) / area / vuzizi::kGravity);
    }
    return largest;
}

// Whether the run starts an event: a boundary series, a pump trip or stop, a valve motion, a relief
// valve open at the start, or a cavity at the start. Without one, nothing should move.
bool imposes_something(const TransientModel& model) {
    for (const auto& node : model.nodes) {
        if (node.imposed != vuzizi::transient::Imposed::Nothing) return true;
        const double vapour_gauge = model.vapour_head - vuzizi::transient::kAtmosphericHead;
        if (model.column_separation && node.head - node.elevation <= vapour_gauge) return true;
    }
    for (const auto& pump : model.pumps)
        if (std::isfinite(pump.trip_time) || (!pump.running && std::fabs(pump.flow) > kNoFlow)) return true;
    for (const auto& valve : model.valves)
        if (!valve.opening.empty()) return true;
    for (const auto& relief : model.relief_valves) {
        const auto& node = model.nodes[static_cast<std::size_t>(relief.node)];
        if (node.head - node.elevation >= relief.set_pressure) return true;
    }
    return false;
}

// How far a tank's level moves over the run with its steady net inflow, for the steadiness tolerance.
double largest_tank_drift(const TransientModel& model, double duration) {
    std::vector<double> inflow(model.nodes.size(), 0.0);
    const auto add = [&inflow](const auto& links) {
        for (const auto& link : links) {
            inflow[static_cast<std::size_t>(link.from)] -= link.flow;
            inflow[static_cast<std::size_t>(link.to)] += link.flow;
        }
    };
    add(model.pipes);
    add(model.pumps);
    add(model.valves);
    double largest = 0.0;
    for (std::size_t n = 0; n < model.nodes.size(); ++n) {
        const auto& node = model.nodes[n];
        if (node.kind == vuzizi::transient::NodeKind::Tank && node.tank_area > 0.0)
            largest = std::max(largest, std::fabs(inflow[n]) * duration / node.tank_area);
    }
    return largest;
}

// The identifiers of the elements of one curve type.
std::vector<std::string> ids_of(const TransientModel& model, int32_t element_type) {
    std::vector<std::string> ids;
    const auto add = [&ids](const auto& items) {
        for (const auto& item : items) ids.push_back(item.id);
    };
    switch (element_type) {
        case ELEMENT_NODE: add(model.nodes); break;
        case ELEMENT_LINK: add(model.pipes); break;
        case ELEMENT_PUMP: add(model.pumps); break;
        case ELEMENT_VALVE: add(model.valves); break;
        case ELEMENT_TANK:
            for (const auto& node : model.nodes)
                if (node.kind == vuzizi::transient::NodeKind::Tank) ids.push_back(node.id);
            break;
        case ELEMENT_SURGE_TANK: add(model.surge_tanks); break;
        case ELEMENT_AIR_VESSEL: add(model.air_vessels); break;
        case ELEMENT_SURGE_VALVE: add(model.relief_valves); break;
        default: break;
    }
    return ids;
}

bool curves_are_finite(const vuzizi::transient::RunState& run) {
    const auto& results = run.results;
    for (const int32_t type : kElementTypes) {
        for (const std::string& id : ids_of(run.results_model, type)) {
            for (int32_t attribute = 0; attribute < kAttributeCodes; ++attribute) {
                CurveRef ref;
                if (!vuzizi::transient::find_curve(run.results_model, run.results_index, type, attribute, id, ref))
                    continue;
                for (int64_t k = 0; k < results.frames(); ++k)
                    if (!std::isfinite(vuzizi::transient::curve_value(ref, results.layout(), results.frame(k), run.units)))
                        return false;
            }
        }
    }
    return true;
}

}  // namespace

void check_load(std::string_view input) {
    vuzizi::Engine& engine = vuzizi::engine();
    if (!engine.has_network()) return;
    ++loads_checked;
    const vuzizi::Network& network = engine.network();
    const vuzizi::SteadyState& steady = engine.steady_state();
    if (steady.head.size() != network.nodes.size() || steady.flow.size() != network.links.size() ||
        steady.state.size() != network.links.size())
        return;
    if (!junction_continuity_holds(network, steady)) record(Violation::Continuity, input);
    if (!steady_state_is_plausible(network, steady)) record(Violation::GarbageSteady, input);
}

void check_run(std::string_view input) {
    const vuzizi::transient::RunState& run = vuzizi::engine().transient_run;
    if (!run.has_results || run.results.frames() == 0) return;
    ++runs_checked;
    if (!curves_are_finite(run)) record(Violation::NonFiniteCurve, input);

    const TransientModel& model = run.results_model;
    const auto& results = run.results;
    const int32_t heads = results.layout().node_head;
    const std::size_t nodes = model.nodes.size();
    double lowest = std::numeric_limits<double>::infinity(), highest = -lowest, shutoff = 0.0;
    for (const auto& node : model.nodes) {
        lowest = std::min({lowest, node.head, node.elevation});
        highest = std::max({highest, node.head, node.elevation});
    }
    for (const auto& pump : model.pumps) shutoff = std::max(shutoff, std::fabs(pump.curve.shutoff));
    const double joukowsky = largest_joukowsky_head(model);
    const double widening = kRangeWidening * ((highest - lowest) + joukowsky + shutoff) + kRangeFloor;
    const double duration = results.time(results.frames() - 1) - results.time(0);
    const double steady_tolerance = kSteadyFloor + kSteadyShare * joukowsky +
                                    kTankDriftWidening * largest_tank_drift(model, duration);
    const bool nothing_imposed = !imposes_something(model);

    bool in_range = true, steady = true;
    const double* start = results.frame(0) + heads;
    for (int64_t k = 0; k < results.frames(); ++k) {
        const double* head = results.frame(k) + heads;
        for (std::size_t n = 0; n < nodes; ++n) {
            if (!(head[n] >= lowest - widening && head[n] <= highest + widening)) in_range = false;
            if (nothing_imposed && !(std::fabs(head[n] - start[n]) <= steady_tolerance)) steady = false;
        }
    }
    if (!in_range) record(Violation::BlowUp, input);
    if (!steady) record(Violation::Unsteady, input);
}

long violation_count(Violation kind) { return counts[static_cast<std::size_t>(kind)]; }

bool any_violation() {
    return std::any_of(counts.begin(), counts.end(), [](long count) { return count > 0; });
}

void print_summary(std::FILE* out) {
    std::fprintf(out, "fuzz checks: %ld loads and %ld runs reported as success checked:", loads_checked, runs_checked);
    for (std::size_t k = 0; k < counts.size(); ++k)
        std::fprintf(out, "%s %ld %s", k == 0 ? "" : ",", counts[k], kViolationNames[k]);
    std::fprintf(out, "\n");
    if (any_violation()) std::fprintf(out, "%s\n", kViolationsFound);
}

}  // namespace fuzz
