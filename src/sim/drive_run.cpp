#include "sim/drive_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace korvale::sim {

namespace {

using dynamics::Forces;

// More than this above the maximum speed counts as above it, m/s (0.1 km/h).
constexpr double ABOVE_MAX_SPEED = 0.1 / 3.6;
// A vehicle that has not moved within this long from the start has failed to start, s.
constexpr double START_WAIT = 10.0;
// Brake applications: braking this long, after this long without, s.
constexpr double BRAKE_SPAN = 1.0;

std::string stopped_early(double s) {
    char text[128];
    std::snprintf(text, sizeof text, "stopped at %.1f m, before the route's end", s);
    return text;
}

// Counts brake applications as the steps go by.
class BrakeCounter {
public:
    void add(bool braking, double dt) {
        if (braking) {
            if (!on) {
                on = true;
                on_time = 0.0;
                counted = false;
            }
            on_time += dt;
            if (!counted && on_time >= BRAKE_SPAN - 1e-9 && off_time >= BRAKE_SPAN - 1e-9) {
                ++count;
                counted = true;
            }
        } else {
            if (on) {
                on = false;
                off_time = 0.0;
            }
            off_time += dt;
        }
    }
    std::int32_t count = 0;

private:
    bool on = false;
    bool counted = false;
    double on_time = 0.0;
    double off_time = 1e9;
};

// RMS of the second differences of the speed sampled every second.
double rms_jerk(const std::vector<TraceRow>& trace) {
    const std::vector<TraceRow> second = each_second(trace);
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t k = 2; k < second.size(); ++k) {
        const double jerk = second[k].v - 2.0 * second[k - 1].v + second[k - 2].v;
        sum += jerk * jerk;
        ++count;
    }
    return count > 0 ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

} // namespace

std::vector<TraceRow> each_second(const std::vector<TraceRow>& trace) {
    std::vector<TraceRow> out;
    if (trace.empty()) {
        return out;
    }
    // (the rows' times are sums of dt: a whole second may sit a rounding below its row)
    constexpr double ROUNDING = 1e-6;
    const double end = trace.back().t;
    std::size_t i = 0;
    for (double second = 0.0; second < end + 1.0 - ROUNDING; second += 1.0) {
        while (i + 1 < trace.size() && trace[i + 1].t <= second + ROUNDING) {
            ++i;
        }
        TraceRow row = trace[i];
        if (i + 1 < trace.size()) {
            const TraceRow& next = trace[i + 1];
            const double share = std::clamp((second - row.t) / (next.t - row.t), 0.0, 1.0);
            row.v += (next.v - row.v) * share;
            row.s += (next.s - row.s) * share;
        }
        row.t = second;
        out.push_back(row);
    }
    return out;
}

namespace {

// One drive under way: the vehicle's state, and the trace and figures so far.
class DriveRun {
public:
    DriveRun(const BrakingEnvelope& envelope, const dynamics::DriveVehicle& driven, Driver& by,
             const RunSettings& settings)
        : guard(envelope), road(envelope.road()), distance(road.columns().distance),
          stops(road.stops()), vehicle(driven), body(driven.body), driver(by), dt(settings.dt),
          stand_time(settings.stand_time), end(road.length() - END_TOLERANCE),
          deadline(3600.0 + 2.0 * road.length() / 0.5) {}

    DriveResult run() {
        while (true) {
            if (state.t > deadline) {
                result.error = "did not reach the route's end";
                break;
            }
            state.segment = road.segment_at(state.s, state.segment);
            state.grade = road.grade(state.segment);
            const double v = state.v;
            take_step(guarded(commanded(driver.command(state), v), v), v);
            if (!(state.v > 0.0) && !goes_on_from_rest()) {
                break;
            }
        }
        return finish();
    }

private:
    // The forces the driver's command asks for, within the vehicle's limits.
    Forces commanded(const Command& command, double v) const {
        switch (command.kind) {
        case Command::Kind::accelerate:
            return dynamics::forces_for_acceleration(body, vehicle.limits, v, state.grade,
                                                     command.value);
        case Command::Kind::coast:
            return dynamics::within_limits(body, vehicle.limits, Forces{}, v, state.grade);
        case Command::Kind::brake:
            return dynamics::within_limits(body, vehicle.limits, Forces{0.0, command.value}, v,
                                           state.grade);
        }
        return Forces{};
    }

