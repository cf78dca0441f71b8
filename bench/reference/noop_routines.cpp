// No-op routines, in a source of their own so that the frames cannot see through the call.
#include "noop_routines.h"

namespace bench {

void noop_init(int32_t*, char*, int32_t) {}
void noop_quit() {}
void noop_loadmodel(char*, int32_t*, int32_t) {}
void noop_get_unit_info(char*, float*, char*, char*, int32_t, int32_t, int32_t) {}
void noop_get_node(char*, int32_t*, float*, float*, float*, int32_t) {}
void noop_set_col_node(char*, char*, float*, float*, int32_t*, int32_t*, int32_t, int32_t) {}
void noop_run_simulation(float*, float*, int32_t*) {}
void noop_size_ts(char*, char*, char*, int32_t*, int32_t, int32_t, int32_t) {}
void noop_result_ts(int32_t*, double*, double*) {}

}  // namespace bench
