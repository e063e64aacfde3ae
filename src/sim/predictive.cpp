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
// when its drive went over (a share of the budget), three times as much more each time the
// programme gives the same plan again (its tolerance on a trip time is larger).
constexpr double CORRECTION_MARGIN = 0.001;
// How often the plan is asked for at most.
constexpr int PLAN_ATTEMPTS = 4;

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

bool is_stop_kmh(double kmh) {
    return kmh / KMH_PER_MS < dynamics::STOP_SPEED;
}

// The drive's speed at a distance by its trace (0 past where it ended); `k` walks along the
// trace and only forward.
double speed_at(const std::vector<TraceRow>& trace, double at, std::size_t& k) {
    while (k + 1 < trace.size() && trace[k + 1].s <= at) {
        ++k;
    }
    if (k + 1 >= trace.size()) {
        return 0.0;
    }
    const TraceRow& from = trace[k];
    const TraceRow& to = trace[k + 1];
    const double span = to.s - from.s;
    const double share = span > 0.0 ? (at - from.s) / span : 0.0;
    return std::max(0.0, from.v + (to.v - from.v) * share);
}

// The column on which the cruise controller drives the drive (km/h at each row). The controller
// reads the column a horizon of travel ahead and closes the gap within the horizon, so where
// the drive passes at speed v with acceleration a, the column a horizon·v further on is v plus
// the horizon times a: the controller at the drive's speed asks for the drive's acceleration.
// Where that lies below the drive's own speed there (braking near a low speed, where the place
// read ahead goes back toward the controller), the column is the drive's speed there, which the
// controller settles on without falling below it. Within the maximum speed; 0 at stops; where
// the drive sets off at the start and where it comes to rest at the end, rows that are no stops
// take the speed of the nearest row inside at which the column is at least 1 km/h (on a column
// that falls to 0 at a row that is no stop, a cruise controller would creep toward it, and at
// rest at the start it would never start).
std::vector<double> cruise_column(const RoadRows& rows, const std::vector<TraceRow>& trace) {
    std::vector<double> read_at; // rising
    std::vector<double> setpoint;
    std::size_t k = 0;
    for (const TraceRow& r : trace) {
        const double at = r.s + CRUISE_HORIZON * r.v;
        if (!read_at.empty() && at <= read_at.back()) {
            continue;
        }
        read_at.push_back(at);
        setpoint.push_back(std::max(r.v + CRUISE_HORIZON * r.a, speed_at(trace, at, k)));
    }
    const std::size_t n = rows.distance.size();
    std::vector<double> out(n, 0.0);
    std::size_t j = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double at = rows.distance[i];
        while (j + 1 < read_at.size() && read_at[j + 1] <= at) {
            ++j;
        }
        double value = setpoint[j];
        if (j + 1 < read_at.size() && at > read_at[j]) {
            value +=
                (setpoint[j + 1] - setpoint[j]) * (at - read_at[j]) / (read_at[j + 1] - read_at[j]);
        }
        out[i] = is_stop_kmh(rows.max_speed[i])
                     ? 0.0
                     : std::clamp(value * KMH_PER_MS, 0.0, rows.max_speed[i]);
    }
    const auto fill_end = [&](std::size_t from, std::ptrdiff_t step) {
        std::size_t i = from;
        while (i < n && !is_stop_kmh(rows.max_speed[i]) && is_stop_kmh(out[i])) {
            i += static_cast<std::size_t>(step);
        }
        if (i >= n || is_stop_kmh(rows.max_speed[i])) {
            return;
        }
        for (std::size_t m = from; m != i; m += static_cast<std::size_t>(step)) {
            out[m] = out[i];
        }
    };
    fill_end(0, 1);
    fill_end(n - 1, -1);
    return out;
}

// A cruise controller's trip time on the road with a recommended column (km/h at its rows);
// infinite when it does not arrive.
double cruise_time(const SimRoad& road, const std::vector<double>& column,
                   const dynamics::DriveVehicle& vehicle, double braking, const RunSettings& run) {
    RoadRows followed = road.columns();
    followed.recommended.assign(column.begin(), column.begin() + road.rows());
    const SimRoad cruise_road(std::move(followed));
    const BrakingEnvelope envelope(cruise_road, braking);
    RecommendedDriver cruise(cruise_road);
    const DriveResult drive = run_drive(envelope, vehicle, cruise, run);
    return drive.error.empty() ? drive.figures.trip_time : INFINITY;
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
        out.error = "no drive within the vehicle's limits reaches the route's end (the "
                    "limit-following drive " +
                    base.error + ")";
        return out;
    }
    out.baseline_time = base.figures.trip_time;
    const double budget = (1.0 + settings.time_budget) * out.baseline_time;

    const dynamics::ProgrammeRoad nodes = road->programme_road(settings.programme_step);
    const dynamics::SpeedProgramme programme(vehicle, nodes, settings.speed_step);
    // The cruise controller on the column lags the plan's drive a little: where it goes over
    // the budget, the plan is asked for again that much faster.
    double asked = budget;
    double margin = CORRECTION_MARGIN;
    for (int attempt = 0; attempt < PLAN_ATTEMPTS; ++attempt) {
        const PlannedDrive planned = drive_plan(*road, vehicle, programme, nodes, asked, run);
        if (!planned.drive.error.empty()) {
            out.error = planned.drive.error;
            out.recommended.clear();
            return out;
        }
        if (attempt > 0 && planned.drive.figures.trip_time == out.driven_time) {
            margin *= 3.0;
            asked -= margin * budget;
            continue;
        }
        out.driven_time = planned.drive.figures.trip_time;
        out.driven_energy = planned.drive.figures.source_energy;
        out.recommended = cruise_column(rows, planned.drive.trace);
        out.cruise_time =
            cruise_time(*road, out.recommended, vehicle, settings.comfortable_braking, run);
        const double over = std::max(out.driven_time, out.cruise_time) - budget;
        if (over <= 0.0) {
            break;
        }
        asked -= std::min(over, budget) + margin * budget;
    }
    return out;
}

} // namespace korvale::sim
