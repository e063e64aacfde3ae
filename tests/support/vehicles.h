// The vehicles of the core tests: the built-in car, and the same car with a power term, which
// selects the parameterised coasting model.
#pragma once

#include "profile/speed_models.h"

namespace korvale_test {

inline const korvale::VehicleParameters default_car{0.3, 2.3, 1.293, 1644, 9.81, 0.015, 0, 0};
inline const korvale::VehicleParameters powered_car{0.3, 2.3, 1.293, 1644, 9.81, 0.015, 1000, 0};

} // namespace korvale_test
