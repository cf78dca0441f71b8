// Physical checks of a load and a run the engine reported as successful, counted over a fuzzing
// session: a success whose results are not plausible is a fault, like a crash.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace fuzz {

enum class Violation {
    BlowUp,          // a head during the run far outside the range the model can reach
    Unsteady,        // a run with nothing imposed left its steady state
    GarbageSteady,   // a junction's steady head far below every supply
    Continuity,      // a junction's steady inflows and outflows do not balance
    NonFiniteCurve,  // a result curve holds a value that is not finite
};

// A stable hash of an input (FNV-1a): names kept inputs and picks each input's run length.
uint64_t fingerprint(std::string_view text);

// Checks the engine's network and steady state after a load that succeeded.
void check_load(std::string_view input);

// Checks the engine's stored results after a run that succeeded.
void check_run(std::string_view input);

// Violations counted so far, and the loads and runs checked.
long violation_count(Violation kind);
bool any_violation();

// The line that follows the summary when a check failed, for the script that runs the fuzzer.
inline constexpr const char* kViolationsFound = "fuzz checks: violations found";

// One line with the count of each violation, for the fuzzing log, then kViolationsFound if any.
void print_summary(std::FILE* out);

}  // namespace fuzz
