// The 17 operations of the engine library Vuzizi32: C linkage, every argument by address.
#ifndef QORVANE_ENGINE_API_H
#define QORVANE_ENGINE_API_H

#include <stdint.h>

#include "records.h"

// Calling convention of the engine operations. The C convention is the default;
// a 32-bit Windows build against the real engine may select stdcall.
#if defined(VUZIZI_STDCALL) && defined(_WIN32) && defined(_M_IX86)
#define VUZIZI_CALL __stdcall
#elif defined(VUZIZI_STDCALL) && defined(_WIN32) && defined(__i386__)
#define VUZIZI_CALL __attribute__((stdcall))
#else
#define VUZIZI_CALL
#endif

// Visibility of the operations: exported by an engine library, imported by its users.
#if defined(_WIN32)
#if defined(VUZIZI_BUILDING_LIBRARY)
#define VUZIZI_API __declspec(dllexport)
#else
#define VUZIZI_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VUZIZI_API __attribute__((visibility("default")))
#else
#define VUZIZI_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Lifecycle. `level` is positive (a diagnostic level) or -1 (silent).
VUZIZI_API int32_t VUZIZI_CALL OpenQorvaneAPI(const int32_t* level);
VUZIZI_API int32_t VUZIZI_CALL QorvaneInit(void);
VUZIZI_API int32_t VUZIZI_CALL GetNumeroVersion(char* version /* VERSION_FIELD_LEN characters */);
VUZIZI_API int32_t VUZIZI_CALL OuvrirReseau(const char* path /* MODEL_PATH_LEN characters, then a zero byte */);
VUZIZI_API int32_t VUZIZI_CALL CloseQorvane(void);

// Units, by table position 1 to UNIT_CODE_COUNT.
VUZIZI_API int32_t VUZIZI_CALL GetUnitCourante(const int16_t* position, UnitRecord* unit);
VUZIZI_API int32_t VUZIZI_CALL GetUnitRef(const int16_t* position, char* name /* UNIT_REF_LEN bytes */);

// Nodes.
VUZIZI_API int32_t VUZIZI_CALL IndiceNoeudQor(const char* node_id /* NODE_ID_FIELD_LEN */, const int32_t* zero);
VUZIZI_API int32_t VUZIZI_CALL GetNoeudQor(const int32_t* index, NodeRecord* node);
VUZIZI_API int32_t VUZIZI_CALL SetNoeudQor(const int32_t* zero, const char* node_id, const NodeRecord* node);

// Simulation run.
VUZIZI_API int32_t VUZIZI_CALL InitCalculQor(const int32_t* zero);
VUZIZI_API int32_t VUZIZI_CALL GetParamCalcQor(CalcParamRecord* params);
VUZIZI_API int32_t VUZIZI_CALL SetParamCalcQor(const CalcParamRecord* params);
VUZIZI_API int32_t VUZIZI_CALL RunCalculQor(void);

// Result curves.
VUZIZI_API int32_t VUZIZI_CALL SetInfoCourbe(const CurveSelectRecord* selection);
VUZIZI_API int32_t VUZIZI_CALL GetNbPtUneCourbe(const int32_t* zero, int32_t* count);
VUZIZI_API int32_t VUZIZI_CALL GetUneCourbe(const int32_t* zero, double* times, double* values,
                                            int32_t* slot1, int32_t* slot2,
                                            unsigned char* area /* CURVE_AREA_LEN bytes */);

#ifdef __cplusplus
}
#endif

#endif
