// Pump head-gain models.
#include "pump_curve.h"

#include <cmath>
#include <limits>

namespace vuzizi {
namespace {

// One-point curves: shutoff head 4/3 of the design head, maximum flow twice the design flow.
constexpr double kShutoffRatio = 4.0 / 3.0;
constexpr int kPointsOfThreePointCurve = 3;
// Flow below which a constant-power pump is taken at this flow (its head would be infinite).
constexpr double kPowerPumpMinFlow = 1.0e-6;  // m3/s
// Head of a constant-power pump as models are written and checked with: h = 8.814 P / Q in ft,
// hp and ft3/s (EPANET's value; water of 62.4 lb/ft3, where 9806.65 N/m3 gives 8.810).
constexpr double kPowerHeadFootConstant = 8.814;
constexpr double kPowerPumpWeight = kHorsepower / (kPowerHeadFootConstant * kFoot * kFoot * kFoot * kFoot);  // N/m3

std::vector<Point> to_si(const Curve& curve, const UnitSet& units) {
    std::vector<Point> out;
    out.reserve(curve.points.size());
    for (const Point& p : curve.points)
        out.push_back(Point{units.to_si(Quantity::Flow, p.x), units.to_si(Quantity::Head, p.y)});
    return out;
}

bool three_point_fit(const std::vector<Point>& p) {
    return p.size() == kPointsOfThreePointCurve && p[0].x == 0.0;
}

// Exponent C of H = A - B q^C through three points from shutoff.
double fitted_exponent(const std::vector<Point>& p) {
    return std::log((p[0].y - p[2].y) / (p[0].y - p[1].y)) / std::log(p[2].x / p[1].x);
}

// A fitted exponent below 1 makes the head fall from shutoff with an infinite slope; below this share
// of the curve's largest flow such a law follows its chord instead.
constexpr double kLinearFlowShare = 1e-3;

}  // namespace

std::string pump_curve_problem(const Curve& curve, const UnitSet& units) {
    const std::vector<Point> p = to_si(curve, units);
    if (p.empty()) return "no points";
    if (p.size() == 1) {
        if (p[0].x <= 0.0 || p[0].y <= 0.0) return "the design point needs a positive flow and head";
        return {};
    }
    for (std::size_t i = 1; i < p.size(); ++i) {
        if (!(p[i].x > p[i - 1].x)) return "flows must increase from point to point";
        if (p[i].y > p[i - 1].y) return "heads must not increase with flow";
    }
    if (p.front().x < 0.0) return "flows must not be negative";
    if (p.front().y == p.back().y) return "heads must fall with flow";
    if (three_point_fit(p)) {
        if (!(p[0].y > p[1].y && p[1].y > p[2].y) || p[1].x <= 0.0) return "the three points cannot be fitted";
    }
    return {};
}

PowerLoss power_law_loss(double k, double c, double linear_below, double q) {
    if (q < linear_below) {
        const double chord = k * std::pow(linear_below, c - 1.0);
        return {chord * q, chord};
    }
    const double loss = k * std::pow(q, c);
    return {loss, q > 0.0 ? c * loss / q : 0.0};
}

PumpModel make_pump_model(const Network& network, const Link& pump) {
    PumpModel model;
    model.weight = network.options.specific_gravity * kPowerPumpWeight;
    if (pump.head_curve == kNone) {
        model.kind = PumpModel::Kind::ConstantPower;
        model.power = pump.power;
        return model;
    }
    const std::vector<Point> p = to_si(network.curves[pump.head_curve], network.units);
    if (p.size() == 1) {
        model.kind = PumpModel::Kind::PowerLaw;
        model.a = kShutoffRatio * p[0].y;
        model.c = 2.0;
        model.b = (model.a - p[0].y) / (p[0].x * p[0].x);
    } else if (three_point_fit(p)) {
        model.kind = PumpModel::Kind::PowerLaw;
        model.a = p[0].y;
        model.c = fitted_exponent(p);
        model.b = (p[0].y - p[1].y) / std::pow(p[1].x, model.c);
        if (model.c < 1.0) model.linear_below = kLinearFlowShare * p[2].x;
    } else {
        model.kind = PumpModel::Kind::Table;
        model.table = p;
    }
    return model;
}

void PumpModel::head_gain(double q, double w, double& head, double& slope) const {
    if (w <= 0.0 && kind != Kind::ConstantPower) {
        head = 0.0;
        slope = 0.0;
        return;
    }
    switch (kind) {
        case Kind::PowerLaw: {
            // Affinity laws: H(q, w) = w^2 A - B w^(2-C) q^C.
            const PowerLoss loss = power_law_loss(b * std::pow(w, 2.0 - c), c, w * linear_below, std::max(q, 0.0));
            head = w * w * a - loss.loss;
            slope = -loss.slope;
            return;
        }
        case Kind::Table: {
            // H(q, w) = w^2 T(q / w), linear between points and beyond the ends.
            const double x = q / w;
            std::size_t k = 1;
            while (k + 1 < table.size() && x > table[k].x) ++k;
            const Point& p0 = table[k - 1];
            const Point& p1 = table[k];
            const double s = (p1.y - p0.y) / (p1.x - p0.x);
            head = w * w * (p0.y + s * (x - p0.x));
            slope = w * s;
            return;
        }
        case Kind::ConstantPower: {
            const double qq = std::max(q, kPowerPumpMinFlow);
            head = power / (weight * qq);
            slope = -head / qq;
            return;
        }
    }
}

double PumpModel::shutoff_head(double w) const {
    switch (kind) {
        case Kind::PowerLaw: return w * w * a;
        case Kind::Table: {
            double head = 0.0;
            double slope = 0.0;
            head_gain(0.0, w, head, slope);
            return head;
        }
        case Kind::ConstantPower: break;
    }
    return std::numeric_limits<double>::infinity();
}

}  // namespace vuzizi
