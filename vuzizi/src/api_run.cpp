// C interface: simulation run and result curves. Every operation checks the engine state
// first, then its arguments, then acts; none lets an exception out.
#include <algorithm>
#include <cmath>
#include <iomanip>
#include <new>
#include <sstream>
#include <string>

#include "api.h"
#include "c_guard.h"
#include "engine.h"
#include "text.h"
#include "transient/network_adapter.h"
#include "transient/run_state.h"

using vuzizi::engine;
using vuzizi::Error;
using vuzizi::kStatusFailed;
using vuzizi::kStatusOk;
using vuzizi::transient::PublishedRun;
using vuzizi::transient::ResultStore;
using vuzizi::transient::RunState;

namespace {

constexpr double kMebibyte = 1024.0 * 1024.0;
// A horizon within this relative distance of a whole number of steps, and at most
// kMaxStepRounding steps from it, is whole: horizons and the series that may set the step
// arrive in single precision (7 digits).
constexpr double kStepRounding = 1e-6;
constexpr double kMaxStepRounding = 1e-3;
// Time steps a run may take: the step count of the parameter record is a 32-bit integer.
constexpr int64_t kMaxStepCount = INT32_MAX;
// Reach updates (time steps x reaches) a run may take unless the model's WORKLIMIT raises or
// lowers it: some minutes of the time loop, which holds the caller until it ends.
constexpr double kDefaultWorkLimit = 1e11;

RunState& run() { return engine().transient_run; }

void report(Error code, const std::string& detail) { engine().diagnostics().error({}, code, detail); }

bool network_ready(const char* operation) {
    if (engine().is_open() && engine().has_network()) return true;
    report(Error::EngineNotReady, std::string(operation) + ": no network is loaded");
    return false;
}

// Steps up to the horizon; kMaxStepCount + 1 stands for every count beyond the limit.
int64_t steps_for(double horizon, double dt) {
    const double exact = horizon / dt;
    const double steps = std::ceil(exact - std::min(kStepRounding * exact, kMaxStepRounding));
    return static_cast<int64_t>(std::clamp(steps, 1.0, static_cast<double>(kMaxStepCount + 1)));
}

void trace_plan();

// Builds the model from the network, its steady state and the boundary conditions, and
// the solver at the steady state.
bool prepare(const char* operation) {
    RunState& r = run();
    r.prepared = false;
    // A preparation starts a new run: it publishes its own values, and the last run's results
    // (computed under the conditions of then) go.
    r.last_run.valid = false;
    r.clear_results();
    if (!network_ready(operation)) return false;
    if (!engine().steady_state().converged) {
        report(Error::NotConverged, std::string(operation) + ": the steady state did not converge; no run starts from it");
        return false;
    }
    std::string error;
    if (!vuzizi::transient::build_model(engine().network(), engine().steady_state(), engine().boundaries(), r.model,
                                        error) ||
        !r.solver.prepare(r.model, error)) {
        report(Error::InvalidValue, std::string(operation) + ": " + error);
        return false;
    }
    r.prepared = true;
    trace_plan();
    return true;
}

bool results_valid() {
    const RunState& r = run();
    return r.has_results && engine().has_network() && engine().network_generation() == r.results_generation;
}

// The published values of the prepared run, or of the last complete run on this network.
PublishedRun published_values() {
    const RunState& r = run();
    if (!r.prepared) {
        const bool current = r.last_run.valid && engine().has_network() &&
                             engine().network_generation() == r.last_run.generation;
        return current ? r.last_run : PublishedRun{};
    }
    const vuzizi::transient::ReachPlan& plan = r.solver.plan();
    const int64_t steps = steps_for(r.horizon, plan.time_step);
    const int32_t frame = vuzizi::transient::FrameLayout::of(r.solver).size;
    const int64_t frames = ResultStore::frames_for(steps, r.storage_factor);
    PublishedRun p;
    p.valid = true;
    p.generation = engine().network_generation();
    p.time_step = plan.time_step;
    p.total_reaches = static_cast<int32_t>(std::min<int64_t>(plan.total_reaches, INT32_MAX));
    p.largest_adjustment = static_cast<float>(plan.largest_adjustment);
    p.step_count = static_cast<int32_t>(std::min<int64_t>(steps, INT32_MAX));
    p.stored_points = static_cast<int32_t>(std::min<int64_t>(frames, INT32_MAX));
    p.result_bytes = ResultStore::bytes_for(frames, frame);
    p.fitting_factor = steps <= kMaxStepCount ? ResultStore::smallest_fitting_factor(steps, frame) : 0;
    p.lumped_pipes = plan.lumped_count;
    return p;
}

void fill_params(CalcParamRecord& rec) {
    const RunState& r = run();
    rec.horizon = r.horizon;
    rec.storage_factor = r.storage_factor;
    rec.result_limit = static_cast<double>(vuzizi::transient::kResultMemoryLimit);
    const PublishedRun p = published_values();
    rec.time_step = p.time_step;
    rec.total_reaches = p.total_reaches;
    rec.largest_adjustment = p.largest_adjustment;
    rec.step_count = p.step_count;
    rec.stored_points = p.stored_points;
    rec.result_bytes = p.result_bytes;
    rec.fitting_factor = p.fitting_factor;
    rec.lumped_pipes = p.lumped_pipes;
}

// What set the step, as the plan trace names it.
std::string step_setter(const vuzizi::transient::ReachPlan& plan) {
    using vuzizi::transient::StepSource;
    switch (plan.source) {
        case StepSource::Pipe: return "pipe " + plan.source_id;
        case StepSource::Event: return "event " + plan.source_id;
        case StepSource::Requested: return "TIMESTEP";
        case StepSource::NoPipes: break;
    }
    return "no pipe";
}

// "run plan: time step <dt> s set by <what>, <n> reaches, <m> lumped pipes, largest wave-speed
// adjustment <a> at pipe <id>", read by the package.
void trace_plan() {
    const RunState& r = run();
    const vuzizi::transient::ReachPlan& plan = r.solver.plan();
    const std::size_t at = static_cast<std::size_t>(plan.most_adjusted);
    std::ostringstream msg;
    msg << std::setprecision(9) << "run plan: time step " << plan.time_step << " s set by " << step_setter(plan) << ", "
        << plan.total_reaches << " reaches, " << plan.lumped_count << " lumped pipes, largest wave-speed adjustment "
        << plan.largest_adjustment << " at pipe " << (plan.most_adjusted < 0 ? std::string("-") : r.model.pipes[at].id);
    engine().diagnostics().trace({}, msg.str());
    // "travel times: <k> pipes interpolated", under TRAVELTIMES INTERPOLATE.
    if (r.model.interpolate_travel)
        engine().diagnostics().trace({}, "travel times: " + std::to_string(plan.interpolated_count) + " pipes interpolated");
    // "step threads: <n>", the threads that share each step.
    engine().diagnostics().trace({}, "step threads: " + std::to_string(r.solver.step_threads()));
}

// "run horizon: <h> s, <k> steps, storing every <f>, <p> points per curve, <b> bytes of results".
void trace_horizon() {
    const RunState& r = run();
    if (!r.prepared) return;  // without a prepared run there is no step to count
    PublishedRun p = published_values();
    std::ostringstream msg;
    msg << std::setprecision(9) << "run horizon: " << r.horizon << " s, " << p.step_count << " steps, storing every "
        << r.storage_factor << ", " << p.stored_points << " points per curve, " << p.result_bytes << " bytes of results";
    engine().diagnostics().trace({}, msg.str());
}

std::string unit_of(vuzizi::transient::CurveDimension d) {
    using vuzizi::Quantity;
    using vuzizi::transient::CurveDimension;
    const vuzizi::UnitSet& u = engine().network().units;
    switch (d) {
        case CurveDimension::Head: return std::string(u.current(Quantity::Head).name);
        case CurveDimension::Pressure: return std::string(u.current(Quantity::Pressure).name);
        case CurveDimension::Flow: return std::string(u.current(Quantity::Flow).name);
        case CurveDimension::Velocity: return std::string(u.current(Quantity::Velocity).name);
        case CurveDimension::Volume: return std::string(u.current(Quantity::Volume).name);
        case CurveDimension::Ratio: break;
    }
    return "-";
}

vuzizi::transient::CurveUnits curve_units() {
    using vuzizi::Quantity;
    const vuzizi::UnitSet& u = engine().network().units;
    vuzizi::transient::CurveUnits c;
    c.head = u.current(Quantity::Head).coefficient;
    c.pressure = u.current(Quantity::Pressure).coefficient;
    c.flow = u.current(Quantity::Flow).coefficient;
    c.velocity = u.current(Quantity::Velocity).coefficient;
    c.volume = u.current(Quantity::Volume).coefficient;
    return c;
}

// A long run tells how far it is, in tenths, at the trace level.
constexpr int64_t kProgressReports = 10;

void report_progress(int64_t step, int64_t steps, double dt) {
    std::ostringstream msg;
    msg << std::fixed << std::setprecision(1) << "RunCalculQor: " << (100 * step / steps) << " % done, t = "
        << static_cast<double>(step) * dt << " s of " << static_cast<double>(steps) * dt << " s";
    engine().diagnostics().trace({}, msg.str());
}

// `value` with its digits after the `digits` significant ones dropped: an advised upper limit
// must not be rounded up past the limit.
double rounded_down(double value, int digits) {
    if (!(value > 0.0) || !std::isfinite(value)) return value;
    const double scale = std::pow(10.0, digits - 1 - std::floor(std::log10(value)));
    return std::floor(value * scale) / scale;
}

constexpr int kAdviceDigits = 6;

// "the horizon must be at most X s, Y s shorter", for runs of at most `steps` steps of `dt`.
std::string shorter_horizon(double horizon, double steps, double dt) {
    const double longest = rounded_down(steps * dt, kAdviceDigits);
    std::ostringstream msg;
    msg << std::setprecision(kAdviceDigits) << "the horizon must be at most " << longest << " s, "
        << horizon - longest << " s shorter";
    return msg.str();
}

// Refuses (with a message) a horizon whose step count does not fit the record.
bool step_count_fits(double horizon, double dt) {
    if (steps_for(horizon, dt) <= kMaxStepCount) return true;
    std::ostringstream msg;
    msg << std::setprecision(kAdviceDigits) << "RunCalculQor: a horizon of " << horizon << " s takes more than "
        << kMaxStepCount << " time steps of " << dt << " s; "
        << shorter_horizon(horizon, static_cast<double>(kMaxStepCount), dt);
    report(Error::InvalidValue, msg.str());
    return false;
}

double work_limit() {
    const double limit = engine().network().transient.work_limit;
    return limit > 0.0 ? limit : kDefaultWorkLimit;
}

// Refuses (with a message giving the run's work and the longest horizon within the limit) a run
// of more reach updates than the limit. Checked before the memory: no advice on storage then
// leads to a run beyond it.
bool work_fits(double horizon, double dt, int64_t reaches) {
    const int64_t steps = steps_for(horizon, dt);
    const double work = static_cast<double>(steps) * static_cast<double>(reaches);
    const double limit = work_limit();
    if (work <= limit) return true;
    std::ostringstream msg;
    msg << std::setprecision(kAdviceDigits) << "RunCalculQor: a horizon of " << horizon << " s takes " << steps
        << " time steps of " << dt << " s on " << reaches << " reaches, " << work
        << " reach updates, more than the limit of " << limit << " (WORKLIMIT in [TRANSIENT] sets it); "
        << shorter_horizon(horizon, std::floor(limit / static_cast<double>(std::max<int64_t>(reaches, 1))), dt);
    report(Error::InvalidValue, msg.str());
    return false;
}

// Refuses (with a message naming what would fit) results beyond the memory limit.
bool results_fit(double horizon, double dt, int32_t factor, int32_t frame) {
    const int64_t steps = steps_for(horizon, dt);
    const double bytes = ResultStore::bytes_for(ResultStore::frames_for(steps, factor), frame);
    const double limit = static_cast<double>(vuzizi::transient::kResultMemoryLimit);
    if (bytes <= limit) return true;
    std::ostringstream msg;
    msg << std::fixed << std::setprecision(0) << "RunCalculQor: storing one of every " << factor << " of the " << steps
        << " steps needs " << std::ceil(bytes / kMebibyte) << " MiB of results, more than the limit of "
        << limit / kMebibyte << " MiB; ";
    const int32_t fitting = ResultStore::smallest_fitting_factor(steps, frame);
    const double longest = ResultStore::longest_fitting_steps(frame);
    if (fitting > 0)
        msg << "a storage factor of " << fitting << " would fit";
    else if (longest > 0.0)
        msg << "no storage factor fits; " << shorter_horizon(horizon, longest, dt);
    else
        msg << "one stored point of this network alone exceeds it";
    report(Error::OutOfMemory, msg.str());
    return false;
}

int32_t run_calculation() {
    RunState& r = run();
    if (!prepare("RunCalculQor")) return kStatusFailed;  // a failed run leaves no results
    const double dt = r.solver.plan().time_step;
    const int32_t frame = vuzizi::transient::FrameLayout::of(r.solver).size;
    if (!step_count_fits(r.horizon, dt) || !work_fits(r.horizon, dt, r.solver.plan().total_reaches) ||
        !results_fit(r.horizon, dt, r.storage_factor, frame)) {
        r.prepared = false;
        return kStatusFailed;
    }
    const int64_t steps = steps_for(r.horizon, dt);
    const int64_t frames = ResultStore::frames_for(steps, r.storage_factor);
    r.results.start(r.solver, frames);
    r.results.record(r.solver);
    std::string error;
    const bool tracing = engine().diagnostics().level() >= vuzizi::kLevelTraces;
    const int64_t progress_every = std::max<int64_t>(1, steps / kProgressReports);
    for (int64_t k = 1; k <= steps; ++k) {
        if (!r.solver.step(error)) {
            report(Error::RunFailed, "RunCalculQor: " + error);
            r.clear_results();
            r.prepared = false;
            return kStatusFailed;
        }
        if (k % r.storage_factor == 0) r.results.record(r.solver);
        if (tracing && k % progress_every == 0) report_progress(k, steps, dt);
    }
    r.has_results = true;
    r.results_generation = engine().network_generation();
    r.units = curve_units();
    r.results_model = r.model;
    r.results_index.build(r.results_model);
    const PublishedRun published = published_values();
    r.prepared = false;  // the solver has left the steady state
    r.last_run = published;
    return kStatusOk;
}

int32_t set_params(const CalcParamRecord* params) {
    if (params == nullptr || !engine().is_open()) return kStatusFailed;
    const float horizon = params->horizon;
    if (!(horizon > 0.0f) || !std::isfinite(horizon)) {
        report(Error::InvalidValue, "SetParamCalcQor: horizon " + std::to_string(horizon) + " s must be positive");
        return kStatusFailed;
    }
    if (params->storage_factor < 1) {
        report(Error::InvalidValue, "SetParamCalcQor: storage factor " + std::to_string(params->storage_factor) +
                                        " must be at least 1");
        return kStatusFailed;
    }
    run().horizon = horizon;
    run().storage_factor = params->storage_factor;
    trace_horizon();
    return kStatusOk;
}

int32_t select_curve(const CurveSelectRecord* selection) {
    RunState& r = run();
    r.selected = false;
    if (selection == nullptr || !engine().is_open()) return kStatusFailed;
    if (!results_valid()) {
        report(Error::EngineNotReady, "SetInfoCourbe: no results; run the calculation first");
        return kStatusFailed;
    }
    const std::string id = vuzizi::text_from_field(selection->id, CURVE_ID_FIELD_LEN);
    if (!vuzizi::transient::find_curve(r.results_model, r.results_index, selection->element_type, selection->attribute, id,
                                       r.selection)) {
        report(Error::InvalidValue, "SetInfoCourbe: no curve for element type " + std::to_string(selection->element_type) +
                                        ", attribute " + std::to_string(selection->attribute) + " and identifier '" +
                                        id + "'");
        return kStatusFailed;
    }
    r.selection_unit = unit_of(vuzizi::transient::dimension_of(r.selection.value));
    r.selected = true;
    return kStatusOk;
}

int32_t count_points(int32_t* count) {
    if (count == nullptr) return kStatusFailed;
    *count = 0;
    if (!engine().is_open() || !run().selected || !results_valid()) return kStatusFailed;
    *count = static_cast<int32_t>(std::min<int64_t>(run().results.frames(), INT32_MAX));
    return kStatusOk;
}

int32_t read_curve(double* times, double* values, int32_t* slot1, int32_t* slot2, unsigned char* area) {
    const RunState& r = run();
    if (times == nullptr || values == nullptr || !engine().is_open() || !r.selected || !results_valid())
        return kStatusFailed;
    const int64_t frames = r.results.frames();
    const vuzizi::transient::FrameLayout& layout = r.results.layout();
    for (int64_t k = 0; k < frames; ++k) {
        times[k] = r.results.time(k);
        values[k] = vuzizi::transient::curve_value(r.selection, layout, r.results.frame(k), r.units);
    }
    // The slots get the number of points and the attribute code, the area the values' unit.
    if (slot1 != nullptr) *slot1 = static_cast<int32_t>(std::min<int64_t>(frames, INT32_MAX));
    if (slot2 != nullptr) *slot2 = 0;
    if (area != nullptr) vuzizi::write_id_field(reinterpret_cast<char*>(area), CURVE_AREA_LEN, r.selection_unit);
    return kStatusOk;
}

}  // namespace

