// The vehicle behind a profile's coasting model: its eight parameters, the built-in car, and the
// rule that picks a coasting model from the parameters.
#pragma once

namespace korvale {

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

// The built-in car. The built-in coasting model uses its first six values whatever the
// parameters say; the tool's vehicle options default to it, the tests load with it, and the
// Python package's korvale.BUILT_IN_VEHICLE is checked against this line by its tests.
constexpr VehicleParameters BUILT_IN_VEHICLE{0.3, 2.3, 1.293, 1644.0, 9.81, 0.015, 0.0, 0.0};

// The coasting models a profile can be built with.
enum class CoastModelKind {
    built_in,      // the exact coasting solution for the built-in car
    parameterised, // constant deceleration over a segment, from the eight parameters
};

// The model that a set of parameters selects: the built-in one when coast_power and model_switch
// are both 0 or below, else the parameterised one (so a NaN in either selects it).
constexpr CoastModelKind model_for(const VehicleParameters& p) {
    return p.coast_power <= 0 && p.model_switch <= 0 ? CoastModelKind::built_in
                                                     : CoastModelKind::parameterised;
}

} // namespace korvale
