// Result time series: select a curve by element type, attribute and identifier; read its points.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "api.h"
#include "diag.h"
#include "routines.h"
#include "state.h"
#include "text.h"

namespace session {
namespace {

constexpr WordCode<int16_t> kElementTypes[] = {
    {"LINK", ELEMENT_LINK},          {"ARC", ELEMENT_LINK},
    {"PUMP", ELEMENT_PUMP},          {"POMPE", ELEMENT_PUMP},
    {"VANNE", ELEMENT_VALVE},
    {"NODE", ELEMENT_NODE},          {"NOEUD", ELEMENT_NODE},
    {"TANK", ELEMENT_TANK},          {"RESERVOIR", ELEMENT_TANK},
    {"ANB", ELEMENT_SURGE_VALVE},
    {"CHEMINEE", ELEMENT_SURGE_TANK},
    {"BALLON", ELEMENT_AIR_VESSEL},
};

// Any element-type text starting with one of these four characters is a valve.
constexpr std::string_view kValvePrefixes[] = {"ROBI", "REGU"};
constexpr std::size_t kValvePrefixLen = 4;

constexpr WordCode<int16_t> kAttributes[] = {
    {"CH", ATTRIBUTE_0}, {"Q", ATTRIBUTE_0},
    {"PC", ATTRIBUTE_1}, {"NC", ATTRIBUTE_1}, {"NV", ATTRIBUTE_1},
    {"P", ATTRIBUTE_2},  {"VR", ATTRIBUTE_2}, {"VO", ATTRIBUTE_2},
    {"DO", ATTRIBUTE_3},
};

bool find_element_type(const char* typelt, int32_t len, int16_t& code) {
    if (find_word(kElementTypes, typelt, len, code)) return true;
    if (len < static_cast<int32_t>(kValvePrefixLen)) return false;
    for (std::string_view prefix : kValvePrefixes) {
        if (std::memcmp(typelt, prefix.data(), kValvePrefixLen) == 0) {
            code = ELEMENT_VALVE;
            return true;
        }
    }
    return false;
}

// Storage for a curve longer than the caller's arrays; kept between calls so that reading
// many curves does not allocate each time.
std::vector<double> spill_times;
std::vector<double> spill_values;

// Reads `points` points of the selected curve and hands the first `wanted` to the caller.
void read_through_spill(int32_t points, int32_t wanted, double* vdate, double* vval) {
    try {
        spill_times.assign(static_cast<std::size_t>(points), 0.0);
        spill_values.assign(static_cast<std::size_t>(points), 0.0);
    } catch (const std::bad_alloc&) {
        if (errors_enabled()) diag_line({" * Not enough memory for a curve of ", std::to_string(points), " points"});
        return;
    }
    int32_t zero = 0, slot1 = 0, slot2 = 0;
    GetUneCourbe(&zero, spill_times.data(), spill_values.data(), &slot1, &slot2, curve_area);
    std::copy_n(spill_times.begin(), wanted, vdate);
    std::copy_n(spill_values.begin(), wanted, vval);
}

}  // namespace

void size_ts(char* typelt, char* eid, char* attribut, int32_t* nval,
             int32_t typelt_len, int32_t eid_len, int32_t attribut_len) {
    qor_typelt = kNoSelection;
    qor_attr = kNoSelection;
    *nval = 0;
    forget_curve_points();
    if (!VUZIZI_STATUS_OK(stat_qordll)) return;

    // An identifier longer than the field would be cut onto another element: refuse it.
    const int32_t t = trimmed_length(eid, eid_len);
    if (t > CURVE_ID_SIGNIFICANT) {
        if (errors_enabled()) diag_line({" * Identifier too long:", text_item(eid, eid_len)});
        return;
    }

    int16_t type_code = 0;
    if (!find_element_type(typelt, typelt_len, type_code)) {
        if (errors_enabled()) diag_line({" * Unknown TYPELT:", text_item(typelt, typelt_len)});
        return;
    }
    curve_select.element_type = type_code;
    qor_typelt = type_code;

    int16_t attribute_code = 0;
    if (!find_word(kAttributes, attribut, attribut_len, attribute_code)) {
        if (errors_enabled()) diag_line({" * Unknown ATTRIBUT:", text_item(attribut, attribut_len)});
        return;
    }
    curve_select.attribute = attribute_code;
    qor_attr = attribute_code;

    copy_padded(qor_id, kQorIdLen, eid, eid_len);
    fill_identifier(curve_select.id, CURVE_ID_FIELD_LEN, eid, t);
    curve_select.one = 1;

    if (trace_enabled())
        diag_line({"Seeking ", text_item(attribut, attribut_len), " from ", text_item(typelt, typelt_len), " ",
                   text_item(eid, eid_len)});

    if (!VUZIZI_STATUS_OK(SetInfoCourbe(&curve_select))) {
        if (errors_enabled()) diag_line({" * InfoCourbe failed"});
        return;
    }
    int32_t zero = 0;
    const int32_t count_status = GetNbPtUneCourbe(&zero, nval);
    if (!VUZIZI_STATUS_OK(count_status)) {
        if (errors_enabled()) diag_line({" * GetNbPtUneCourbe failed"});
    } else if (*nval >= 0) {
        selected_curve_points = *nval;
    }
}

void result_ts(int32_t* nval, double* vdate, double* vval) {
    const int32_t n = *nval;
    if (n > 0) {
        std::fill_n(vdate, n, 0.0);
        std::fill_n(vval, n, 0.0);
    }
    if (qor_attr == kNoSelection || qor_typelt == kNoSelection || n <= 0) return;

    // GetUneCourbe writes the whole curve and receives no length: make sure it fits.
    int32_t points = selected_curve_points;
    if (points == kCountUnknown) {
        int32_t zero = 0;
        if (!VUZIZI_STATUS_OK(GetNbPtUneCourbe(&zero, &points)) || points < 0) return;
        selected_curve_points = points;
    }
    if (points <= n) {
        int32_t zero = 0, slot1 = 0, slot2 = 0;
        GetUneCourbe(&zero, vdate, vval, &slot1, &slot2, curve_area);
    } else {
        read_through_spill(points, n, vdate, vval);
    }
}

}  // namespace session
