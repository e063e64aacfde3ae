#include "sim/predictive.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <utility>

#include "sim/drivers.h"
#include "sim/simulation.h"

namespace korvale::sim {

namespace {

// The plan's grid of speeds is fitted to the vehicle's power at this speed (m/s) ...
constexpr double GRID_SPEED = 20.0;
// ... to this share of what its full power adds to its speed over the programme's step.
constexpr double GRID_SHARE = 0.4;
// The finest grid of speeds, m/s (of the presets, the truck's is the finest at about 0.1): the
// programme's work grows with the square of its speeds, and a vehicle of very little power
// would otherwise be planned for hours.
constexpr double FINEST_GRID = 0.05;

// The plan's grid of speeds: the settings' step, or a share of what the vehicle's full power
// adds to its speed over the programme's step at 72 km/h where that is finer, down to the finest
// grid. A heavy vehicle gains speed slowly at full power; on a coarser grid its plan holds a grid
// speed on grades where speeds between them save energy (the car keeps the settings' step).
double grid_step(const dynamics::DriveVehicle& vehicle, const PredictiveSettings& settings) {
    const double gain = vehicle.limits.max_power * settings.programme_step /
                        (vehicle.body.inertial_mass() * GRID_SPEED * GRID_SPEED);
    return std::min(settings.speed_step, std::max(GRID_SHARE * gain, FINEST_GRID));
}

// A plan whose drives end this close below the budget (a share of it) is taken at once.
constexpr double CLOSE_TO_BUDGET = 0.001;
// How many plans the search for the weight of time tries after the first.
constexpr int MORE_PLANS = 6;
// A plan whose own drive takes longer than the budget by more than this share of it is none.
constexpr double PLAN_OVER_BUDGET = 0.01;
// Below this weight of time (J/s), the plan is that of the least energy.
constexpr double LEAST_WEIGHT = 1e-3;

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
    // A stretch between stops or the route's ends with no row inside the route at which the
    // column reaches 1 km/h (a short route given by its two ends has none) takes the drive's
    // highest speed over it, within each row's maximum: a cruise controller then sets off on
    // it, and its braking ahead of the stop or the end brings it to rest.
    const auto inside_moves = [&](std::size_t i) {
        return i > 0 && i + 1 < n && !is_stop_kmh(out[i]);
    };
    for (std::size_t first = 0; first < n;) {
        if (is_stop_kmh(rows.max_speed[first])) {
            ++first;
            continue;
        }
        std::size_t last = first;
        bool moves = inside_moves(first);
        while (last + 1 < n && !is_stop_kmh(rows.max_speed[last + 1])) {
            ++last;
            moves = moves || inside_moves(last);
        }
        if (!moves) {
            const double from = rows.distance[first > 0 ? first - 1 : 0];
            const double to = rows.distance[last + 1 < n ? last + 1 : n - 1];
            double peak = 0.0;
            for (const TraceRow& r : trace) {
                if (r.s >= from && r.s <= to) {
                    peak = std::max(peak, r.v);
                }
            }
            for (std::size_t m = first; m <= last; ++m) {
                out[m] = std::min(peak * KMH_PER_MS, rows.max_speed[m]);
            }
        }
        first = last + 1;
    }
    return out;
}

// A plan of the programme, its drive through the simulation (braking as hard as the vehicle
// may), its column and a cruise controller's drive on that column.
struct Attempt {
    dynamics::Plan plan;
    DriveResult drive;
    std::vector<double> column;
    Figures cruise; // trip_time infinite when the cruise controller did not arrive

    // The slower of the two drives, s.
    double time() const { return std::max(drive.figures.trip_time, cruise.trip_time); }
};

Attempt attempt_plan(dynamics::Plan plan, const RoadRows& rows, const SimRoad& road,
                     const dynamics::ProgrammeRoad& nodes, const dynamics::DriveVehicle& vehicle,
                     const PredictiveSettings& settings) {
    const RunSettings run{settings.dt, 0.0};
    Attempt out{std::move(plan), {}, {}, {}};
    out.drive = drive_of_plan(road, vehicle, nodes, out.plan, run);
    if (!out.drive.error.empty()) {
        return out;
    }
    out.column = cruise_column(rows, out.drive.trace);
    RoadRows followed = road.columns();
    followed.recommended.assign(out.column.begin(), out.column.begin() + road.rows());
    const SimRoad cruise_road(std::move(followed));
    const BrakingEnvelope envelope(cruise_road, settings.comfortable_braking);
    RecommendedDriver cruise(cruise_road);
    const DriveResult cruised = run_drive(envelope, vehicle, cruise, run);
    out.cruise = cruised.figures;
    if (!cruised.error.empty()) {
        out.cruise.trip_time = INFINITY;
    }
    return out;
}

} // namespace

