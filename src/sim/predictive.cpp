#include "predictive.h"

namespace korvale::sim {

// A stand-in until the plan is built: the maximum speed.
PredictiveSpeeds predictive_speeds(const RoadRows& rows, const dynamics::DriveVehicle&,
                                   const PredictiveSettings&) {
    PredictiveSpeeds out;
    out.recommended = rows.max_speed;
    return out;
}

} // namespace korvale::sim
