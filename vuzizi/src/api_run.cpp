// C interface: simulation run and result curves.
#include "api.h"
#include "engine.h"

using vuzizi::kStatusFailed;

extern "C" {

// Not implemented yet: each reports failure and writes nothing.
int32_t VUZIZI_CALL InitCalculQor(const int32_t*) { return kStatusFailed; }
int32_t VUZIZI_CALL GetParamCalcQor(CalcParamRecord*) { return kStatusFailed; }
int32_t VUZIZI_CALL SetParamCalcQor(const CalcParamRecord*) { return kStatusFailed; }
int32_t VUZIZI_CALL RunCalculQor(void) { return kStatusFailed; }
int32_t VUZIZI_CALL SetInfoCourbe(const CurveSelectRecord*) { return kStatusFailed; }
int32_t VUZIZI_CALL GetNbPtUneCourbe(const int32_t*, int32_t*) { return kStatusFailed; }
int32_t VUZIZI_CALL GetUneCourbe(const int32_t*, double*, double*, int32_t*, int32_t*, unsigned char*) { return kStatusFailed; }

}
