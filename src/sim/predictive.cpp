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

// Where along the road the cruise controller reads the column (rising) and what it must find
// there, m/s.
struct Setpoints {
    std::vector<double> read_at;
    std::vector<double> speed;
};

Setpoints setpoints_of(const std::vector<TraceRow>& trace) {
    Setpoints out;
    std::size_t k = 0;
    for (const TraceRow& r : trace) {
        const double at = r.s + CRUISE_HORIZON * r.v;
        if (!out.read_at.empty() && at <= out.read_at.back()) {
            continue;
        }
        out.read_at.push_back(at);
        out.speed.push_back(std::max(r.v + CRUISE_HORIZON * r.a, speed_at(trace, at, k)));
    }
    return out;
}

// The setpoints at each row, linear between them, km/h within the maximum speed; 0 at stops.
std::vector<double> column_at_rows(const RoadRows& rows, const Setpoints& setpoints) {
    const std::vector<double>& read_at = setpoints.read_at;
    const std::vector<double>& setpoint = setpoints.speed;
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
    return out;
}

// From the row from on in steps of step (+1 or -1), the rows that are no stops but where the
// column is below 1 km/h take the column's value at the first row where it is not (none when
// a stop or the column's end comes first).
void fill_end(const RoadRows& rows, std::vector<double>& out, std::size_t from,
              std::ptrdiff_t step) {
    const std::size_t n = out.size();
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
}

