// C interface: lifecycle, model loading, units and nodes.
#include <cstring>

#include "api.h"
#include "engine.h"

using vuzizi::engine;
using vuzizi::kStatusFailed;
using vuzizi::kStatusOk;

extern "C" {

int32_t VUZIZI_CALL OpenQorvaneAPI(const int32_t* level) {
    if (level == nullptr) return kStatusFailed;
    return engine().open(*level);
}

int32_t VUZIZI_CALL QorvaneInit(void) {
    engine().initialise();
    return engine().is_initialised() ? kStatusOk : kStatusFailed;
}

int32_t VUZIZI_CALL GetNumeroVersion(char* version) {
    if (version == nullptr || !engine().is_open()) return kStatusFailed;
    std::memcpy(version, vuzizi::kVersion, VERSION_FIELD_LEN);
    return kStatusOk;
}

int32_t VUZIZI_CALL CloseQorvane(void) {
    engine().close();
    return kStatusOk;
}

// Not implemented yet: each reports failure and writes nothing.
int32_t VUZIZI_CALL OuvrirReseau(const char*) { return 1; /* error code 1: not available */ }
int32_t VUZIZI_CALL GetUnitCourante(const int16_t*, UnitRecord*) { return kStatusFailed; }
int32_t VUZIZI_CALL GetUnitRef(const int16_t*, char*) { return kStatusFailed; }
int32_t VUZIZI_CALL IndiceNoeudQor(const char*, const int32_t*) { return -1; }
int32_t VUZIZI_CALL GetNoeudQor(const int32_t*, NodeRecord*) { return kStatusFailed; }
int32_t VUZIZI_CALL SetNoeudQor(const int32_t*, const char*, const NodeRecord*) { return kStatusFailed; }

}