extern "C" {

int32_t VUZIZI_CALL InitCalculQor(const int32_t*) {
    return vuzizi::guarded(
        "InitCalculQor", kStatusFailed, [] { return prepare("InitCalculQor") ? kStatusOk : kStatusFailed; },
        [] { run().prepared = false; });
}

int32_t VUZIZI_CALL GetParamCalcQor(CalcParamRecord* params) {
    return vuzizi::guarded("GetParamCalcQor", kStatusFailed, [params] {
        if (params == nullptr || !engine().is_open()) return kStatusFailed;
        fill_params(*params);
        return run().prepared ? kStatusOk : kStatusFailed;
    });
}

int32_t VUZIZI_CALL SetParamCalcQor(const CalcParamRecord* params) {
    return vuzizi::guarded("SetParamCalcQor", kStatusFailed, [params] { return set_params(params); });
}

int32_t VUZIZI_CALL RunCalculQor(void) {
    return vuzizi::guarded("RunCalculQor", kStatusFailed, run_calculation, [] {
        run().clear_results();
        run().prepared = false;
    });
}

int32_t VUZIZI_CALL SetInfoCourbe(const CurveSelectRecord* selection) {
    return vuzizi::guarded("SetInfoCourbe", kStatusFailed, [selection] { return select_curve(selection); },
                           [] { run().selected = false; });
}

int32_t VUZIZI_CALL GetNbPtUneCourbe(const int32_t*, int32_t* count) {
    return vuzizi::guarded("GetNbPtUneCourbe", kStatusFailed, [count] { return count_points(count); });
}

int32_t VUZIZI_CALL GetUneCourbe(const int32_t*, double* times, double* values, int32_t* slot1, int32_t* slot2,
                                 unsigned char* area) {
    return vuzizi::guarded("GetUneCourbe", kStatusFailed,
                           [=] { return read_curve(times, values, slot1, slot2, area); });
}

}
