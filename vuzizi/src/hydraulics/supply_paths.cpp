// Supply paths of the steady state: a search from the reservoirs and tanks over the links that
// are not held closed.
#include "supply_paths.h"

#include <algorithm>

namespace vuzizi {
namespace {

enum class Followed { AllLinks, LinksNotHeldClosed, LinksOpenInSolution };

// Per node, the other ends of its links that are followed, in two flat arrays (one allocation
// each, however large the network): those of node i are target[start[i]] .. target[start[i + 1]).
struct Neighbours {
    std::vector<int32_t> start;
    std::vector<int32_t> target;
};

// `state` for LinksOpenInSolution.
Neighbours neighbours_over(const Network& network, Followed followed, const SteadyState* state = nullptr) {
    auto followed_link = [&](std::size_t k) {
        if (followed == Followed::LinksNotHeldClosed) return network.links[k].status != LinkStatus::Closed;
        if (followed == Followed::LinksOpenInSolution) return state->state[k] != LinkState::Closed;
        return true;
    };
    Neighbours out;
    out.start.assign(network.nodes.size() + 1, 0);
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        if (!followed_link(k)) continue;
        ++out.start[network.links[k].from + 1];
        ++out.start[network.links[k].to + 1];
    }
    for (std::size_t i = 1; i < out.start.size(); ++i) out.start[i] += out.start[i - 1];
    out.target.resize(static_cast<std::size_t>(out.start.back()));
    std::vector<int32_t> next(out.start.begin(), out.start.end() - 1);
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        if (!followed_link(k)) continue;
        const Link& link = network.links[k];
        out.target[next[link.from]++] = link.to;
        out.target[next[link.to]++] = link.from;
    }
    return out;
}

// Marks with `mark` every node reached from `stack` through `neighbours` that is still unmarked;
// returns the nodes reached, the starting ones included.
std::vector<int32_t> spread(const Neighbours& neighbours, std::vector<int32_t> stack, std::vector<int32_t>& group_of,
                            int32_t mark) {
    std::vector<int32_t> reached = stack;
    while (!stack.empty()) {
        const int32_t node = stack.back();
        stack.pop_back();
        for (int32_t j = neighbours.start[node]; j < neighbours.start[node + 1]; ++j) {
            const int32_t next = neighbours.target[j];
            if (group_of[next] != kNone) continue;
            group_of[next] = mark;
            stack.push_back(next);
            reached.push_back(next);
        }
    }
    return reached;
}

constexpr int32_t kSupplied = 0;

std::vector<char> reached_from_supply(const Network& network, Followed followed, const SteadyState* state = nullptr) {
    const std::size_t n = network.nodes.size();
    std::vector<int32_t> group_of(n, kNone);
    std::vector<int32_t> sources;
    for (std::size_t i = 0; i < n; ++i) {
        if (!network.is_fixed_head(static_cast<int32_t>(i))) continue;
        group_of[i] = kSupplied;
        sources.push_back(static_cast<int32_t>(i));
    }
    (void)spread(neighbours_over(network, followed, state), std::move(sources), group_of, kSupplied);
    std::vector<char> reached(n, 0);
    for (std::size_t i = 0; i < n; ++i) reached[i] = group_of[i] == kSupplied ? 1 : 0;
    return reached;
}

}  // namespace

std::vector<char> connected_nodes(const Network& network) { return reached_from_supply(network, Followed::AllLinks); }

std::vector<char> supplied_nodes(const Network& network) {
    return reached_from_supply(network, Followed::LinksNotHeldClosed);
}

std::vector<char> supplied_in_solution(const Network& network, const SteadyState& state) {
    return reached_from_supply(network, Followed::LinksOpenInSolution, &state);
}

std::vector<int32_t> cut_off_demands(const Network& network, const std::vector<char>& supplied) {
    std::vector<int32_t> cut_off;
    for (std::size_t i = 0; i < network.nodes.size(); ++i) {
        const auto node = static_cast<int32_t>(i);
        if (!supplied[i] && junction_demand(network, node, 0.0) != 0.0) cut_off.push_back(node);
    }
    return cut_off;
}

void settle_cut_off_junctions(const Network& network, const std::vector<char>& supplied, SteadyState& state) {
    const std::size_t n = network.nodes.size();
    if (std::all_of(supplied.begin(), supplied.end(), [](char s) { return s != 0; })) return;
    const auto neighbours = neighbours_over(network, Followed::LinksNotHeldClosed);
    std::vector<int32_t> group_of(n, kNone);
    int32_t next_group = kSupplied;
    for (std::size_t i = 0; i < n; ++i) {
        if (supplied[i] || group_of[i] != kNone) continue;
        group_of[i] = ++next_group;
        const std::vector<int32_t> group = spread(neighbours, {static_cast<int32_t>(i)}, group_of, next_group);
        double head = network.nodes[group.front()].elevation;
        for (const int32_t node : group) head = std::max(head, network.nodes[node].elevation);
        for (const int32_t node : group) state.head[node] = head;
    }
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        const Link& link = network.links[k];
        if (!supplied[link.from] || !supplied[link.to]) state.flow[k] = 0.0;
    }
}

}  // namespace vuzizi
