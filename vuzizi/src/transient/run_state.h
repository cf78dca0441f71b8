// State of the transient run kept by the engine between the run and curve operations.
#pragma once

#include <cstdint>
#include <string>

#include "curve_table.h"
#include "model.h"
#include "result_store.h"
#include "solver.h"

namespace vuzizi::transient {

inline constexpr float kDefaultHorizon = 60.0f;  // s
inline constexpr int32_t kDefaultStorageFactor = 1;

// What the parameter record published for the last complete run, readable after it until the
// next load or preparation.
struct PublishedRun {
    bool valid = false;
    uint64_t generation = 0;  // the engine's network generation of the run
    double time_step = 0.0;
    int32_t total_reaches = 0;
    float largest_adjustment = 0.0f;
    int32_t step_count = 0;
    int32_t stored_points = 0;
    double result_bytes = 0.0;
    int32_t fitting_factor = 0;
    int32_t lumped_pipes = 0;
};

struct RunState {
    // Parameters, kept from one run to the next.
    float horizon = kDefaultHorizon;
    int32_t storage_factor = kDefaultStorageFactor;

    // The prepared run: model and solver at the steady state.
    bool prepared = false;
    TransientModel model;
    Solver solver;

    PublishedRun last_run;

    // Results of the last complete run, for the network they were computed on.
    bool has_results = false;
    uint64_t results_generation = 0;  // the engine's network generation they were computed on
    ResultStore results;
    TransientModel results_model;  // the model the results belong to
    ElementIndex results_index;    // its elements by identifier
    CurveUnits units;

    // The curve selected by SetInfoCourbe.
    bool selected = false;
    CurveRef selection;
    std::string selection_unit;

    void clear_results() {
        has_results = false;
        results.clear();
        selected = false;
    }
};

}  // namespace vuzizi::transient
