#include "drive_presets.h"

namespace korvale::dynamics {

namespace {

// Petrol and diesel: lower heating values and densities of EN 228 and EN 590 fuels.
constexpr double PETROL_HEATING_VALUE = 43.4e6; // J/kg
constexpr double PETROL_DENSITY = 0.745;        // kg/l
constexpr double DIESEL_HEATING_VALUE = 42.8e6; // J/kg
constexpr double DIESEL_DENSITY = 0.835;        // kg/l

// Typical values of each class, not measurements of one vehicle (docs: README, "Simulated
// drives"). Power: the engines of the class's common models (a 100 kW saloon, a 3.5 t van
// of about 100 kW, a 40 t tractor of about 330 kW, a 12 m city bus of about 220 kW); a_max: the
// brisk but ordinary acceleration of eco-driving studies, lower for heavier vehicles; b: the
// comfortable deceleration that car drivers use before stops and curves (about 2 m/s²),
// 1.5 m/s² for a laden truck and for a bus with standing passengers; e 0, as the speed models
// assume. Electric drives: battery-to-wheel efficiencies of 0.85 to 0.9 and round trips of
// recovered energy of 0.6 to 0.65, regeneration limited to about half the drive power of a car
// and less for the heavy ones, auxiliaries from a car's 300 W to a bus's climate control.
// Engines: fuel-to-wheel efficiencies at the good operating points that a sailing driver uses
// (0.36 for a petrol car, 0.40 for a truck's diesel), idle consumption as measured for each class
// (0.7 l/h for a car, 2.5 l/h for a truck).
constexpr DrivePreset PRESETS[] = {
    {"car",
     100e3,
     1.5,
     2.0,
     0.0,
     {0.88, 0.65, 50e3, 300.0},
     {0.36, 0.7, PETROL_HEATING_VALUE, PETROL_DENSITY},
     "petrol"},
    {"van",
     100e3,
     1.2,
     2.0,
     0.0,
     {0.86, 0.62, 60e3, 500.0},
     {0.35, 0.8, DIESEL_HEATING_VALUE, DIESEL_DENSITY},
     "diesel"},
    {"truck",
     330e3,
     0.6,
     1.5,
     0.0,
     {0.85, 0.60, 250e3, 3000.0},
     {0.40, 2.5, DIESEL_HEATING_VALUE, DIESEL_DENSITY},
     "diesel"},
    {"bus",
     220e3,
     1.0,
     1.5,
     0.0,
     {0.85, 0.60, 150e3, 5000.0},
     {0.36, 2.0, DIESEL_HEATING_VALUE, DIESEL_DENSITY},
     "diesel"},
};

} // namespace

const DrivePreset* drive_preset(const std::string& name) {
    for (const DrivePreset& preset : PRESETS) {
        if (name == preset.name) {
            return &preset;
        }
    }
    return nullptr;
}

} // namespace korvale::dynamics
