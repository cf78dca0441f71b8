// Units of the model: flow and pressure units of a model file, and the 15-position unit table.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace vuzizi {

enum class FlowUnits { CFS, GPM, MGD, IMGD, AFD, LPS, LPM, MLD, CMH, CMD };
enum class PressureUnits { PSI, KPA, METERS, BAR, FEET };
enum class UnitSystem { US, SI };
enum class HeadlossFormula { HazenWilliams, DarcyWeisbach, ChezyManning };

// Physical constants, SI.
inline constexpr double kGravity = 9.80665;              // m/s2
inline constexpr double kWaterDensity = 1000.0;          // kg/m3, at specific gravity 1
inline constexpr double kFoot = 0.3048;                  // m
inline constexpr double kInch = 0.0254;                  // m
inline constexpr double kUsGallon = 3.785411784e-3;      // m3
inline constexpr double kImperialGallon = 4.54609e-3;    // m3
inline constexpr double kAcreFoot = 1233.48183754752;    // m3
// Pressure of a foot of water in psi as US water-network models are written and checked with
// (EPANET's value; water of 62.4 lb/ft3): the exact 0.43353 would move a 55 psi PRV by 0.067 ft.
inline constexpr double kPsiPerFootOfWater = 0.4333;
inline constexpr double kBar = 1.0e5;                    // Pa
inline constexpr double kHorsepower = 745.69987158227;   // W
inline constexpr double kSecondsPerMinute = 60.0;
inline constexpr double kSecondsPerHour = 3600.0;
inline constexpr double kSecondsPerDay = 86400.0;
inline constexpr double kPi = 3.14159265358979323846;

// Quantities of the unit table, in table order (position = index + 1).
enum class Quantity {
    Time,           // "T "
    Elevation,      // "Z "
    Head,           // "CH"
    Pressure,       // "P "
    Demand,         // "CS"
    Area,           // "S "
    Volume,         // "VO"
    Length,         // "L "
    Diameter,       // "D "
    Flow,           // "Q "
    Velocity,       // "V "
    Roughness,      // "RH"
    RotationSpeed,  // "VR"
    UnitHeadloss,   // "RL"
    Power           // "W "
};
inline constexpr int kQuantityCount = 15;

// Cubic metres per second in one unit of flow.
double flow_unit_size(FlowUnits units);
UnitSystem unit_system(FlowUnits units);
std::string_view flow_unit_name(FlowUnits units);
std::optional<FlowUnits> flow_units_from_keyword(std::string_view keyword);
std::optional<PressureUnits> pressure_units_from_keyword(std::string_view keyword);

// Whether a fluid of this specific gravity has a weight and, in every pressure unit, a
// coefficient that are finite and non-zero, with a finite inverse.
bool specific_gravity_usable(double specific_gravity);

// One unit: its name and the coefficient that turns a value in the reference unit into it.
struct Unit {
    std::string_view name;
    double coefficient = 1.0;
};

// The current units of a model: value_in_model = coefficient * value_in_reference.
class UnitSet {
public:
    UnitSet() : UnitSet(FlowUnits::GPM, std::nullopt, HeadlossFormula::HazenWilliams, 1.0) {}
    // Without pressure units, the system's usual one: PSI for US, METERS for SI.
    UnitSet(FlowUnits flow, std::optional<PressureUnits> pressure, HeadlossFormula formula,
            double specific_gravity);

    const Unit& current(Quantity q) const { return current_[static_cast<int>(q)]; }
    std::string_view reference_name(Quantity q) const { return reference_[static_cast<int>(q)]; }

    double to_si(Quantity q, double model_value) const { return model_value / current(q).coefficient; }
    double from_si(Quantity q, double reference_value) const { return reference_value * current(q).coefficient; }

private:
    std::array<Unit, kQuantityCount> current_{};
    std::array<std::string_view, kQuantityCount> reference_{};
};

}  // namespace vuzizi
