// The steps that turn a route's file columns into its speed columns, in the one order that
// construction runs them (compute_profile_columns). Every array holds at least rows doubles.
#pragma once

#include <cstddef>
#include <cstdint>

#include "profile/column.h"
#include "profile/route_loader.h"
#include "profile/speed_models.h"
#include "profile/speed_planner.h"

namespace korvale {

// The grade of a first segment without level run, which has no segment before it.
constexpr double FIRST_SEGMENT_GRADE = 0.0;

// The columns that construction works with besides the kept ones. A profile lets them share
// arrays (the grade overwrites the radius, the local minima the superelevation, the comfort
// and allowed speeds pass through the coasting and recommended columns); a table of their own
// each keeps every one of them.
struct WorkingColumns {
    double* curve_radius;   // column 4 of the file, m
    double* superelevation; // column 6 of the file, fraction
    double* grade;          // of the segment from each row to the next
    double* comfort_speed;  // km/h
    double* allowed_speed;  // the smaller of comfort and maximum speed, km/h
    double* local_minimum;  // the allowed speed where it has a local minimum, else 1000
};

// What construction knows beyond what a profile keeps: the full table of the route for tools,
// filled by the same construction pass that builds the profile (RouteProfile's constructor).
struct ConstructionDetails {
    Column curve_radius;
    Column superelevation;
    Column grade;
    Column comfort_speed;
    Column allowed_speed;
    Column local_minimum;
    // The file's lines that held something but no row (the loader's one pass notes them).
    SkippedLines skipped_lines;

    // Sizes every column to capacity rows and names them as construction's working columns.
    WorkingColumns working_columns(std::size_t capacity);
};

// Every step below in construction's order, from the file's columns (x, y, z, max_speed and
// the working columns' curve radius and superelevation) and the cumulative distance (the
// polyline's own, PolylineLocator) to coasting and recommended speed, through the other working
// columns. Shared arrays as a profile shares them are safe, except that the predictive model
// plans from the radius and the grade at once: the two need arrays of their own. The predictive
// model asks the planner for the recommended speed; throws PlanFailure when there is none (or
// no planner).
void compute_profile_columns(std::int32_t rows, const CoastModel& model, const double* x,
                             const double* y, const double* z, const double* max_speed,
                             const double* distance, const WorkingColumns& work,
                             double* coasting_speed, double* recommended_speed,
                             const SpeedPlanner* planner = nullptr);

// The grade (rise over level run) of the segment that starts at each row but the last (the
// last row gets 0). A segment without level run takes the grade of the one before it; the
// first segment, having none before it, FIRST_SEGMENT_GRADE.
void compute_grade(std::int32_t rows, const double* x, const double* y, const double* z,
                   double* grade);

// Grade of the segment from row i to row i+1 alone, walking back over segments without level
// run as compute_grade() does; i from 0 to rows - 2.
double segment_grade(const double* x, const double* y, const double* z, std::int32_t i);

// Comfort speed of every row and the allowed speed, the smaller of comfort and maximum speed.
// Runs of rows with the same radius and superelevation reuse the comfort speed of the first.
void compute_comfort_and_allowed(std::int32_t rows, const double* curve_radius,
                                 const double* superelevation, const double* max_speed,
                                 double* comfort_speed, double* allowed_speed);

// Local minima of the allowed speed; the first and the last row keep their allowed speed.
void compute_local_minima(std::int32_t rows, const double* allowed_speed, double* local_minimum);

// The backward pass: coasting speed from the last row to the first with the model (from the
// next row's coasting speed, or for the eco model its recommended speed), and the recommended
// speed, the smaller of allowed and coasting speed. Row i of the allowed speed is
// read before row i of either output is written, and no other row of it after that, so the
// allowed speed may be given in the recommended-speed array, and coasting_speed may hold
// anything on entry.
void compute_coasting_and_recommended(std::int32_t rows, const CoastModel& model,
                                      const double* grade, const double* distance,
                                      const double* allowed_speed, const double* local_minimum,
                                      double* coasting_speed, double* recommended_speed);

// The predictive model's columns: the planner's recommended speed (on a route without length,
// where there is no drive to plan, the allowed speed), then the coasting speed of each row by
// the eco rule from the next row's recommended speed (below the recommended speed where the
// plan slows down harder than coasting, above it where the plan drives). The allowed speed may
// be given in the recommended-speed array.
void compute_predictive_columns(std::int32_t rows, const CoastModel& model, const double* z,
                                const double* max_speed, const double* distance,
                                const WorkingColumns& work, const SpeedPlanner* planner,
                                double* coasting_speed, double* recommended_speed);

} // namespace korvale
