// Node data and boundary conditions.
#include <string>

#include "api.h"
#include "diag.h"
#include "numeric.h"
#include "routines.h"
#include "state.h"
#include "text.h"

namespace session {
namespace {

// Index reported for an identifier the module refuses before asking the engine.
constexpr int32_t kRefusedIndex = -1;

constexpr WordCode<int32_t> kModes[] = {
    {"CS", NODE_MODE_DEMAND},
    {"CH", NODE_MODE_HEAD},
    {"P", NODE_MODE_PRESSURE},
};

// An identifier with more significant characters than the field holds would be cut onto
// another node: refuse it instead.
bool identifier_fits(const char* eid, int32_t eid_len) {
    if (trimmed_length(eid, eid_len) <= NODE_ID_SIGNIFICANT) return true;
    if (errors_enabled()) diag_line({" * Identifier too long:", text_item(eid, eid_len)});
    return false;
}

}  // namespace

void get_node(char* eid, int32_t* idx, float* fz, float* fcs, float* fch, int32_t eid_len) {
    *fz = 0.0f;
    *fcs = 0.0f;
    *fch = 0.0f;
    if (!identifier_fits(eid, eid_len)) {
        *idx = kRefusedIndex;
        return;
    }
    fill_identifier(get_node_field, NODE_ID_FIELD_LEN, eid, eid_len);
    int32_t zero = 0;
    *idx = IndiceNoeudQor(get_node_field, &zero);
    if (*idx < 0) {
        if (errors_enabled()) diag_line({" * Unknown node:", text_item(eid, eid_len)});
        return;
    }
    GetNoeudQor(idx, &get_node_record);
    *fz = round_to_float(get_node_record.elevation);
    *fcs = round_to_float(get_node_record.demand);
    *fch = round_to_float(get_node_record.head);
}

void set_col_node(char* eid, char* mode, float* tim, float* val, int32_t* fstat, int32_t* nbp,
                  int32_t eid_len, int32_t mode_len) {
    *fstat = 0;
    if (!identifier_fits(eid, eid_len)) return;
    const int32_t t = trimmed_length(eid, eid_len);
    fill_identifier(set_node_field, NODE_ID_FIELD_LEN, eid, eid_len);

    int32_t code = 0;
    if (!find_word(kModes, mode, mode_len, code)) {
        if (errors_enabled()) diag_line({" * Unknow condition:", text_item(mode, mode_len)});
        return;
    }
    // The record holds NODE_MAX_POINTS points: a longer series is refused, never cut.
    const int32_t count = *nbp;
    if (count < 0 || count > NODE_MAX_POINTS) {
        if (errors_enabled()) diag_line({" * Too many points:", std::to_string(count)});
        return;
    }

    fill_identifier(set_node_record.id, NODE_ID_FIELD_LEN, eid, eid_len);
    set_node_record.mode = code;
    set_node_record.count = count;
    for (int32_t i = 0; i < count; ++i) {
        set_node_record.points[i].time = static_cast<double>(tim[i]);
        set_node_record.points[i].value = static_cast<double>(val[i]);
    }
    set_node_record.cleared_400 = 0;

    int32_t zero = 0;
    *fstat = SetNoeudQor(&zero, set_node_field, &set_node_record);
    if (errors_enabled() && !VUZIZI_STATUS_OK(*fstat)) diag_line({" * Error for: ", text_item(eid, t)});
}

}  // namespace session
