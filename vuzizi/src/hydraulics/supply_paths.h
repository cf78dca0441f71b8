// Which nodes the steady state can supply: those joined to a reservoir or tank by links that
// may be open at time 0.
#pragma once

#include <cstdint>
#include <vector>

#include "steady_state.h"

namespace vuzizi {

// Per node, whether a path of links leads to a reservoir or tank, over every link.
std::vector<char> connected_nodes(const Network& network);

// Per node, whether a path of links not held closed leads to a reservoir or tank. A link is held
// closed by its model status or a time-0 control (already applied to `network`); links whose
// state the solution decides (check valves, pumps that may stop, valves that may close) are
// followed, since the solution may open them.
std::vector<char> supplied_nodes(const Network& network);

// Per node, whether a path of links that are open in the solved state (not closed by the model,
// a control or the solution itself: a check valve, a stopped pump, a closed valve) leads to a
// reservoir or tank.
std::vector<char> supplied_in_solution(const Network& network, const SteadyState& state);

// The junctions with a demand at time 0 among the nodes not supplied.
std::vector<int32_t> cut_off_demands(const Network& network, const std::vector<char>& supplied);

// Gives the junctions that are not supplied (none of which has a demand) a defined state: the
// junctions of each group joined by links not held closed share one head, the highest elevation
// in the group, and every link touching them carries no flow.
void settle_cut_off_junctions(const Network& network, const std::vector<char>& supplied, SteadyState& state);

}  // namespace vuzizi
