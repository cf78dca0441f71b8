// Simulation run: prepare, read the parameters, set horizon and storage factor, run.
#include "api.h"
#include "diag.h"
#include "numeric.h"
#include "routines.h"
#include "state.h"

namespace session {
namespace {

void report_failure(int32_t status, std::string_view line) {
    if (errors_enabled() && !VUZIZI_STATUS_OK(status)) diag_line({line});
}

}  // namespace

void run_simulation(float* horizon, float* storefact, int32_t* fstat) {
    int32_t zero = 0;
    forget_curve_points();
    *fstat = InitCalculQor(&zero);
    report_failure(*fstat, " * Error initialising simulation");
    *fstat = GetParamCalcQor(&calc_params);
    report_failure(*fstat, " * Error getting parameters");

    // Values that are not greater than zero (NaN included) keep what the engine reported.
    if (*horizon > 0.0f) calc_params.horizon = *horizon;
    if (*storefact > 0.0f) calc_params.storage_factor = truncate_positive(*storefact);

    *fstat = SetParamCalcQor(&calc_params);
    if (!VUZIZI_STATUS_OK(*fstat)) {
        report_failure(*fstat, " * Error setting parameters");
        return;
    }
    *fstat = RunCalculQor();
    report_failure(*fstat, " * Error running simulation");
}

}  // namespace session
