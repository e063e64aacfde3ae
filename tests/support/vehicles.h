// The vehicles of the tests: the built-in car, and the same car with a power term, which
// selects the parameterised coasting model; as parameters for the core and as the eight
// arguments of the exports.
#pragma once

#include "profile/vehicle.h"

namespace korvale_test {

inline constexpr korvale::VehicleParameters default_car = korvale::BUILT_IN_VEHICLE;
inline constexpr korvale::VehicleParameters powered_car{default_car.drag_coefficient,
                                                        default_car.frontal_area,
                                                        default_car.air_density,
                                                        default_car.vehicle_mass,
                                                        default_car.gravity,
                                                        default_car.rolling_resistance,
                                                        1000.0,
                                                        default_car.model_switch};

// The eight arguments of initialize_korvale and korvale_load for the built-in car.
constexpr double DEFAULT_CAR[8] = {default_car.drag_coefficient, default_car.frontal_area,
                                   default_car.air_density,      default_car.vehicle_mass,
                                   default_car.gravity,          default_car.rolling_resistance,
                                   default_car.coast_power,      default_car.model_switch};

} // namespace korvale_test
