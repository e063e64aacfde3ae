#include "profile/profile_columns.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace korvale {

namespace {

// A segment whose level run is below this takes the grade of the segment before it.
constexpr double MIN_LEVEL_RUN = 1e-6;

bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Rise over level run of one step, or false when the step has no level run.
bool step_grade(double dx, double dy, double dz, double* grade) {
    const double run = std::sqrt(dx * dx + dy * dy);
    if (run < MIN_LEVEL_RUN) {
        return false;
    }
    *grade = dz / run;
    return true;
}

} // namespace

WorkingColumns ConstructionDetails::working_columns(std::size_t capacity) {
    for (Column* column :
         {&curve_radius, &superelevation, &grade, &comfort_speed, &allowed_speed, &local_minimum}) {
        column->resize(capacity);
    }
    return {curve_radius.data(),  superelevation.data(), grade.data(),
            comfort_speed.data(), allowed_speed.data(),  local_minimum.data()};
}

void compute_profile_columns(std::int32_t rows, const CoastModel& model, const double* x,
                             const double* y, const double* z, const double* max_speed,
                             const double* distance, const WorkingColumns& work,
                             double* coasting_speed, double* recommended_speed,
                             const SpeedPlanner* planner) {
    // The comfort speed comes first: where the grade shares the radius's array, the radius is
    // read before the grade overwrites it; likewise the superelevation before the local minima.
    compute_comfort_and_allowed(rows, work.curve_radius, work.superelevation, max_speed,
                                work.comfort_speed, work.allowed_speed);
    compute_grade(rows, x, y, z, work.grade);
    compute_local_minima(rows, work.allowed_speed, work.local_minimum);
    if (model.kind() == CoastModelKind::predictive) {
        compute_predictive_columns(rows, model, z, max_speed, distance, work, planner,
                                   coasting_speed, recommended_speed);
        return;
    }
    compute_coasting_and_recommended(rows, model, work.grade, distance, work.allowed_speed,
                                     work.local_minimum, coasting_speed, recommended_speed);
}

void compute_grade(std::int32_t rows, const double* x, const double* y, const double* z,
                   double* grade) {
    if (rows < 1) {
        return;
    }
    for (std::int32_t i = 1; i < rows; ++i) {
        const double dx = x[i] - x[i - 1];
        const double dy = y[i] - y[i - 1];
        const double dz = z[i] - z[i - 1];
        if (!step_grade(dx, dy, dz, &grade[i - 1])) {
            grade[i - 1] = i >= 2 ? grade[i - 2] : FIRST_SEGMENT_GRADE;
        }
    }
    grade[rows - 1] = 0.0; // no segment starts at the last row
}

double segment_grade(const double* x, const double* y, const double* z, std::int32_t i) {
    for (; i >= 0; --i) {
        double grade = 0.0;
        if (step_grade(x[i + 1] - x[i], y[i + 1] - y[i], z[i + 1] - z[i], &grade)) {
            return grade;
        }
    }
    return FIRST_SEGMENT_GRADE;
}

void compute_comfort_and_allowed(std::int32_t rows, const double* curve_radius,
                                 const double* superelevation, const double* max_speed,
                                 double* comfort_speed, double* allowed_speed) {
    for (std::int32_t i = 0; i < rows; ++i) {
        // Same inputs, bit for bit, give the same comfort speed as the row before.
        if (i > 0 && same_bits(curve_radius[i], curve_radius[i - 1]) &&
            same_bits(superelevation[i], superelevation[i - 1])) {
            comfort_speed[i] = comfort_speed[i - 1];
        } else {
            comfort_speed[i] = comfort_curve_velocity(curve_radius[i], superelevation[i]);
        }
        allowed_speed[i] = comfort_speed[i] > max_speed[i] ? max_speed[i] : comfort_speed[i];
    }
}

void compute_local_minima(std::int32_t rows, const double* allowed_speed, double* local_minimum) {
    for (std::int32_t i = 0; i < rows; ++i) {
        if (i == 0 || i == rows - 1) {
            local_minimum[i] = allowed_speed[i];
        } else {
            local_minimum[i] =
                find_local_minimum(allowed_speed[i - 1], allowed_speed[i], allowed_speed[i + 1]);
        }
    }
}

void compute_coasting_and_recommended(std::int32_t rows, const CoastModel& model,
                                      const double* grade, const double* distance,
                                      const double* allowed_speed, const double* local_minimum,
                                      double* coasting_speed, double* recommended_speed) {
    for (std::int32_t i = rows - 1; i >= 0; --i) {
        if (i == rows - 1) {
            coasting_speed[i] = allowed_speed[i];
        } else {
            coasting_speed[i] = model(
                grade[i], model.carried_speed(coasting_speed[i + 1], recommended_speed[i + 1]),
                distance[i + 1], distance[i], local_minimum[i]);
        }
        recommended_speed[i] =
            allowed_speed[i] > coasting_speed[i] ? coasting_speed[i] : allowed_speed[i];
    }
}

void compute_predictive_columns(std::int32_t rows, const CoastModel& model, const double* z,
                                const double* max_speed, const double* distance,
                                const WorkingColumns& work, const SpeedPlanner* planner,
                                double* coasting_speed, double* recommended_speed) {
    if (rows < 1) {
        return;
    }
    if (rows < 2 || !(distance[rows - 1] > distance[0])) {
        std::copy_n(work.allowed_speed, rows, recommended_speed);
    } else if (planner == nullptr) {
        throw PlanFailure("no planner for the predictive model");
    } else {
        const PlannerRoad road{rows,       distance,         z, work.allowed_speed, max_speed,
                               work.grade, work.curve_radius};
        std::string why;
        if (!planner->plan(road, model.vehicle(), recommended_speed, &why)) {
            throw PlanFailure(why.empty() ? "no plan" : why);
        }
    }
    coasting_speed[rows - 1] = recommended_speed[rows - 1];
    for (std::int32_t i = rows - 2; i >= 0; --i) {
        coasting_speed[i] = model(
            work.grade[i], model.carried_speed(coasting_speed[i + 1], recommended_speed[i + 1]),
            distance[i + 1], distance[i], work.local_minimum[i]);
    }
}

} // namespace korvale