DriveResult drive_of_plan(const SimRoad& road, const dynamics::DriveVehicle& vehicle,
                          const dynamics::ProgrammeRoad& nodes, const dynamics::Plan& plan,
                          const RunSettings& run) {
    if (plan.speed.empty()) {
        DriveResult none;
        none.error = "no drive within the vehicle's limits reaches the route's end";
        return none;
    }
    const BrakingEnvelope hardest(road, vehicle.limits.max_deceleration);
    PlanDriver driver(nodes.distance, plan.speed);
    return run_drive(hardest, vehicle, driver, run);
}

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
    if (road->length() <= END_TOLERANCE) {
        out.recommended = rows.max_speed; // a drive at its start already stands at its end
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
    const dynamics::SpeedProgramme programme(vehicle, nodes, grid_step(vehicle, settings));
    const auto attempt = [&](dynamics::Plan plan) {
        return attempt_plan(std::move(plan), rows, *road, nodes, vehicle, settings);
    };
    // The plan for the budget first; the cruise controller on its column takes a little longer
    // or shorter than its drive, so then the weight of time is sought (doubled or halved until
    // the budget lies between two plans, then halved in its logarithm) for the plan whose drives
    // both keep the budget and end closest below it. Of the plans tried, the one whose cruise
    // controller draws the least energy within the budget is taken, the fastest when none keeps it.
    Attempt best = attempt(programme.solve_for_time(budget));
    if (!best.drive.error.empty()) {
        out.error = best.drive.error;
        return out;
    }
    const auto better = [&](const Attempt& a, const Attempt& b) {
        const bool a_keeps = a.time() <= budget;
        if (a_keeps != (b.time() <= budget)) {
            return a_keeps;
        }
        return a_keeps ? a.cruise.source_energy < b.cruise.source_energy : a.time() < b.time();
    };
    const auto close = [&](const Attempt& a) {
        return a.time() <= budget && a.time() >= (1.0 - CLOSE_TO_BUDGET) * budget;
    };
    double slow = 0.0; // log weights on either side of the budget, once found
    double fast = 0.0;
    bool slow_found = false;
    bool fast_found = false;
    double weight = best.plan.weight;
    bool over = best.time() > budget;
    (over ? slow : fast) = std::log(std::max(weight, LEAST_WEIGHT));
    (over ? slow_found : fast_found) = true;
    for (int more = 0; more < MORE_PLANS && !close(best); ++more) {
        if (!over && weight <= LEAST_WEIGHT) {
            break; // as slow as the least energy makes it
        }
        double next = 0.0;
        if (slow_found && fast_found) {
            next = std::exp(0.5 * (slow + fast));
        } else {
            next = over ? std::max(weight, LEAST_WEIGHT) * 2.0 : weight / 2.0;
        }
        Attempt other = attempt(programme.solve(next < LEAST_WEIGHT ? 0.0 : next));
        if (!other.drive.error.empty()) {
            break;
        }
        weight = next;
        over = other.time() > budget;
        (over ? slow : fast) = std::log(std::max(weight, LEAST_WEIGHT));
        (over ? slow_found : fast_found) = true;
        if (better(other, best)) {
            best = std::move(other);
        }
    }
    if (best.drive.figures.trip_time > (1.0 + PLAN_OVER_BUDGET) * budget) {
        // (the programme's weight of time did not reach the budget: a powertrain that draws
        // so much energy that no weight the search tries outweighs it)
        char text[160];
        std::snprintf(text, sizeof text,
                      "no drive within the vehicle's limits keeps the time budget (the fastest "
                      "plan found takes %.1f s, the budget is %.1f s)",
                      best.drive.figures.trip_time, budget);
        out.error = text;
        return out;
    }
    out.recommended = std::move(best.column);
    out.driven_time = best.drive.figures.trip_time;
    out.driven_energy = best.drive.figures.source_energy;
    out.cruise_time = best.cruise.trip_time;
    return out;
}

} // namespace korvale::sim
