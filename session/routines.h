// The session routines behind the nine Python functions, in the calling form of the routine table:
// every argument by address, the lengths of the text arguments (32-bit, by value) after all others.
#pragma once

#include <cstdint>

namespace session {

void init(int32_t* debuglevel, char* pvers, int32_t pvers_len);
void quit();
void loadmodel(char* modelname, int32_t* fstat, int32_t modelname_len);
void get_unit_info(char* sattr, float* coef, char* ncur, char* nref,
                   int32_t sattr_len, int32_t ncur_len, int32_t nref_len);
void get_node(char* eid, int32_t* idx, float* fz, float* fcs, float* fch, int32_t eid_len);
void set_col_node(char* eid, char* mode, float* tim, float* val, int32_t* fstat, int32_t* nbp,
                  int32_t eid_len, int32_t mode_len);
void run_simulation(float* horizon, float* storefact, int32_t* fstat);
void size_ts(char* typelt, char* eid, char* attribut, int32_t* nval,
             int32_t typelt_len, int32_t eid_len, int32_t attribut_len);
void result_ts(int32_t* nval, double* vdate, double* vval);

// Widths of the fixed text arguments and hidden text outputs.
inline constexpr int32_t kPversLen = 4;
inline constexpr int32_t kSattrLen = 2;
inline constexpr int32_t kUnitNameLen = 6;

}  // namespace session
