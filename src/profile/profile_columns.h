// The steps that turn a route's file columns into its speed columns. Route profile
// construction runs them in order; tools that want the intermediate columns run the same steps.
// Every array holds at least rows doubles.
#pragma once

#include <cstdint>

#include "speed_models.h"

namespace korvale {

// Cumulative 3-D distance from row 0, and the grade (rise over level run) of the segment that
// starts at each row but the last. A segment without level run takes the grade of the one
// before it; the first segment, having none before it, gets grade 0.
void compute_distance_and_grade(std::int32_t rows, const double* x, const double* y,
                                const double* z, double* distance, double* grade);

// Grade of the segment from row i to row i+1 alone, walking back over segments without level
// run as compute_distance_and_grade() does; i from 0 to rows - 2.
double segment_grade(const double* x, const double* y, const double* z, std::int32_t i);

// Comfort speed of every row and the allowed speed, the smaller of comfort and maximum speed.
// Runs of rows with the same radius and superelevation reuse the comfort speed of the first.
void compute_comfort_and_allowed(std::int32_t rows, const double* curve_radius,
                                 const double* superelevation, const double* max_speed,
                                 double* comfort_speed, double* allowed_speed);

// Local minima of the allowed speed; the first and the last row keep their allowed speed.
void compute_local_minima(std::int32_t rows, const double* allowed_speed, double* local_minimum);

// The backward pass: coasting speed from the last row to the first with the model, and the
// recommended speed, the smaller of allowed and coasting speed. Row i of the allowed speed is
// read before row i of either output is written, and no other row of it after that, so the
// allowed speed may be given in the recommended-speed array, and coasting_speed may hold
// anything on entry.
void compute_coasting_and_recommended(std::int32_t rows, const CoastModel& model,
                                      const double* grade, const double* distance,
                                      const double* allowed_speed, const double* local_minimum,
                                      double* coasting_speed, double* recommended_speed);

} // namespace korvale
