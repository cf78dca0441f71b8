// The session's process-wide state: the eight module variables and the private records and fields.
#pragma once

#include <cstdint>

#include "records.h"

namespace session {

// Widths of the module variables.
inline constexpr int kQorIdLen = CURVE_ID_SIGNIFICANT;
inline constexpr int kVersQordllLen = VERSION_LEN;

// Published constants, in read-only storage.
extern const int32_t sz_sid;
extern const int32_t sz_lid;

// Module variables, shared with Python through the variable export.
extern int32_t stat_qordll;
extern int32_t debug;
extern int16_t qor_typelt;
extern int16_t qor_attr;
extern char qor_id[kQorIdLen];
extern char vers_qordll[kVersQordllLen];

// Private fields and records exchanged with the engine.
extern char vers_buf[VERSION_FIELD_LEN];
extern char model_path[MODEL_PATH_LEN + 1];  // the last byte is always zero
extern UnitRecord unit_cur;
extern char unit_ref[UNIT_REF_LEN];
extern char get_node_field[NODE_ID_FIELD_LEN];
extern NodeRecord get_node_record;
extern char set_node_field[NODE_ID_FIELD_LEN];
extern NodeRecord set_node_record;
extern CalcParamRecord calc_params;
extern CurveSelectRecord curve_select;
extern unsigned char curve_area[CURVE_AREA_LEN];

// Selection codes meaning "no selection".
inline constexpr int16_t kNoSelection = -1;

// Point count of the selected curve as the engine last reported it, or kCountUnknown.
// Anything that may change the engine's curves forgets it.
inline constexpr int32_t kCountUnknown = -1;
extern int32_t selected_curve_points;
void forget_curve_points();

// The variable export: hands the addresses of the eight module variables, in table order,
// then the widths of the two text variables.
using VariableSetup = void (*)(char* sz_sid, char* sz_lid, char* stat_qordll, char* debug,
                               char* qor_typelt, char* qor_attr, char* qor_id, char* vers_qordll,
                               int qor_id_len, int vers_qordll_len);
void export_variables(VariableSetup setup);

}  // namespace session
