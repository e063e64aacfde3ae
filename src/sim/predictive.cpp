#include "predictive.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>

#include "drivers.h"
#include "simulation.h"

namespace korvale::sim {

namespace {

// The plan is asked for again, this much further below the budget than its drive went over it,
// when its drive went over (a share of the budget).
constexpr double CORRECTION_MARGIN = 0.001;
// How often the plan is asked for at most.
constexpr int PLAN_ATTEMPTS = 3;

std::string settings_problem(const PredictiveSettings& s) {
    if (!(s.time_budget >= 0.0) || !std::isfinite(s.time_budget)) {
        return "time_budget is below 0";
    }
    if (!(s.comfortable_braking > 0.0) || !std::isfinite(s.comfortable_braking)) {
        return "comfortable_braking is not above 0";
    }
    if (!(s.programme_step > 0.0 && s.speed_step > 0.0 && s.dt > 0.0) ||
        !std::isfinite(s.programme_step + s.speed_step + s.dt)) {
        return "the plan's steps are not above 0";
    }
    return "";
}

// The drive's speed where it passes each row, km/h (0 past where it ended).
std::vector<double> speeds_at_rows(const std::vector<double>& distance,
                                   const std::vector<TraceRow>& trace) {
    std::vector<double> out(distance.size(), 0.0);
    std::size_t k = 0;
    for (std::size_t i = 0; i < distance.size(); ++i) {
        const double at = distance[i];
        while (k + 1 < trace.size() && trace[k + 1].s <= at) {
            ++k;
        }
        if (k + 1 >= trace.size()) {
            break; // the drive stood still before this row
        }
        const TraceRow& from = trace[k];
        const TraceRow& to = trace[k + 1];
        const double span = to.s - from.s;
        const double share = span > 0.0 ? (at - from.s) / span : 0.0;
        out[i] = std::max(0.0, from.v + (to.v - from.v) * share) * KMH_PER_MS;
    }
    return out;
}

// The column of a drive: its speed at each row, 0 at stops, and where it sets off and where it
// comes to rest at the end, rows that are no stops take the speed of the nearest row inside at
// which it goes at least 1 km/h.
std::vector<double> column_of(const RoadRows& rows, const std::vector<TraceRow>& trace) {
    const std::size_t n = rows.distance.size();
    std::vector<double> out = speeds_at_rows(rows.distance, trace);
    constexpr double STOP_KMH = dynamics::STOP_SPEED * KMH_PER_MS;
    for (std::size_t i = 0; i < n; ++i) {
        if (rows.max_speed[i] < STOP_KMH) {
            out[i] = 0.0;
        }
    }
    const auto fill_end = [&](std::size_t from, std::ptrdiff_t step) {
        std::size_t i = from;
        while (i < n && rows.max_speed[i] >= STOP_KMH && out[i] < STOP_KMH) {
            i += static_cast<std::size_t>(step);
        }
        if (i >= n || rows.max_speed[i] < STOP_KMH) {
            return;
        }
        for (std::size_t j = from; j != i; j += static_cast<std::size_t>(step)) {
            out[j] = out[i];
        }
    };
    fill_end(0, 1);
    fill_end(n - 1, -1);
    return out;
}

} // namespace

PredictiveSpeeds predictive_speeds(const RoadRows& rows, const dynamics::DriveVehicle& vehicle,
                                   const PredictiveSettings& settings) {
    PredictiveSpeeds out;
    std::string problem = dynamics::drive_vehicle_problem(vehicle);
    if (problem.empty()) {
        problem = settings_problem(settings);
    }
    if (!problem.empty()) {
        out.error = "no plan: " + problem;
        return out;
    }
    std::optional<SimRoad> road;
    try {
        road.emplace(RoadRows{rows.distance, rows.z, rows.max_speed, rows.grade, rows.radius, {}});
    } catch (const std::invalid_argument&) {
        out.recommended = rows.max_speed; // nothing to drive
        return out;
    }
    const RunSettings run{settings.dt, 0.0};

    const BrakingEnvelope baseline(*road, settings.comfortable_braking);
    LimitDriver limit(baseline, vehicle.limits.max_acceleration);
    const DriveResult base = run_drive(baseline, vehicle, limit, run);
    if (!base.error.empty()) {
        out.error = "the limit-following drive " + base.error;
        return out;
    }
    out.baseline_time = base.figures.trip_time;
    const double budget = (1.0 + settings.time_budget) * out.baseline_time;

    const dynamics::ProgrammeRoad nodes = road->programme_road(settings.programme_step);
    const dynamics::SpeedProgramme programme(vehicle, nodes, settings.speed_step);
    // Both the drive of the plan and a cruise controller on its column follow the plan a little
    // late: where either goes over the budget, the plan is asked for again that much faster.
    double asked = budget;
    for (int attempt = 0; attempt < PLAN_ATTEMPTS; ++attempt) {
        const PlannedDrive planned = drive_plan(*road, vehicle, programme, nodes, asked, run);
        if (!planned.drive.error.empty()) {
            out.error = planned.drive.error;
            out.recommended.clear();
            return out;
        }
        out.driven_time = planned.drive.figures.trip_time;
        out.driven_energy = planned.drive.figures.source_energy;
        out.recommended = column_of(rows, planned.drive.trace);
        RoadRows followed = road->columns();
        followed.recommended.assign(out.recommended.begin(),
                                    out.recommended.begin() + road->rows());
        const SimRoad cruise_road(std::move(followed));
        const BrakingEnvelope cruise_envelope(cruise_road, settings.comfortable_braking);
        RecommendedDriver cruise(cruise_road);
        const DriveResult cruised = run_drive(cruise_envelope, vehicle, cruise, run);
        out.cruise_time = cruised.error.empty() ? cruised.figures.trip_time : INFINITY;
        const double over = std::max(out.driven_time, out.cruise_time) - budget;
        if (over <= 0.0) {
            break;
        }
        asked -= std::min(over, budget) + CORRECTION_MARGIN * budget;
    }
    return out;
}

} // namespace korvale::sim
