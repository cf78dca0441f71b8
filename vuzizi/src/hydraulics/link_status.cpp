// Status decisions: pressure and flow control valves, check valves and pumps.
#include "solver_parts.h"

namespace vuzizi {
namespace {

LinkState prv_state(LinkState state, double h_from, double h_to, double setting, double q) {
    switch (state) {
        case LinkState::Active:
            if (q < -kFlowTolerance) return LinkState::Closed;
            if (h_from < setting - kHeadTolerance) return LinkState::Open;
            return state;
        case LinkState::Open:
            if (q < -kFlowTolerance) return LinkState::Closed;
            if (h_to > setting + kHeadTolerance) return LinkState::Active;
            return state;
        case LinkState::Closed:
            if (h_from > setting + kHeadTolerance && h_to < setting - kHeadTolerance) return LinkState::Active;
            if (h_from > h_to + kHeadTolerance && h_from < setting) return LinkState::Open;
            return state;
    }
    return state;
}

LinkState psv_state(LinkState state, double h_from, double h_to, double setting, double q) {
    switch (state) {
        case LinkState::Active:
            if (q < -kFlowTolerance) return LinkState::Closed;
            if (h_to > setting + kHeadTolerance) return LinkState::Open;
            return state;
        case LinkState::Open:
            if (q < -kFlowTolerance) return LinkState::Closed;
            if (h_from < setting - kHeadTolerance) return LinkState::Active;
            return state;
        case LinkState::Closed:
            if (h_from > setting + kHeadTolerance && h_from > h_to + kHeadTolerance)
                return h_to < setting ? LinkState::Active : LinkState::Open;
            return state;
    }
    return state;
}

LinkState fcv_state(LinkState state, double h_from, double h_to, double setting, double q) {
    switch (state) {
        case LinkState::Active:
            // Holding the set flow would need a head gain: the valve is fully open instead.
            if (h_from < h_to - kHeadTolerance) return LinkState::Open;
            return state;
        case LinkState::Open:
            if (q > setting + kFlowTolerance) return LinkState::Active;
            return state;
        case LinkState::Closed: return LinkState::Active;
    }
    return state;
}

}  // namespace

bool state_is_free(const Link& link) {
    switch (link.kind) {
        case LinkKind::Pipe: return link.check_valve && link.status != LinkStatus::Closed;
        case LinkKind::Pump: return link.status != LinkStatus::Closed;
        case LinkKind::Valve: return link.status == LinkStatus::Active;
    }
    return false;
}

int update_valve_states(const Network& network, const LinkModels& models, const std::vector<double>& head,
                         const std::vector<double>& flow, std::vector<LinkState>& state) {
    int changed = 0;
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        const Link& l = network.links[k];
        if (l.kind != LinkKind::Valve || !state_is_free(l) || models.isolated[k]) continue;
        const double hf = head[l.from];
        const double ht = head[l.to];
        LinkState next = state[k];
        switch (l.valve_type) {
            case ValveType::PRV: next = prv_state(state[k], hf, ht, models.control_head[k], flow[k]); break;
            case ValveType::PSV: next = psv_state(state[k], hf, ht, models.control_head[k], flow[k]); break;
            case ValveType::FCV: next = fcv_state(state[k], hf, ht, l.setting, flow[k]); break;
            case ValveType::PBV:
            case ValveType::TCV:
            case ValveType::GPV: break;
        }
        if (next != state[k]) {
            state[k] = next;
            ++changed;
        }
    }
    return changed;
}

int update_link_states(const Network& network, const LinkModels& models, const std::vector<double>& head,
                        const std::vector<double>& flow, std::vector<LinkState>& state) {
    int changed = 0;
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        const Link& l = network.links[k];
        if (!state_is_free(l) || l.kind == LinkKind::Valve || models.isolated[k]) continue;
        const double rise = head[l.to] - head[l.from];
        LinkState next = state[k];
        if (l.kind == LinkKind::Pipe) {
            // Check valve: closed against a higher downstream head.
            if (rise > kHeadTolerance) next = LinkState::Closed;
            else if (rise < -kHeadTolerance) next = LinkState::Open;
        } else if (models.speed[k] <= 0.0) {
            next = LinkState::Closed;  // a stopped pump carries nothing
        } else {
            // Pump: off when the head it would have to lift exceeds its shutoff head; it carries no
            // reverse flow (every pump closes as a check valve would).
            const double shutoff = models.pump[k].shutoff_head(models.speed[k]);
            if (rise > shutoff + kHeadTolerance || flow[k] < -kFlowTolerance) next = LinkState::Closed;
            else if (rise < shutoff - kHeadTolerance) next = LinkState::Open;
        }
        if (next != state[k]) {
            state[k] = next;
            ++changed;
        }
    }
    return changed;
}

}  // namespace vuzizi
