// The one engine instance behind the C interface: lifecycle state, the loaded network with its
// steady state, and the boundary conditions for the next run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "boundary.h"
#include "diagnostics.h"
#include "hydraulics/gradient_system.h"
#include "hydraulics/steady_state.h"
#include "network.h"
#include "transient/run_state.h"

namespace vuzizi {

// Version text reported by GetNumeroVersion (four characters and a zero byte).
inline constexpr char kVersion[] = "0.10";

// Engine statuses: the lowest bit tells success.
inline constexpr int32_t kStatusOk = 1;
inline constexpr int32_t kStatusFailed = 0;

class Engine {
public:
    // Opens the API; `level` > 0 is the diagnostic level, -1 is silent.
    int32_t open(int32_t level);
    // Starts from a clean state: no network, no boundary conditions.
    void initialise();
    // Frees the network; the engine must be opened again.
    void close();

    bool is_open() const { return open_; }
    bool is_initialised() const { return initialised_; }
    int32_t level() const { return diagnostics_.level(); }
    Diagnostics& diagnostics() { return diagnostics_; }

    // Reads a model file and solves its steady state. 0 on success, else an error code; on
    // failure the network loaded before, if any, stays.
    int32_t load(const std::string& path);

    bool has_network() const { return network_ != nullptr; }
    const Network& network() const { return *network_; }
    Network& network() { return *network_; }
    const SteadyState& steady_state() const { return steady_; }
    // The gradient system of the loaded network, ordered and analysed once, for re-solving.
    GradientSystem& gradient_system() { return *system_; }
    const std::string& model_path() const { return model_path_; }
    // Changes whenever the network is replaced or dropped: results computed for one network
    // can tell that they no longer belong to the current one.
    uint64_t network_generation() const { return generation_; }

    BoundaryConditions& boundaries() { return boundaries_; }
    const BoundaryConditions& boundaries() const { return boundaries_; }

    // Parameters, prepared solver and results of the transient run.
    transient::RunState transient_run;

private:
    void drop_network();

    bool open_ = false;
    bool initialised_ = false;
    Diagnostics diagnostics_{kLevelSilent};
    std::unique_ptr<Network> network_;
    std::unique_ptr<GradientSystem> system_;
    SteadyState steady_;
    BoundaryConditions boundaries_;
    std::string model_path_;
    uint64_t generation_ = 0;
};

// The process-wide instance the C interface works on.
Engine& engine();

}  // namespace vuzizi
