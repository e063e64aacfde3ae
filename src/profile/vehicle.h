// The vehicle behind a profile's coasting model: its parameters, the built-in car and the other
// presets, the models and their names, the rules that pick a model, and which vehicles make
// physical sense. The tool and the bindings take all of these from here (the bindings through
// the library's exports): a new field or model is added here once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dynamics/drive_preset.h"

namespace korvale {

// The eight vehicle parameters, in the order initialize_korvale takes them, then the two
// decelerations that only the eco model plans with, then the vehicle's drive, which only the
// predictive model plans with.
struct VehicleParameters {
    double drag_coefficient = 0.0;   // aerodynamic drag coefficient
    double frontal_area = 0.0;       // m²
    double air_density = 0.0;        // kg/m³
    double vehicle_mass = 0.0;       // kg
    double gravity = 0.0;            // m/s²
    double rolling_resistance = 0.0; // rolling-resistance coefficient
    double coast_power = 0.0;        // power term of the parameterised model; > 0 selects it
    double model_switch = 0.0;       // > 0 selects the parameterised model
    // The eco model: the deceleration it brakes with where coasting would speed the vehicle
    // up (a descent), and the least deceleration it ever plans with (light engine braking).
    double brake_deceleration = 1.0;  // m/s²
    double least_deceleration = 0.15; // m/s²
    // The predictive model: the powertrain it plans for, the drive's limits and both powertrains
    // (the built-in car's unless set: the presets' table sets them), and the share of trip time
    // the plan may take beyond the limit-following driver's.
    dynamics::PowertrainKind powertrain = dynamics::PowertrainKind::ev;
    dynamics::DrivePreset drive{};
    double time_budget = 0.02;
};

namespace detail {
// Petrol and diesel: lower heating values and densities of EN 228 and EN 590 fuels.
constexpr double PETROL_HEATING_VALUE = 43.4e6; // J/kg
constexpr double PETROL_DENSITY = 0.745;        // kg/l
constexpr double DIESEL_HEATING_VALUE = 42.8e6; // J/kg
constexpr double DIESEL_DENSITY = 0.835;        // kg/l

// The engines' fuel-to-wheel efficiency and idle consumption (l/h) with their fuel.
constexpr dynamics::CombustionDrive petrol(double efficiency, double idle) {
    return {efficiency, idle, PETROL_HEATING_VALUE, PETROL_DENSITY};
}
constexpr dynamics::CombustionDrive diesel(double efficiency, double idle) {
    return {efficiency, idle, DIESEL_HEATING_VALUE, DIESEL_DENSITY};
}

// The vehicle with that drive.
constexpr VehicleParameters with_drive(VehicleParameters v, const dynamics::DrivePreset& drive) {
    v.drive = drive;
    return v;
}

// What the built-in car adds for a drive (the table of presets below says where the values come
// from).
constexpr dynamics::DrivePreset CAR_DRIVE{
    100e3, 1.5, 2.0, 0.0, {0.88, 0.65, 50e3, 300.0}, petrol(0.36, 0.7), "petrol"};
} // namespace detail

// The built-in car. The built-in coasting model uses its first six values whatever the
// parameters say; it is the preset "car", korvale_default_vehicle fills it in, and the tests
// load with it. Its drive is the predictive model's default.
constexpr VehicleParameters BUILT_IN_VEHICLE =
    detail::with_drive({0.3, 2.3, 1.293, 1644.0, 9.81, 0.015, 0.0, 0.0}, detail::CAR_DRIVE);

// A vehicle preset: typical part-laden vehicles of each class, the car being the built-in one.
// Drag coefficients and frontal areas as handbooks of road-vehicle aerodynamics give them for
// each body type; rolling resistance from the middle classes of the EU tyre label (light-truck,
// truck and bus tyres); masses within the EU weight limits. Air density, gravity and the eco
// model's decelerations are the built-in car's. (README: "The eco model and the vehicle
// presets".) Each also carries what it adds for a drive (the comment above the table).
struct VehiclePreset {
    const char* name;
    VehicleParameters vehicle;   // with its drive
    dynamics::DrivePreset drive; // the same as vehicle.drive, for the drives that take it alone
};

namespace detail {
// The built-in car with another mass (kg), drag coefficient, frontal area (m²) and rolling
// resistance.
constexpr VehicleParameters preset(double mass, double drag, double area, double rolling) {
    VehicleParameters v = BUILT_IN_VEHICLE;
    v.vehicle_mass = mass;
    v.drag_coefficient = drag;
    v.frontal_area = area;
    v.rolling_resistance = rolling;
    return v;
}

// A row of the table: the vehicle carries its drive.
constexpr VehiclePreset row(const char* name, const VehicleParameters& vehicle,
                            const dynamics::DrivePreset& drive) {
    return {name, with_drive(vehicle, drive), drive};
}
} // namespace detail

// What each preset adds for a drive (the last part of each row below): typical values of each
// class, not measurements of one vehicle (README, "Simulated drives"). Power: the engines of the
// class's common models (a 100 kW saloon, a 3.5 t van of about 100 kW, a 40 t tractor of about 330
// kW, a 12 m city bus of about 220 kW); a_max: the brisk but ordinary acceleration of eco-driving
// studies, lower for heavier vehicles; b: the comfortable deceleration that car drivers use before
// stops and curves (about 2 m/s²), 1.5 m/s² for a laden truck and for a bus with standing
// passengers; e 0, as the speed models assume. Electric drives: battery-to-wheel efficiencies of
// 0.85 to 0.9 and round trips of recovered energy of 0.6 to 0.65, regeneration limited to about
// half the drive power of a car and less for the heavy ones, auxiliaries from a car's 300 W to a
// bus's climate control. Engines: fuel-to-wheel efficiencies at the good operating points that a
// sailing driver uses (0.36 for a petrol car, 0.40 for a truck's diesel), idle consumption as
// measured for each class (0.7 l/h for a car, 2.5 l/h for a truck).
constexpr VehiclePreset VEHICLE_PRESETS[] = {
    // name, fields; P_max (W), a_max, b (m/s²), e; ev: η_drive, η_regen, P_regen_max (W),
    // P_aux (W); ice: η_w, idle (l/h)
    detail::row("car", BUILT_IN_VEHICLE, detail::CAR_DRIVE),
    detail::row(
        "van", detail::preset(2800.0, 0.37, 4.4, 0.009),
        {100e3, 1.2, 2.0, 0.0, {0.86, 0.62, 60e3, 500.0}, detail::diesel(0.35, 0.8), "diesel"}),
    detail::row(
        "truck", detail::preset(30000.0, 0.6, 10.0, 0.006),
        {330e3, 0.6, 1.5, 0.0, {0.85, 0.60, 250e3, 3000.0}, detail::diesel(0.40, 2.5), "diesel"}),
    detail::row(
        "bus", detail::preset(14000.0, 0.65, 8.0, 0.007),
        {220e3, 1.0, 1.5, 0.0, {0.85, 0.60, 150e3, 5000.0}, detail::diesel(0.36, 2.0), "diesel"}),
};
constexpr std::size_t VEHICLE_PRESET_COUNT = sizeof VEHICLE_PRESETS / sizeof VEHICLE_PRESETS[0];

// The preset of that name, or null.
const VehiclePreset* find_preset(const char* name);

// The coasting models a profile can be built with; their values are the model numbers of the
// exports (KORVALE_MODEL_DEFAULT, _PARAMETERISED, _ECO, _PREDICTIVE).
enum class CoastModelKind : std::int32_t {
    built_in = 0,      // the exact coasting solution for the built-in car
    parameterised = 1, // constant deceleration over a segment, from the eight parameters
    eco = 2,           // coasting, gentle braking on descents, a least deceleration; no held rules
    predictive = 3,    // the planned drive of the vehicle's drive; coasting by the eco rule
};

// The models' names by number: "default", "parameterised", "eco", "predictive".
constexpr const char* MODEL_NAMES[] = {"default", "parameterised", "eco", "predictive"};
constexpr std::int32_t MODEL_COUNT = sizeof MODEL_NAMES / sizeof MODEL_NAMES[0];

// The name of a model.
constexpr const char* model_name(CoastModelKind model) {
    return MODEL_NAMES[static_cast<std::int32_t>(model)];
}

// The model of that name; false for any other name (and null).
bool model_named(const char* name, CoastModelKind* model);

// The model that a set of parameters selects: the built-in one when coast_power and model_switch
// are both 0 or below, else the parameterised one (so a NaN in either selects it). The eco model
// is only ever chosen by name.
constexpr CoastModelKind model_for(const VehicleParameters& p) {
    return p.coast_power <= 0 && p.model_switch <= 0 ? CoastModelKind::built_in
                                                     : CoastModelKind::parameterised;
}

// The model of a vehicle for which no model was named: eco, unless coast_power or model_switch
// was given, which selects the model as the eight parameters do (model_for).
constexpr CoastModelKind model_when_unnamed(const VehicleParameters& p, bool selector_given) {
    return selector_given ? model_for(p) : CoastModelKind::eco;
}

// Why a vehicle makes no physical sense for the model, naming the first field at fault
// ("vehicle_mass -5 is not above 0"), written into text (size bytes, cut to fit); false when it
// is fine (text then empty): mass, frontal area and gravity above 0; drag, rolling resistance,
// air density and the least deceleration not below 0; the brake deceleration above 0; every
// value a finite number. For the predictive model the drive too, by the names of korvale_vehicle:
// max_power, max_acceleration and max_regen_power above 0, comfortable_braking in (0, 3] (no
// drive brakes harder), rotating_mass_factor, aux_power, idle_power and time_budget not below 0,
// drive_efficiency, regen_efficiency and engine_efficiency in (0, 1]. model_switch is not looked
// at: it only selects a model. Allocates nothing.
bool vehicle_problem(const VehicleParameters& p, char* text, std::size_t size,
                     CoastModelKind model = CoastModelKind::eco);

// The same as a string, empty when the vehicle is fine.
std::string vehicle_problem(const VehicleParameters& p, CoastModelKind model = CoastModelKind::eco);

// The fuel power of an engine idling, W, and the idle consumption (l/h) of its fuel for one: the
// C API gives the power, the drives take the consumption.
double idle_power(const dynamics::CombustionDrive& engine);
void set_idle_power(dynamics::CombustionDrive* engine, double watts);

} // namespace korvale
