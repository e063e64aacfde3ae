// One drive along a road, from rest at its start to rest at its end, in steps of dt: a driver
// asks for an acceleration or forces, the vehicle's limits and the road's maximum speed bound
// them, the dynamics move the vehicle, and the powertrain says what it cost. Its trace and its
// figures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dynamics/drive_vehicle.h"
#include "sim/sim_road.h"

namespace korvale::sim {

struct DriverState {
    double t = 0.0;
    double s = 0.0;
    double v = 0.0; // m/s
    std::int32_t segment = 0;
    double grade = 0.0;
    double look_from = 0.0; // where the road ahead starts for it: s, or the stop it stood at
    std::int32_t stops_stood = 0;
};

struct Command {
    enum class Kind { accelerate, coast, brake };
    Kind kind = Kind::accelerate;
    double value = 0.0; // accelerate: the net acceleration wanted, m/s²; brake: the force, N
};

class Driver {
public:
    virtual ~Driver() = default;
    virtual Command command(const DriverState& state) = 0;
    // Whether the run counts the times its envelope overrides the driver (for a driver whose
    // own rule is that envelope, it is no override).
    virtual bool counts_overrides() const { return true; }
};

struct RunSettings {
    double dt = 0.1;         // s
    double stand_time = 0.0; // at each stop, s
};

// The state at a step's start, the forces over the step and what the source gave up to it.
struct TraceRow {
    double t = 0.0;
    double s = 0.0;
    double v = 0.0;
    double a = 0.0; // over the step, (v₊ - v) / dt
    double grade = 0.0;
    double drive = 0.0;        // N
    double brake = 0.0;        // N
    double wheel_power = 0.0;  // W, (drive - brake) times the step's distance over dt
    double source_power = 0.0; // battery or fuel, W
    double energy = 0.0;       // from the source before this step, J
};

struct Figures {
    double trip_time = 0.0;                // s
    double distance = 0.0;                 // m
    double wheel_work = 0.0;               // positive work at the wheels, J
    double brake_work = 0.0;               // turned into heat by the friction brakes, J
    double source_energy = 0.0;            // from the battery or of the fuel, J
    double max_deceleration = 0.0;         // m/s²
    double rms_jerk = 0.0;                 // of the speed's 1 s differences, m/s³
    std::int32_t brake_applications = 0;   // braking for 1 s or more after 1 s or more without
    double max_lateral_acceleration = 0.0; // v²/R, m/s²
    double time_above_max_speed = 0.0;     // more than 0.1 km/h above the maximum speed, s
    std::int32_t overrides = 0;            // times the envelope took over from the driver
    double override_time = 0.0;            // s

    double mean_speed() const { return trip_time > 0.0 ? distance / trip_time : 0.0; }
};

struct DriveResult {
    Figures figures;
    std::vector<TraceRow> trace;
    std::string error; // why the drive did not end at the route's end; empty when it did
};

// The drive at each whole second from its start to the first one it stands at the end, the
// speed taken linearly within the step that holds that second (as the step's constant
// acceleration gives it), the grade that step's: what the second-by-second figures and outside
// tools read, whatever the time step.
std::vector<TraceRow> each_second(const std::vector<TraceRow>& trace);

// The drive of the driver, kept below the guard's envelope (the maximum speed, braking at the
// envelope's deceleration ahead of every lower one, standing at stops and at the end).
DriveResult run_drive(const BrakingEnvelope& guard, const dynamics::DriveVehicle& vehicle,
                      Driver& driver, const RunSettings& settings);

} // namespace korvale::sim
