#include "dynamics/vehicle_dynamics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korvale::dynamics {

double grade_load(const Body& body, double grade) {
    const double theta = std::atan(grade);
    return body.mass * body.gravity * (body.rolling_resistance * std::cos(theta) + std::sin(theta));
}

double net_acceleration(const Body& body, const Forces& forces, double v, double grade) {
    return (forces.drive - forces.brake - road_load(body, v, grade)) / body.inertial_mass();
}

Forces forces_for_acceleration(const Body& body, const Limits& limits, double v, double grade,
                               double wanted) {
    const double a = std::clamp(wanted, -limits.max_deceleration, limits.max_acceleration);
    const double needed = body.inertial_mass() * a + road_load(body, v, grade);
    Forces forces;
    if (needed > 0.0) {
        forces.drive = v > 0.0 ? std::min(needed, limits.max_power / v) : needed;
    } else {
        forces.brake = -needed;
    }
    return forces;
}

Forces within_limits(const Body& body, const Limits& limits, const Forces& forces, double v,
                     double grade) {
    Forces out{std::max(forces.drive, 0.0), std::max(forces.brake, 0.0)};
    if (v > 0.0) {
        out.drive = std::min(out.drive, limits.max_power / v);
    }
    const double load = road_load(body, v, grade);
    const double mass = body.inertial_mass();
    const double a = (out.drive - out.brake - load) / mass;
    if (a > limits.max_acceleration && out.drive > 0.0) {
        out.drive = std::max(0.0, out.drive - (a - limits.max_acceleration) * mass);
    } else if (a < -limits.max_deceleration && out.brake > 0.0) {
        out.brake = std::max(0.0, out.brake - (-limits.max_deceleration - a) * mass);
    }
    return out;
}

Step integrate(const Body& body, const Forces& forces, double v, double grade, double dt) {
    Step step;
    step.forces = forces;
    const double a = net_acceleration(body, forces, v, grade);
    step.v_next = v + a * dt;
    // (a step that brakes to the speed's own size stops; rounding must not leave it creeping)
    if (step.v_next < STANDING_SPEED) {
        step.v_next = 0.0;
        // The brake holds back only what stops the vehicle at the step's end (a = -v/dt).
        if (forces.brake > 0.0) {
            const double excess = (-v / dt - a) * body.inertial_mass();
            step.forces.brake = std::max(0.0, forces.brake - excess);
        }
    }
    step.distance = (v + step.v_next) / 2.0 * dt;
    return step;
}

namespace {

std::string not_above_zero(const char* field, double value) {
    char text[128];
    std::snprintf(text, sizeof text, "%s %g is not above 0", field, value);
    return text;
}

std::string below_zero(const char* field, double value) {
    char text[128];
    std::snprintf(text, sizeof text, "%s %g is below 0", field, value);
    return text;
}

} // namespace

std::string body_problem(const Body& body) {
    if (!(body.mass > 0.0) || !std::isfinite(body.mass)) {
        return not_above_zero("vehicle_mass", body.mass);
    }
    if (!(body.gravity > 0.0) || !std::isfinite(body.gravity)) {
        return not_above_zero("gravity", body.gravity);
    }
    if (!(body.rotating_mass_factor >= 0.0) || !std::isfinite(body.rotating_mass_factor)) {
        return below_zero("rotating_mass_factor", body.rotating_mass_factor);
    }
    return "";
}

std::string limits_problem(const Limits& limits) {
    if (!(limits.max_power > 0.0) || !std::isfinite(limits.max_power)) {
        return not_above_zero("max_power", limits.max_power);
    }
    if (!(limits.max_acceleration > 0.0) || !std::isfinite(limits.max_acceleration)) {
        return not_above_zero("max_acceleration", limits.max_acceleration);
    }
    if (!(limits.max_deceleration > 0.0) || !std::isfinite(limits.max_deceleration)) {
        return not_above_zero("max_deceleration", limits.max_deceleration);
    }
    return "";
}

} // namespace korvale::dynamics
