// The speed models of a route profile: comfort speed in a curve, local minima of the allowed
// speed, and the two coasting models that run backwards from one row to the one before it.
#pragma once

namespace korvale {

// Marks a row where the allowed speed has no local minimum.
constexpr double NO_LOCAL_MINIMUM = 1000.0;
// The comfort iteration stops here even when the friction value has not settled.
constexpr int COMFORT_MAX_ITERATIONS = 100;

// The eight vehicle parameters, in the order initialize_korvale takes them.
struct VehicleParameters {
    double drag_coefficient = 0.0;   // aerodynamic drag coefficient
    double frontal_area = 0.0;       // m²
    double air_density = 0.0;        // kg/m³
    double vehicle_mass = 0.0;       // kg
    double gravity = 0.0;            // m/s²
    double rolling_resistance = 0.0; // rolling-resistance coefficient
    double coast_power = 0.0;        // power term of the parameterised model; > 0 selects it
    double model_switch = 0.0;       // > 0 selects the parameterised model
};

// Speed in km/h at which a curve of the radius (m) and superelevation (fraction) is taken with
// a side friction that falls with speed. The fixed-point iteration runs at most
// COMFORT_MAX_ITERATIONS times; where it has not settled by then (huge radii with little
// superelevation, where it alternates for ever), the true fixed point is found by bisection.
// NaN inputs and a negative square-root argument give NaN.
double comfort_curve_velocity(double radius, double superelevation);

// current when it is below previous and not above next, else NO_LOCAL_MINIMUM.
double find_local_minimum(double previous, double current, double next);

// Speed in km/h at the current row from which a coasting vehicle with the built-in constants
// arrives at the next row with v_next (km/h).
double coast_back_default(double grade, double v_next, double distance_next, double distance_here,
                          double local_min);

// The same with the profile's parameters and a constant deceleration over the segment.
double coast_back_parameterised(const VehicleParameters& parameters, double grade, double v_next,
                                double distance_next, double distance_here, double local_min);

// The coasting model of a profile, chosen once from its parameters, with the parameterised
// model's power term worked out once instead of at every row.
class CoastModel {
public:
    explicit CoastModel(const VehicleParameters& parameters);

    bool is_parameterised() const { return parameterised; }
    double operator()(double grade, double v_next, double distance_next, double distance_here,
                      double local_min) const;
    // The model's coasting equation alone, without the rules that hold speeds at local minima
    // and below 10 km/h: the speed here from which coasting arrives at the next row with v_next.
    double physics(double grade, double v_next, double distance_next, double distance_here) const;

private:
    VehicleParameters parameters;
    bool parameterised = false;
    double f_opt = 0.0;
};

} // namespace korvale
