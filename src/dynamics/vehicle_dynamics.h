// The longitudinal dynamics of a vehicle on a road: its road load, the forces a driver may ask
// for within the vehicle's limits, and the one integration step every drive uses.
#pragma once

#include <string>

namespace korvale::dynamics {

// The net deceleration no driver goes beyond (an emergency stop is no part of a drive), m/s².
constexpr double MAX_DECELERATION = 3.0;

// Below this the vehicle stands, m/s.
constexpr double STANDING_SPEED = 1e-9;

// What resists the vehicle and what it weighs: the vehicle's fields as the speed models know
// them, and the share of its mass that its rotating parts add when it speeds up.
struct Body {
    double mass = 0.0;                 // kg
    double drag_coefficient = 0.0;     // -
    double frontal_area = 0.0;         // m²
    double air_density = 0.0;          // kg/m³
    double rolling_resistance = 0.0;   // -
    double gravity = 0.0;              // m/s²
    double rotating_mass_factor = 0.0; // e: the inertia is m·(1 + e)

    double inertial_mass() const { return mass * (1.0 + rotating_mass_factor); }
    double drag_constant() const { return 0.5 * air_density * drag_coefficient * frontal_area; }
};

// What the powertrain and the driver allow: drive power and the net acceleration both ways.
struct Limits {
    double max_power = 0.0;                     // W, of the drive force
    double max_acceleration = 0.0;              // m/s², net
    double max_deceleration = MAX_DECELERATION; // m/s², net
};

struct Forces {
    double drive = 0.0; // N, at the wheels, never below 0
    double brake = 0.0; // N, never below 0
};

// Rolling resistance and the slope's pull at a grade (rise over level run), θ = atan(grade):
// m·g·(c_rr·cos θ + sin θ).
double grade_load(const Body& body, double grade);

// Everything that resists the vehicle at v (m/s): air drag and the grade load.
inline double road_load(const Body& body, double v, double grade) {
    return body.drag_constant() * v * v + grade_load(body, grade);
}

// The net acceleration that the forces give at v on the grade.
double net_acceleration(const Body& body, const Forces& forces, double v, double grade);

// The forces that give the wanted net acceleration, bounded by the limits first: a drive force
// no larger than max_power / v (none at rest) or a brake force, never both.
Forces forces_for_acceleration(const Body& body, const Limits& limits, double v, double grade,
                               double wanted);

// Forces asked for directly (no drive force when lifting off, a given brake force), brought
// within the limits: the drive power, the net acceleration, the net deceleration (by braking
// less; the road load alone may slow the vehicle more).
Forces within_limits(const Body& body, const Limits& limits, const Forces& forces, double v,
                     double grade);

// One step of dt: the forces act as they are at the step's start, v₊ = max(0, v + a·dt) and the
// distance s₊ - s = (v + v₊)/2·dt. Where the vehicle would stop within the step, the brake gives
// only the force that stops it at the step's end, so that the work of every force over the
// step's distance still balances the change of kinetic energy.
struct Step {
    double v_next = 0.0;   // m/s
    double distance = 0.0; // m
    Forces forces;         // as they acted
};
Step integrate(const Body& body, const Forces& forces, double v, double grade, double dt);

// Why a body or its limits make no sense, naming the field ("max_power 0 is not above 0"), or
// empty.
std::string body_problem(const Body& body);
std::string limits_problem(const Limits& limits);

} // namespace korvale::dynamics
