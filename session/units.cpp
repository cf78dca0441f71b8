// Unit information: the current and reference unit of an attribute code.
#include <cstring>

#include "api.h"
#include "numeric.h"
#include "routines.h"
#include "state.h"
#include "text.h"

namespace session {
namespace {

// The unit codes, two characters each; the engine receives the position counted from 1.
constexpr char kUnitCodes[] = "T Z CHP CSS VOL D Q V RHVRRLW ";
static_assert(sizeof(kUnitCodes) - 1 == UNIT_CODE_COUNT * kSattrLen, "one two-character code per unit position");

// Position of the code, or 0 when the table does not hold it.
int16_t unit_position(const char* sattr) {
    for (int16_t p = 0; p < UNIT_CODE_COUNT; ++p)
        if (std::memcmp(sattr, kUnitCodes + p * kSattrLen, kSattrLen) == 0) return static_cast<int16_t>(p + 1);
    return 0;
}

}  // namespace

void get_unit_info(char* sattr, float* coef, char* ncur, char* nref, int32_t, int32_t, int32_t) {
    *coef = 1.0f;
    std::memset(ncur, kBlank, kUnitNameLen);
    std::memset(nref, kBlank, kUnitNameLen);
    int16_t position = unit_position(sattr);
    if (position == 0) return;
    GetUnitCourante(&position, &unit_cur);
    GetUnitRef(&position, unit_ref);
    *coef = round_to_float(unit_cur.coefficient);
    std::memcpy(ncur, unit_cur.name, kUnitNameLen);
    std::memcpy(nref, unit_ref, kUnitNameLen);
}

}  // namespace session