// A stretch between stops or the route's ends with no row inside the route at which the
// column reaches 1 km/h (a short route given by its two ends has none) takes the drive's
// highest speed over it, within each row's maximum: a cruise controller then sets off on it,
// and its braking ahead of the stop or the end brings it to rest.
void lift_still_stretches(const RoadRows& rows, const std::vector<TraceRow>& trace,
                          std::vector<double>& out) {
    const std::size_t n = out.size();
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
    std::vector<double> out = column_at_rows(rows, setpoints_of(trace));
    const std::size_t n = out.size();
    fill_end(rows, out, 0, 1);
    fill_end(rows, out, n - 1, -1);
    lift_still_stretches(rows, trace, out);
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

// The vehicle's or the settings' problem; empty when they make sense.
std::string plan_problem(const dynamics::DriveVehicle& vehicle,
                         const PredictiveSettings& settings) {
    const std::string problem = dynamics::drive_vehicle_problem(vehicle);
    return problem.empty() ? settings_problem(settings) : problem;
}

// The road the drives take; none for a route that the simulation cannot drive (fewer than two
// rows, or no length) or that ends within END_TOLERANCE of its start (where a drive already
// stands at its end).
std::optional<SimRoad> drivable_road(const RoadRows& rows) {
    std::optional<SimRoad> road;
    try {
        road.emplace(RoadRows{rows.distance, rows.z, rows.max_speed, rows.grade, rows.radius, {}});
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
    if (road->length() <= END_TOLERANCE) {
        return std::nullopt;
    }
    return road;
}

// The limit-following driver's drive from rest to rest.
DriveResult baseline_drive(const SimRoad& road, const dynamics::DriveVehicle& vehicle,
                           const PredictiveSettings& settings) {
    const BrakingEnvelope baseline(road, settings.comfortable_braking);
    LimitDriver limit(baseline, vehicle.limits.max_acceleration);
    return run_drive(baseline, vehicle, limit, RunSettings{settings.dt, 0.0});
}

// Of two attempts, whether a is the better: it keeps the budget where b does not; both keep it
// and a's cruise controller draws less energy; or neither does and a is faster.
bool better(const Attempt& a, const Attempt& b, double budget) {
    const bool a_keeps = a.time() <= budget;
    if (a_keeps != (b.time() <= budget)) {
        return a_keeps;
    }
    return a_keeps ? a.cruise.source_energy < b.cruise.source_energy : a.time() < b.time();
}

// Whether the attempt's drives both keep the budget and end close below it.
bool close_below(const Attempt& a, double budget) {
    return a.time() <= budget && a.time() >= (1.0 - CLOSE_TO_BUDGET) * budget;
}

// The log weights of time found on either side of the budget so far, and the next weight to
// try: doubled or halved until the budget lies between two, then halved in its logarithm.
class WeightBracket {
public:
    void note(double weight, bool over) {
        (over ? slow : fast) = std::log(std::max(weight, LEAST_WEIGHT));
        (over ? slow_found : fast_found) = true;
    }
    double next(double weight, bool over) const {
        if (slow_found && fast_found) {
            return std::exp(0.5 * (slow + fast));
        }
        return over ? std::max(weight, LEAST_WEIGHT) * 2.0 : weight / 2.0;
    }

private:
    double slow = 0.0;
    double fast = 0.0;
    bool slow_found = false;
    bool fast_found = false;
};

// The plans of the programme and what each attempt drives them over.
struct Planning {
    const RoadRows& rows;
    const SimRoad& road;
    const dynamics::ProgrammeRoad& nodes;
    const dynamics::DriveVehicle& vehicle;
    const PredictiveSettings& settings;
    const dynamics::SpeedProgramme& programme;

    Attempt attempt(dynamics::Plan plan) const {
        return attempt_plan(std::move(plan), rows, road, nodes, vehicle, settings);
    }
};

// From the plan for the budget, the weight of time sought for the plan whose drives both keep
// the budget and end closest below it, up to MORE_PLANS more. Of the plans tried, the one whose
// cruise controller draws the least energy within the budget, the fastest when none keeps it.
Attempt seek_plan(Attempt best, double budget, const Planning& planning) {
    WeightBracket bracket;
    double weight = best.plan.weight;
    bool over = best.time() > budget;
    bracket.note(weight, over);
    for (int more = 0; more < MORE_PLANS && !close_below(best, budget); ++more) {
        if (!over && weight <= LEAST_WEIGHT) {
            break; // as slow as the least energy makes it
        }
        const double next = bracket.next(weight, over);
        Attempt other =
            planning.attempt(planning.programme.solve(next < LEAST_WEIGHT ? 0.0 : next));
        if (!other.drive.error.empty()) {
            break;
        }
        weight = next;
        over = other.time() > budget;
        bracket.note(weight, over);
        if (better(other, best, budget)) {
            best = std::move(other);
        }
    }
    return best;
}

std::string over_budget(const Attempt& best, double budget) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "no drive within the vehicle's limits keeps the time budget (the fastest "
                  "plan found takes %.1f s, the budget is %.1f s)",
                  best.drive.figures.trip_time, budget);
    return text;
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
    const std::string problem = plan_problem(vehicle, settings);
    if (!problem.empty()) {
        out.error = "no plan: " + problem;
        return out;
    }
    const std::optional<SimRoad> road = drivable_road(rows);
    if (!road) {
        out.recommended = rows.max_speed; // nothing to drive
        return out;
    }
    const DriveResult base = baseline_drive(*road, vehicle, settings);
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
    const Planning planning{rows, *road, nodes, vehicle, settings, programme};
    // The plan for the budget first; the cruise controller on its column takes a little longer
    // or shorter than its drive, so then the weight of time is sought (seek_plan).
    Attempt best = planning.attempt(programme.solve_for_time(budget));
    if (!best.drive.error.empty()) {
        out.error = best.drive.error;
        return out;
    }
    best = seek_plan(std::move(best), budget, planning);
    if (best.drive.figures.trip_time > (1.0 + PLAN_OVER_BUDGET) * budget) {
        // (the programme's weight of time did not reach the budget: a powertrain that draws
        // so much energy that no weight the search tries outweighs it)
        out.error = over_budget(best, budget);
        return out;
    }
    out.recommended = std::move(best.column);
    out.driven_time = best.drive.figures.trip_time;
    out.driven_energy = best.drive.figures.source_energy;
    out.cruise_time = best.cruise.trip_time;
    return out;
}

} // namespace korvale::sim