    // The forces kept below the envelope a little ahead of the step's end, so that the step
    // ends below it (never past a stop it has not stood at); counts the overrides.
    Forces guarded(Forces forces, double v) {
        const double look = state.look_from + (v + 0.5 * vehicle.limits.max_acceleration * dt) * dt;
        const bool at_stop = next_stop < stops.size() && look >= distance[stops[next_stop]];
        const double cap =
            ((at_stop ? 0.0 : guard.target(look, road.segment_at(look, state.segment))) - v) / dt;
        const bool over = dynamics::net_acceleration(body, forces, v, state.grade) > cap + 1e-9;
        if (over) {
            forces = dynamics::forces_for_acceleration(body, vehicle.limits, v, state.grade, cap);
            if (driver.counts_overrides()) {
                figures.overrides += overriding ? 0 : 1;
                figures.override_time += dt;
            }
        }
        overriding = over;
        return forces;
    }

    // The step under the forces: its row, what it cost and the figures it touches.
    void take_step(const Forces& forces, double v) {
        const dynamics::Step step = dynamics::integrate(body, forces, v, state.grade, dt);
        TraceRow row{state.t,           state.s,          v, (step.v_next - v) / dt, state.grade,
                     step.forces.drive, step.forces.brake};
        row.wheel_power = (step.forces.drive - step.forces.brake) * step.distance / dt;
        const dynamics::PowerFlow flow = dynamics::power_flow(vehicle.powertrain, row.wheel_power);
        row.source_power = flow.source;
        row.energy = energy;
        record(row, flow.friction_brake);
        figures.max_deceleration = std::max(figures.max_deceleration, -row.a);
        const double radius = std::fabs(road.radius(state.segment));
        if (radius > 0.0) {
            figures.max_lateral_acceleration =
                std::max(figures.max_lateral_acceleration, v * v / radius);
        }
        if (v > road.max_speed(state.s, state.segment) + ABOVE_MAX_SPEED) {
            figures.time_above_max_speed += dt;
        }
        state.t += dt;
        state.s += step.distance;
        state.v = step.v_next;
        state.look_from = std::max(state.look_from, state.s);
    }

    // At rest after a step: stands at a stop and goes on; false when the drive ends here (at
    // the route's end, or stopped before it).
    bool goes_on_from_rest() {
        if (state.s >= end) {
            return false;
        }
        if (next_stop < stops.size() && state.s >= distance[stops[next_stop]] - END_TOLERANCE) {
            // A stop: stand, then look on from the stop row.
            stand(stand_time);
            state.look_from = std::max(state.s, distance[stops[next_stop]]);
            ++next_stop;
            ++state.stops_stood;
            return true;
        }
        if (state.s > 0.0 || state.t >= START_WAIT) {
            result.error = stopped_early(state.s);
            return false;
        }
        return true;
    }

    void stand(double duration) {
        for (double waited = 0.0; waited + 1e-9 < duration; waited += dt) {
            TraceRow row{state.t, state.s, 0.0, 0.0, state.grade};
            row.source_power = dynamics::power_flow(vehicle.powertrain, 0.0).source;
            row.energy = energy;
            record(row, 0.0);
            state.t += dt;
        }
    }

    void record(const TraceRow& row, double friction) {
        result.trace.push_back(row);
        energy += row.source_power * dt;
        figures.wheel_work += std::max(row.wheel_power, 0.0) * dt;
        figures.brake_work += friction * dt;
        brakes.add(row.brake > 0.0, dt);
    }

    DriveResult finish() {
        TraceRow last{state.t, state.s, state.v, 0.0, state.grade};
        last.energy = energy;
        result.trace.push_back(last);
        figures.trip_time = state.t;
        figures.distance = state.s;
        figures.source_energy = energy;
        figures.brake_applications = brakes.count;
        figures.rms_jerk = rms_jerk(result.trace);
        result.figures = figures;
        return std::move(result);
    }

    const BrakingEnvelope& guard;
    const SimRoad& road;
    const std::vector<double>& distance; // of the rows
    const std::vector<std::int32_t>& stops;
    const dynamics::DriveVehicle& vehicle;
    const dynamics::Body& body;
    Driver& driver;
    const double dt;
    const double stand_time;
    const double end;
    const double deadline;

    DriveResult result;
    Figures figures;
    BrakeCounter brakes;
    DriverState state;
    std::size_t next_stop = 0;
    bool overriding = false;
    double energy = 0.0;
};

} // namespace

DriveResult run_drive(const BrakingEnvelope& guard, const dynamics::DriveVehicle& vehicle,
                      Driver& driver, const RunSettings& settings) {
    return DriveRun(guard, vehicle, driver, settings).run();
}

} // namespace korvale::sim
