// Routines of the session's calling form that do nothing: what the minimal frames call through a pointer.
#pragma once

#include "routines.h"

namespace bench {

void noop_init(int32_t* debuglevel, char* pvers, int32_t pvers_len);
void noop_quit();
void noop_loadmodel(char* modelname, int32_t* fstat, int32_t modelname_len);
void noop_get_unit_info(char* sattr, float* coef, char* ncur, char* nref, int32_t sattr_len, int32_t ncur_len,
                        int32_t nref_len);
void noop_get_node(char* eid, int32_t* idx, float* fz, float* fcs, float* fch, int32_t eid_len);
void noop_set_col_node(char* eid, char* mode, float* tim, float* val, int32_t* fstat, int32_t* nbp, int32_t eid_len,
                       int32_t mode_len);
void noop_run_simulation(float* horizon, float* storefact, int32_t* fstat);
void noop_size_ts(char* typelt, char* eid, char* attribut, int32_t* nval, int32_t typelt_len, int32_t eid_len,
                  int32_t attribut_len);
void noop_result_ts(int32_t* nval, double* vdate, double* vval);

}  // namespace bench
