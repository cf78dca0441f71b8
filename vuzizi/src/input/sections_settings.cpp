// Sections [TITLE], [OPTIONS] and [TIMES], and the unit set they decide.
#include <cmath>
#include <limits>
#include <sstream>

#include "parse_context.h"
#include "text.h"

namespace vuzizi {
namespace {

// A viscosity at or below this is absolute (model units), above it relative to water.
constexpr double kAbsoluteViscosityLimit = 1.0e-3;

std::string joined(const SectionLine& line, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < line.tokens.size(); ++i) {
        if (!out.empty()) out += ' ';
        out += line.tokens[i];
    }
    return out;
}

void read_title(ParseContext& context, const SectionLine& line) {
    if (!context.network.title.empty()) context.network.title += '\n';
    context.network.title += joined(line, 0);
}

// Number of words of `line` that spell `keyword` (a blank-separated phrase), 0 if they do not.
std::size_t match_words(const SectionLine& line, std::string_view keyword) {
    std::size_t words = 0;
    while (!keyword.empty()) {
        const std::size_t blank = keyword.find(' ');
        const std::string_view word = keyword.substr(0, blank);
        if (words >= line.tokens.size() || !equals_ignoring_case(line.tokens[words], word)) return 0;
        ++words;
        keyword = blank == std::string_view::npos ? std::string_view{} : keyword.substr(blank + 1);
    }
    return words;
}

std::optional<double> positive(ParseContext& context, const SectionLine& line, std::size_t i, std::string_view what) {
    const auto value = context.number(line, i, what);
    if (value && *value <= 0.0) {
        context.error(Error::InvalidValue, std::string(what) + " must be positive");
        return std::nullopt;
    }
    return value;
}

using OptionReader = void (*)(ParseContext&, const SectionLine&, std::size_t first_value);

struct OptionRow {
    std::string_view keyword;
    OptionReader read;  // nullptr: accepted, not used by the engine
};

void read_units(ParseContext& c, const SectionLine& l, std::size_t v) {
    const auto word = c.token(l, v, "flow units");
    if (!word) return;
    if (const auto units = flow_units_from_keyword(*word))
        c.network.options.flow_units = *units;
    else
        c.error(Error::InvalidKeyword, "flow units '" + std::string(*word) + "'");
}

void read_pressure(ParseContext& c, const SectionLine& l, std::size_t v) {
    const auto word = c.token(l, v, "pressure units");
    if (!word) return;
    if (const auto units = pressure_units_from_keyword(*word))
        c.network.options.pressure_units = *units;
    else
        c.error(Error::InvalidKeyword, "pressure units '" + std::string(*word) + "'");
}

void read_headloss(ParseContext& c, const SectionLine& l, std::size_t v) {
    const auto word = c.token(l, v, "headloss formula");
    if (!word) return;
    if (equals_ignoring_case(*word, "H-W"))
        c.network.options.headloss = HeadlossFormula::HazenWilliams;
    else if (equals_ignoring_case(*word, "D-W"))
        c.network.options.headloss = HeadlossFormula::DarcyWeisbach;
    else if (equals_ignoring_case(*word, "C-M"))
        c.network.options.headloss = HeadlossFormula::ChezyManning;
    else
        c.error(Error::InvalidKeyword, "headloss formula '" + std::string(*word) + "'");
}

void read_gravity(ParseContext& c, const SectionLine& l, std::size_t v) {
    const auto value = positive(c, l, v, "specific gravity");
    if (!value) return;
    if (!specific_gravity_usable(*value)) {
        c.error(Error::InvalidValue, "specific gravity " + std::string(l.tokens[v]) +
                                         " gives a pressure unit that is not a finite non-zero number");
        return;
    }
    c.network.options.specific_gravity = *value;
}

void read_viscosity(ParseContext& c, const SectionLine& l, std::size_t v) {
    if (const auto value = positive(c, l, v, "viscosity")) c.network.options.viscosity_input = *value;
}

// Settings a steady state can converge with in reasonable time: each trial solves the whole
// network, and a relative flow change below the resolution of a double is never seen.
constexpr int kMaxTrials = 1000;
constexpr double kFinestAccuracy = std::numeric_limits<double>::epsilon();

void read_trials(ParseContext& c, const SectionLine& l, std::size_t v) {
    const auto value = positive(c, l, v, "trials");
    if (!value) return;
    if (*value != std::floor(*value)) {
        c.error(Error::InvalidValue, "trials must be a whole number");
    } else if (*value > kMaxTrials) {
        c.error(Error::InvalidValue, "trials must be at most " + std::to_string(kMaxTrials));
    } else {
        c.network.options.trials = static_cast<int>(*value);
    }
}

void read_accuracy(ParseContext& c, const SectionLine& l, std::size_t v) {
    const auto value = positive(c, l, v, "accuracy");
    if (!value) return;
    if (*value < kFinestAccuracy) {
        std::ostringstream msg;
        msg << "accuracy must be at least " << kFinestAccuracy << ", the resolution of a double";
        c.error(Error::InvalidValue, msg.str());
        return;
    }
    c.network.options.accuracy = *value;
}

void read_unbalanced(ParseContext& c, const SectionLine& l, std::size_t v) {
    const auto word = c.token(l, v, "unbalanced action");
    if (!word) return;
    if (equals_ignoring_case(*word, "STOP"))
        c.network.options.continue_unbalanced = false;
    else if (equals_ignoring_case(*word, "CONTINUE"))
        c.network.options.continue_unbalanced = true;
    else
        c.error(Error::InvalidKeyword, "unbalanced action '" + std::string(*word) + "'");
}

void read_default_pattern(ParseContext& c, const SectionLine& l, std::size_t v) {
    if (const auto id = c.identifier(l, v, "default pattern")) c.network.options.default_pattern = *id;
}

void read_multiplier(ParseContext& c, const SectionLine& l, std::size_t v) {
    const auto value = c.number(l, v, "demand multiplier");
    if (!value) return;
    if (*value < 0.0)
        c.error(Error::InvalidValue, "demand multiplier must not be negative");
    else
        c.network.options.demand_multiplier = *value;
}

// Longer phrases first: "PRESSURE EXPONENT" before "PRESSURE".
constexpr OptionRow kOptions[] = {
    {"SPECIFIC GRAVITY", read_gravity},
    {"DEMAND MULTIPLIER", read_multiplier},
    {"DEMAND MODEL", nullptr},
    {"EMITTER EXPONENT", nullptr},
    {"PRESSURE EXPONENT", nullptr},
    {"MINIMUM PRESSURE", nullptr},
    {"REQUIRED PRESSURE", nullptr},
    {"UNITS", read_units},
    {"PRESSURE", read_pressure},
    {"HEADLOSS", read_headloss},
    {"VISCOSITY", read_viscosity},
    {"TRIALS", read_trials},
    {"ACCURACY", read_accuracy},
    {"UNBALANCED", read_unbalanced},
    {"PATTERN", read_default_pattern},
    {"QUALITY", nullptr},
    {"DIFFUSIVITY", nullptr},
    {"TOLERANCE", nullptr},
    {"CHECKFREQ", nullptr},
    {"MAXCHECK", nullptr},
    {"DAMPLIMIT", nullptr},
    {"HEADERROR", nullptr},
    {"FLOWCHANGE", nullptr},
    {"MAP", nullptr},
    {"HYDRAULICS", nullptr},
    {"BACKFLOW ALLOWED", nullptr},
};

void read_option(ParseContext& context, const SectionLine& line) {
    for (const OptionRow& row : kOptions) {
        const std::size_t words = match_words(line, row.keyword);
        if (words == 0) continue;
        if (row.read == nullptr)
            context.trace("option " + std::string(row.keyword) + " is not used by the engine");
        else
            row.read(context, line, words);
        return;
    }
    context.error(Error::InvalidKeyword, "option '" + joined(line, 0) + "'");
}

// Times: each row's value is a duration in seconds.
struct TimeRow {
    std::string_view keyword;
    double Options::*target;  // nullptr: accepted, not used
};

constexpr TimeRow kTimes[] = {
    {"DURATION", &Options::duration},
    {"HYDRAULIC TIMESTEP", &Options::hydraulic_step},
    {"PATTERN TIMESTEP", &Options::pattern_step},
    {"PATTERN START", &Options::pattern_start},
    {"QUALITY TIMESTEP", nullptr},
    {"RULE TIMESTEP", nullptr},
    {"REPORT TIMESTEP", nullptr},
    {"REPORT START", nullptr},
    {"START CLOCKTIME", &Options::start_clocktime},
};

void read_time(ParseContext& context, const SectionLine& line) {
    if (match_words(line, "STATISTIC") != 0) {
        context.trace("time option STATISTIC is not used by the engine");
        return;
    }
    for (const TimeRow& row : kTimes) {
        const std::size_t words = match_words(line, row.keyword);
        if (words == 0) continue;
        const auto value = context.token(line, words, row.keyword);
        if (!value) return;
        const std::string_view unit = words + 1 < line.tokens.size() ? line.tokens[words + 1] : std::string_view{};
        const auto seconds = parse_duration(*value, unit);
        if (!seconds) {
            context.error(Error::InvalidValue, std::string(row.keyword) + " '" + joined(line, words) + "' is not a time");
            return;
        }
        if (row.target != nullptr) context.network.options.*row.target = *seconds;
        return;
    }
    context.error(Error::InvalidKeyword, "time option '" + joined(line, 0) + "'");
}

const SectionRegistration kTitle("TITLE", kPhaseSettings, read_title);
const SectionRegistration kOptionsSection("OPTIONS", kPhaseSettings, read_option);
const SectionRegistration kTimesSection("TIMES", kPhaseSettings, read_time);

}  // namespace

void update_units(Network& network) {
    Options& o = network.options;
    network.units = UnitSet(o.flow_units, o.pressure_units, o.headloss, o.specific_gravity);
    if (o.viscosity_input <= kAbsoluteViscosityLimit) {
        const double length = network.units.to_si(Quantity::Length, 1.0);
        o.kinematic_viscosity = o.viscosity_input * length * length;
    } else {
        o.kinematic_viscosity = o.viscosity_input * kWaterViscosity;
    }
}

}  // namespace vuzizi
