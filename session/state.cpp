// Static storage of the session: zero bytes at load, alive until the process ends.
#include "state.h"

namespace session {

const int32_t sz_sid = NODE_ID_SIGNIFICANT;
const int32_t sz_lid = CURVE_ID_SIGNIFICANT;

int32_t stat_qordll = 0;
int32_t debug = 0;
int16_t qor_typelt = 0;
int16_t qor_attr = 0;
char qor_id[kQorIdLen] = {};
char vers_qordll[kVersQordllLen] = {};

char vers_buf[VERSION_FIELD_LEN] = {};
char model_path[MODEL_PATH_LEN + 1] = {};
UnitRecord unit_cur = {};
char unit_ref[UNIT_REF_LEN] = {};
char get_node_field[NODE_ID_FIELD_LEN] = {};
NodeRecord get_node_record = {};
char set_node_field[NODE_ID_FIELD_LEN] = {};
NodeRecord set_node_record = {};
CalcParamRecord calc_params = {};
CurveSelectRecord curve_select = {};
unsigned char curve_area[CURVE_AREA_LEN] = {};

int32_t selected_curve_points = kCountUnknown;

void forget_curve_points() { selected_curve_points = kCountUnknown; }

void export_variables(VariableSetup setup) {
    // The constants are handed over as addresses like the others; the frame makes their views read-only.
    setup(const_cast<char*>(reinterpret_cast<const char*>(&sz_sid)),
          const_cast<char*>(reinterpret_cast<const char*>(&sz_lid)),
          reinterpret_cast<char*>(&stat_qordll), reinterpret_cast<char*>(&debug),
          reinterpret_cast<char*>(&qor_typelt), reinterpret_cast<char*>(&qor_attr),
          qor_id, vers_qordll, kQorIdLen, kVersQordllLen);
}

}  // namespace session
