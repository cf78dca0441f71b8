// Pipe friction by Hazen-Williams, Darcy-Weisbach (Colebrook) and Chezy-Manning; minor losses.
#include "headloss.h"

#include <cmath>

namespace vuzizi {
namespace {

// Below this flow the power-law formulas are continued linearly, so dh/dq stays positive.
constexpr double kLinearFlow = 1.0e-7;  // m3/s
constexpr double kLaminarFactor = 64.0;
constexpr double kColebrookRoughness = 3.7;
constexpr double kColebrookReynolds = 2.51;
constexpr double kSwameeJainReynolds = 5.74;
constexpr double kSwameeJainExponent = 0.9;
constexpr int kColebrookIterations = 60;
constexpr double kColebrookTolerance = 1.0e-14;

// h = r |q|^n sign(q), continued linearly below kLinearFlow.
Loss power_law(double r, double n, double q) {
    const double a = std::fabs(q);
    if (a < kLinearFlow) {
        const double dh = r * std::pow(kLinearFlow, n - 1.0);
        return {dh * q, dh};
    }
    const double h = r * std::pow(a, n);
    return {std::copysign(h, q), n * h / a};
}

}  // namespace

void colebrook(double reynolds, double relative_roughness, double& f, double& df_dre) {
    const double a = relative_roughness / kColebrookRoughness;
    const double b = kColebrookReynolds / reynolds;
    // Start from Swamee-Jain, then iterate x = 1/sqrt(f) = -2 log10(a + b x).
    const double sj = std::log10(a + kSwameeJainReynolds / std::pow(reynolds, kSwameeJainExponent));
    double x = -2.0 * sj;
    for (int i = 0; i < kColebrookIterations; ++i) {
        const double next = -2.0 * std::log10(a + b * x);
        const bool done = std::fabs(next - x) <= kColebrookTolerance * std::fabs(next);
        x = next;
        if (done) break;
    }
    f = 1.0 / (x * x);
    // Implicit derivative: dx/dRe from x = -2 log10(a + 2.51 x / Re).
    const double ln10 = std::log(10.0);
    const double s = a + b * x;
    const double dx_dre = (2.0 * b * x / (ln10 * s * reynolds)) / (1.0 + 2.0 * b / (ln10 * s));
    df_dre = -2.0 / (x * x * x) * dx_dre;
}

void friction_factor(double reynolds, double relative_roughness, double& f, double& df_dre) {
    if (reynolds <= kLaminarReynolds) {
        f = kLaminarFactor / reynolds;
        df_dre = -f / reynolds;
        return;
    }
    if (reynolds >= kTurbulentReynolds) {
        colebrook(reynolds, relative_roughness, f, df_dre);
        return;
    }
    const double f_laminar = kLaminarFactor / kLaminarReynolds;
    double f_turbulent = 0.0;
    double ignored = 0.0;
    colebrook(kTurbulentReynolds, relative_roughness, f_turbulent, ignored);
    df_dre = (f_turbulent - f_laminar) / (kTurbulentReynolds - kLaminarReynolds);
    f = f_laminar + df_dre * (reynolds - kLaminarReynolds);
}

double power_law_resistance(const Link& pipe, HeadlossFormula formula) {
    const double d = pipe.diameter;
    const double l = pipe.length;
    switch (formula) {
        case HeadlossFormula::HazenWilliams:
            return kHazenWilliamsConstant * l /
                   (std::pow(pipe.roughness, kHazenWilliamsFlowExponent) * std::pow(d, kHazenWilliamsDiameterExponent));
        case HeadlossFormula::ChezyManning:
            return kManningConstant * pipe.roughness * pipe.roughness * l / std::pow(d, kManningDiameterExponent);
        case HeadlossFormula::DarcyWeisbach: break;
    }
    return 0.0;
}

Loss pipe_friction(const Link& pipe, HeadlossFormula formula, double viscosity, double q, double resistance) {
    const double d = pipe.diameter;
    const double l = pipe.length;
    switch (formula) {
        case HeadlossFormula::HazenWilliams: return power_law(resistance, kHazenWilliamsFlowExponent, q);
        case HeadlossFormula::ChezyManning: return power_law(resistance, 2.0, q);
        case HeadlossFormula::DarcyWeisbach: {
            // h = f (L/D) v2/2g = k f q|q| with k = 8 L / (g pi2 D5).
            const double k = 8.0 * l / (kGravity * kPi * kPi * std::pow(d, 5.0));
            const double a = std::fabs(q);
            const double re_per_flow = 4.0 / (kPi * d * viscosity);
            const double re = re_per_flow * a;
            if (re <= kLaminarReynolds) {
                // Laminar: h = k (64 / Re) q|q|, linear in q.
                const double dh = k * kLaminarFactor / re_per_flow;
                return {dh * q, dh};
            }
            double f = 0.0;
            double df_dre = 0.0;
            friction_factor(re, pipe.roughness / d, f, df_dre);
            const double h = k * f * a * a;
            const double dh = k * a * (2.0 * f + re * df_dre);
            return {std::copysign(h, q), dh};
        }
    }
    return {};
}

Loss minor_loss(double k, double diameter, double q) {
    if (k <= 0.0) return {};
    const double area = kPi * diameter * diameter / 4.0;
    const double m = k / (2.0 * kGravity * area * area);
    return {m * q * std::fabs(q), 2.0 * m * std::fabs(q)};
}

}  // namespace vuzizi
