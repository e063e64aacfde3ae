// The speed models of a route profile: comfort speed in a curve, local minima of a speed
// column, and the coasting models that run backwards from one row to the one before it.
#pragma once

#include <cmath>
#include <cstdint>

#include "profile/vehicle.h"

namespace korvale {

// km/h in one m/s: columns hold km/h, the physics works in m/s.
constexpr double KMH_PER_MS = 3.6;
// Marks a row where the allowed speed has no local minimum.
constexpr double NO_LOCAL_MINIMUM = 1000.0;
// The comfort iteration stops here even when the friction value has not settled.
constexpr int COMFORT_MAX_ITERATIONS = 100;

// Speed in km/h at which a curve of the radius (m) and superelevation (fraction) is taken with
// a side friction that falls with speed. The fixed-point iteration runs at most
// COMFORT_MAX_ITERATIONS times; where it has not settled by then (huge radii with little
// superelevation, where it alternates for ever), the true fixed point is found by bisection.
// NaN inputs and a negative square-root argument give NaN.
double comfort_curve_velocity(double radius, double superelevation);

// The one local-minimum rule: current lies below previous and not above next. A flat bottom is
// a minimum at its first row only; NaN anywhere is no minimum.
constexpr bool is_local_minimum(double previous, double current, double next) {
    return previous > current && next >= current;
}

// current where it is a local minimum, else NO_LOCAL_MINIMUM.
double find_local_minimum(double previous, double current, double next);

// Whether the drive slows down to row i of a speed column of rows values: a local minimum
// where a row follows, and at the last row lower than the row before. Never row 0, where the
// drive starts.
bool slows_down_at(const double* speed, std::int32_t rows, std::int32_t i);

// Speed in km/h at the current row from which a coasting vehicle with the built-in constants
// arrives at the next row with v_next (km/h).
double coast_back_default(double grade, double v_next, double distance_next, double distance_here,
                          double local_min);

// The same with the profile's parameters and a constant deceleration over the segment.
double coast_back_parameterised(const VehicleParameters& parameters, double grade, double v_next,
                                double distance_next, double distance_here, double local_min);

// The coasting model of a profile, chosen once, with the parameterised model's power term
// worked out once instead of at every row.
class CoastModel {
public:
    CoastModel(CoastModelKind kind, const VehicleParameters& parameters);
    // The model that the parameters select (model_for).
    explicit CoastModel(const VehicleParameters& parameters)
        : CoastModel(model_for(parameters), parameters) {}

    CoastModelKind kind() const { return model; }
    bool is_parameterised() const { return model == CoastModelKind::parameterised; }
    // Whether the model coasts by the eco rule, from the recommended speed ahead: the eco model,
    // and the predictive one, whose recommended speed is the plan's.
    bool uses_eco_rule() const {
        return model == CoastModelKind::eco || model == CoastModelKind::predictive;
    }
    const VehicleParameters& vehicle() const { return parameters; }

    double operator()(double grade, double v_next, double distance_next, double distance_here,
                      double local_min) const;
    // The model's coasting equation alone, without the rules that hold speeds at local minima
    // and below the crawl speed: the speed here from which coasting arrives at the next row
    // with v_next. The eco model has no such rules: its physics is the model itself.
    double physics(double grade, double v_next, double distance_next, double distance_here) const;
    // The speed that the backward pass carries from the next row to this one: the coasting
    // models carry the coasting speed; the eco model the recommended speed, so that no speed
    // above the allowed one is planned from, or its coasting speed where the recommended speed
    // is no number (a row whose curve gives no comfort speed).
    double carried_speed(double coasting_next, double recommended_next) const {
        return uses_eco_rule() && !std::isnan(recommended_next) ? recommended_next : coasting_next;
    }
    // Deceleration (m/s²) of the vehicle coasting at speed_kmh on the grade: rolling resistance,
    // the slope's pull and air drag, over the mass (the built-in car's for the built-in model).
    double coasting_deceleration(double grade, double speed_kmh) const;

private:
    VehicleParameters parameters;
    CoastModelKind model;
    double f_opt = 0.0;
};

} // namespace korvale
