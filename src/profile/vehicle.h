// The vehicle behind a profile's coasting model: its parameters, the built-in car, the rule
// that picks a coasting model from the parameters, and which vehicles make physical sense.
#pragma once

#include <string>

namespace korvale {

// The eight vehicle parameters, in the order initialize_korvale takes them, then the two
// decelerations that only the eco model plans with.
struct VehicleParameters {
    double drag_coefficient = 0.0;   // aerodynamic drag coefficient
    double frontal_area = 0.0;       // m²
    double air_density = 0.0;        // kg/m³
    double vehicle_mass = 0.0;       // kg
    double gravity = 0.0;            // m/s²
    double rolling_resistance = 0.0; // rolling-resistance coefficient
    double coast_power = 0.0;        // power term of the parameterised model; > 0 selects it
    double model_switch = 0.0;       // > 0 selects the parameterised model
    // The eco model: the deceleration it brakes with where coasting would speed the vehicle
    // up (a descent), and the least deceleration it ever plans with (light engine braking).
    double brake_deceleration = 1.0;  // m/s²
    double least_deceleration = 0.15; // m/s²
};

// The built-in car. The built-in coasting model uses its first six values whatever the
// parameters say; the tool's vehicle options default to it, the tests load with it, and the
// Python package's korvale.BUILT_IN_VEHICLE is checked against this line by its tests.
constexpr VehicleParameters BUILT_IN_VEHICLE{0.3, 2.3, 1.293, 1644.0, 9.81, 0.015, 0.0, 0.0};

// The coasting models a profile can be built with.
enum class CoastModelKind {
    built_in,      // the exact coasting solution for the built-in car
    parameterised, // constant deceleration over a segment, from the eight parameters
    eco,           // coasting, gentle braking on descents, a least deceleration; no held rules
};

// The model that a set of parameters selects: the built-in one when coast_power and model_switch
// are both 0 or below, else the parameterised one (so a NaN in either selects it). The eco model
// is only ever chosen by name.
constexpr CoastModelKind model_for(const VehicleParameters& p) {
    return p.coast_power <= 0 && p.model_switch <= 0 ? CoastModelKind::built_in
                                                     : CoastModelKind::parameterised;
}

// Why a vehicle makes no physical sense, naming the first field at fault ("vehicle_mass -5 is
// not above 0"), or empty when it is fine: mass, frontal area and gravity above 0; drag,
// rolling resistance, air density and the least deceleration not below 0; the brake
// deceleration above 0; every value a finite number. model_switch is not looked at: it only
// selects a model.
std::string vehicle_problem(const VehicleParameters& p);

} // namespace korvale
