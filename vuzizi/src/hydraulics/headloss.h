// Head loss of pipes and valves as a function of flow, with its derivative, in SI.
#pragma once

#include <cmath>

#include "network.h"

namespace vuzizi {

// Head loss h (m, sign of q) and dh/dq (s/m2, positive).
struct Loss {
    double h = 0.0;
    double dh = 0.0;
};

// Exponents and constants of the SI pipe formulas.
// Hazen-Williams as model files are written and checked: 4.727 with lengths and diameters in
// feet and flows in cubic feet per second, which is 10.6668 in metres and m3/s.
inline constexpr double kHazenWilliamsFlowExponent = 1.852;
inline constexpr double kHazenWilliamsDiameterExponent = 4.871;
inline constexpr double kHazenWilliamsFootConstant = 4.727;
inline const double kHazenWilliamsConstant =
    kHazenWilliamsFootConstant *
    std::pow(kFoot, kHazenWilliamsDiameterExponent - 3.0 * kHazenWilliamsFlowExponent);
inline constexpr double kManningConstant = 10.29;
inline constexpr double kManningDiameterExponent = 16.0 / 3.0;
inline constexpr double kLaminarReynolds = 2000.0;
inline constexpr double kTurbulentReynolds = 4000.0;

// Darcy friction factor by Colebrook-White (Re above the turbulent limit), with df/dRe.
void colebrook(double reynolds, double relative_roughness, double& f, double& df_dre);
// Darcy friction factor for any Reynolds number: laminar 64/Re, Colebrook when turbulent,
// linear in Re in between; with df/dRe.
void friction_factor(double reynolds, double relative_roughness, double& f, double& df_dre);

// Resistance r of h = r q^n for Hazen-Williams and Chezy-Manning (0 for Darcy-Weisbach): it
// depends on the pipe alone, so an iteration need not compute its powers again.
double power_law_resistance(const Link& pipe, HeadlossFormula formula);
// Friction loss of a pipe at flow q under the formula; kinematic viscosity in m2/s; `resistance`
// from power_law_resistance.
Loss pipe_friction(const Link& pipe, HeadlossFormula formula, double viscosity, double q, double resistance);
inline Loss pipe_friction(const Link& pipe, HeadlossFormula formula, double viscosity, double q) {
    return pipe_friction(pipe, formula, viscosity, q, power_law_resistance(pipe, formula));
}
// Minor loss K v2/2g at flow q through diameter d.
Loss minor_loss(double k, double diameter, double q);

}  // namespace vuzizi
