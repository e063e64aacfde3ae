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
    for (std::size_t i = 0; i < n; ++i) {
        if (is_stop_kmh(rows.max_speed[i])) {
            out[i] = 0.0;
        }
    }
    const auto fill_end = [&](std::size_t from, std::ptrdiff_t step) {
        std::size_t i = from;
        while (i < n && !is_stop_kmh(rows.max_speed[i]) && is_stop_kmh(out[i])) {
            i += static_cast<std::size_t>(step);
        }
        if (i >= n || is_stop_kmh(rows.max_speed[i])) {
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

// A cruise controller's drive on the road with a recommended column (km/h at its rows).
DriveResult cruise_drive(const SimRoad& road, const std::vector<double>& column,
                         const dynamics::DriveVehicle& vehicle, double braking,
                         const RunSettings& run) {
    RoadRows followed = road.columns();
    followed.recommended.assign(column.begin(), column.begin() + road.rows());
    const SimRoad cruise_road(std::move(followed));
    const BrakingEnvelope envelope(cruise_road, braking);
    RecommendedDriver cruise(cruise_road);
    return run_drive(envelope, vehicle, cruise, run);
}

// A share of the cruise controller's speed error that each pass corrects.
constexpr double CRUISE_GAIN = 0.7;

struct Cruise {
    std::vector<double> column; // km/h
    double time = 0.0;          // of the cruise controller on it, s (infinite: it did not arrive)
};

// The column on which the cruise controller drives close to the drive (km/h at each row): each
// pass drives it and raises or lowers the column where the controller reads it (a horizon ahead
// of where it went too slow or too fast) by a share of the error, within the maximum speed.
Cruise cruise_column(const RoadRows& rows, const SimRoad& road, const std::vector<double>& drive,
                     const dynamics::DriveVehicle& vehicle, const PredictiveSettings& settings) {
    const std::size_t n = rows.distance.size();
    const RunSettings run{settings.dt, 0.0};
    Cruise out{drive, 0.0};
    DriveResult cruised =
        cruise_drive(road, out.column, vehicle, settings.comfortable_braking, run);
    std::vector<double> read_at(n);
    std::vector<double> error(n);
    for (int pass = 0; pass < settings.cruise_passes && cruised.error.empty(); ++pass) {
        const std::vector<double> speed = speeds_at_rows(rows.distance, cruised.trace);
        double last = -INFINITY;
        for (std::size_t i = 0; i < n; ++i) {
            // (where the drive brakes hard at low speed, the place read ahead may go back)
            last = std::max(last, rows.distance[i] + CRUISE_HORIZON * drive[i] / KMH_PER_MS);
            read_at[i] = last;
            error[i] = drive[i] - speed[i];
        }
        std::size_t k = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const double at = rows.distance[j];
            while (k + 1 < n && read_at[k + 1] <= at) {
                ++k;
            }
            double e = error[k];
            if (k + 1 < n && read_at[k + 1] > read_at[k] && at > read_at[k]) {
                const double share =
                    std::min(1.0, (at - read_at[k]) / (read_at[k + 1] - read_at[k]));
                e += (error[k + 1] - error[k]) * share;
            }
            if (!is_stop_kmh(rows.max_speed[j])) {
                out.column[j] = std::clamp(out.column[j] + CRUISE_GAIN * e, 0.0, rows.max_speed[j]);
            }
        }
        cruised = cruise_drive(road, out.column, vehicle, settings.comfortable_braking, run);
    }
    out.time = cruised.error.empty() ? cruised.figures.trip_time : INFINITY;
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
        const std::vector<double> drive = column_of(rows, planned.drive.trace);
        const Cruise cruise = cruise_column(rows, *road, drive, vehicle, settings);
        out.recommended = cruise.column;
        out.cruise_time = cruise.time;
        const double over = std::max(out.driven_time, out.cruise_time) - budget;
        if (over <= 0.0) {
            break;
        }
        asked -= std::min(over, budget) + margin * budget;
    }
    return out;
}

} // namespace korvale::sim
