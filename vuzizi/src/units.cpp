// Unit sizes, keywords and the current unit of each quantity for a model's options.
#include "units.h"

#include <cmath>
#include <limits>

#include "text.h"

namespace vuzizi {
namespace {

struct FlowUnitRow {
    FlowUnits units;
    std::string_view keyword;
    double size;  // m3/s
    UnitSystem system;
};

constexpr FlowUnitRow kFlowUnits[] = {
    {FlowUnits::CFS, "CFS", kFoot * kFoot * kFoot, UnitSystem::US},
    {FlowUnits::GPM, "GPM", kUsGallon / kSecondsPerMinute, UnitSystem::US},
    {FlowUnits::MGD, "MGD", 1.0e6 * kUsGallon / kSecondsPerDay, UnitSystem::US},
    {FlowUnits::IMGD, "IMGD", 1.0e6 * kImperialGallon / kSecondsPerDay, UnitSystem::US},
    {FlowUnits::AFD, "AFD", kAcreFoot / kSecondsPerDay, UnitSystem::US},
    {FlowUnits::LPS, "LPS", 1.0e-3, UnitSystem::SI},
    {FlowUnits::LPM, "LPM", 1.0e-3 / kSecondsPerMinute, UnitSystem::SI},
    {FlowUnits::MLD, "MLD", 1.0e3 / kSecondsPerDay, UnitSystem::SI},
    {FlowUnits::CMH, "CMH", 1.0 / kSecondsPerHour, UnitSystem::SI},
    {FlowUnits::CMD, "CMD", 1.0 / kSecondsPerDay, UnitSystem::SI},
};

const FlowUnitRow& flow_row(FlowUnits units) {
    for (const FlowUnitRow& row : kFlowUnits)
        if (row.units == units) return row;
    return kFlowUnits[0];
}

struct PressureRow {
    PressureUnits units;
    std::string_view keyword;
    std::string_view name;
};

constexpr PressureRow kPressureUnits[] = {
    {PressureUnits::PSI, "PSI", "psi"},
    {PressureUnits::KPA, "KPA", "kPa"},
    {PressureUnits::METERS, "METERS", "m"},
    {PressureUnits::BAR, "BAR", "bar"},
    {PressureUnits::FEET, "FEET", "ft"},
};

// Pressure unit per metre of fluid head, for a fluid of the given specific gravity.
double pressure_coefficient(PressureUnits units, double specific_gravity) {
    const double pascal_per_metre = specific_gravity * kWaterDensity * kGravity;
    switch (units) {
        case PressureUnits::PSI: return specific_gravity * kPsiPerFootOfWater / kFoot;
        case PressureUnits::KPA: return pascal_per_metre / 1.0e3;
        case PressureUnits::BAR: return pascal_per_metre / kBar;
        case PressureUnits::FEET: return 1.0 / kFoot;
        case PressureUnits::METERS: break;
    }
    return 1.0;
}

std::string_view pressure_name(PressureUnits units) {
    for (const PressureRow& row : kPressureUnits)
        if (row.units == units) return row.name;
    return "m";
}

constexpr std::string_view kReferenceNames[kQuantityCount] = {
    "s", "m", "m", "m", "m3/s", "m2", "m3", "m", "m", "m3/s", "m/s", "m", "rad/s", "m/m", "W",
};

constexpr double kMillimetresPerMetre = 1.0e3;
constexpr double kPerThousand = 1.0e3;
constexpr double kRpmPerRadianPerSecond = kSecondsPerMinute / (2.0 * kPi);
constexpr double kWattsPerKilowatt = 1.0e3;

}  // namespace

double flow_unit_size(FlowUnits units) { return flow_row(units).size; }
UnitSystem unit_system(FlowUnits units) { return flow_row(units).system; }
std::string_view flow_unit_name(FlowUnits units) { return flow_row(units).keyword; }

std::optional<FlowUnits> flow_units_from_keyword(std::string_view keyword) {
    for (const FlowUnitRow& row : kFlowUnits)
        if (equals_ignoring_case(keyword, row.keyword)) return row.units;
    return std::nullopt;
}

std::optional<PressureUnits> pressure_units_from_keyword(std::string_view keyword) {
    for (const PressureRow& row : kPressureUnits)
        if (equals_ignoring_case(keyword, row.keyword)) return row.units;
    return std::nullopt;
}

bool specific_gravity_usable(double specific_gravity) {
    auto usable = [](double value) {
        return std::isfinite(value) && value >= std::numeric_limits<double>::min() && std::isfinite(1.0 / value);
    };
    if (!usable(specific_gravity * kWaterDensity * kGravity)) return false;
    for (const PressureRow& row : kPressureUnits)
        if (!usable(pressure_coefficient(row.units, specific_gravity))) return false;
    return true;
}

UnitSet::UnitSet(FlowUnits flow, std::optional<PressureUnits> pressure, HeadlossFormula formula,
                 double specific_gravity) {
    for (int q = 0; q < kQuantityCount; ++q) reference_[q] = kReferenceNames[q];
    const bool us = unit_system(flow) == UnitSystem::US;
    const PressureUnits p = pressure.value_or(us ? PressureUnits::PSI : PressureUnits::METERS);
    const double flow_coef = 1.0 / flow_unit_size(flow);
    const double length_coef = us ? 1.0 / kFoot : 1.0;
    auto set = [this](Quantity q, std::string_view name, double coef) {
        current_[static_cast<int>(q)] = Unit{name, coef};
    };
    set(Quantity::Time, "s", 1.0);
    set(Quantity::Elevation, us ? "ft" : "m", length_coef);
    set(Quantity::Head, us ? "ft" : "m", length_coef);
    set(Quantity::Pressure, pressure_name(p), pressure_coefficient(p, specific_gravity));
    set(Quantity::Demand, flow_unit_name(flow), flow_coef);
    set(Quantity::Area, us ? "ft2" : "m2", length_coef * length_coef);
    set(Quantity::Volume, us ? "ft3" : "m3", length_coef * length_coef * length_coef);
    set(Quantity::Length, us ? "ft" : "m", length_coef);
    set(Quantity::Diameter, us ? "in" : "mm", us ? 1.0 / kInch : kMillimetresPerMetre);
    set(Quantity::Flow, flow_unit_name(flow), flow_coef);
    set(Quantity::Velocity, us ? "ft/s" : "m/s", length_coef);
    switch (formula) {
        case HeadlossFormula::DarcyWeisbach:
            // Sand roughness in millifeet or millimetres.
            set(Quantity::Roughness, us ? "mft" : "mm", length_coef * kMillimetresPerMetre);
            break;
        case HeadlossFormula::HazenWilliams:
        case HeadlossFormula::ChezyManning:
            // Dimensionless coefficient (C, Manning n): the same number in every system.
            set(Quantity::Roughness, "-", 1.0);
            reference_[static_cast<int>(Quantity::Roughness)] = "-";
            break;
    }
    set(Quantity::RotationSpeed, "rpm", kRpmPerRadianPerSecond);
    set(Quantity::UnitHeadloss, us ? "ft/kft" : "m/km", kPerThousand);
    set(Quantity::Power, us ? "hp" : "kW", us ? 1.0 / kHorsepower : 1.0 / kWattsPerKilowatt);
}

}  // namespace vuzizi
