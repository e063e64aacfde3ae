#include "vehicle_options.h"

#include <cstdio>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "dynamics/drive_vehicle.h"
#include "sim/profile_planner.h"

#include "option_checks.h"
#include "tool_output.h"

namespace korvale_tool {

namespace {

using korvale::CoastModelKind;
using korvale::VehicleParameters;

VehicleParameters preset_vehicle(const std::string& name) {
    const korvale::VehiclePreset* preset = korvale::find_preset(name.c_str());
    if (preset == nullptr) {
        throw std::runtime_error("--vehicle: no preset '" + name + "'");
    }
    return preset->vehicle;
}

std::vector<std::string> preset_names() {
    std::vector<std::string> names;
    for (const korvale::VehiclePreset& preset : korvale::VEHICLE_PRESETS) {
        names.emplace_back(preset.name);
    }
    return names;
}

std::vector<std::string> model_names() {
    return {std::begin(korvale::MODEL_NAMES), std::end(korvale::MODEL_NAMES)};
}

// Which models use a field; DRIVES: a command that drives the vehicle (simulate) uses it with
// any model.
enum Uses : unsigned {
    NONE = 0,
    PARAMETERISED = 1,
    ECO = 2,
    PREDICTIVE = 4,
    DRIVES = 8,
    BODY = PARAMETERISED | ECO | PREDICTIVE | DRIVES,
    DRIVE = PREDICTIVE | DRIVES,
};

struct Field {
    const char* option;
    const char* help;
    double* (*target)(VehicleParameters&);
    unsigned uses;
    bool selects = false; // without --model, selects a model as the eight parameters do
};

#define KORVALE_FIELD(member) [](VehicleParameters& v) { return &v.member; }
const Field FIELDS[] = {
    {"--vehicle-mass", "vehicle mass, kg", KORVALE_FIELD(vehicle_mass), BODY},
    {"--drag-coefficient", "aerodynamic drag coefficient", KORVALE_FIELD(drag_coefficient), BODY},
    {"--frontal-area", "frontal area, m^2", KORVALE_FIELD(frontal_area), BODY},
    {"--air-density", "air density, kg/m^3", KORVALE_FIELD(air_density), BODY},
    {"--rolling-resistance", "rolling-resistance coefficient", KORVALE_FIELD(rolling_resistance),
     BODY},
    {"--gravity", "gravitational acceleration, m/s^2", KORVALE_FIELD(gravity), BODY},
    {"--coast-power", "power term of the parameterised model, W; without --model, > 0 selects it",
     KORVALE_FIELD(coast_power), PARAMETERISED, true},
    {"--model-switch", "without --model, > 0 selects the parameterised model, else the default",
     KORVALE_FIELD(model_switch), NONE, true},
    {"--brake-deceleration", "eco and predictive models: braking on descents, m/s^2",
     KORVALE_FIELD(brake_deceleration), ECO | PREDICTIVE},
    {"--least-deceleration",
     "eco and predictive models: the least deceleration they plan with, "
     "m/s^2",
     KORVALE_FIELD(least_deceleration), ECO | PREDICTIVE},
    // The drive: what the predictive model plans with and simulate drives with.
    {"--max-power", "largest drive power, W", KORVALE_FIELD(drive.max_power), DRIVE},
    {"--max-acceleration", "largest net acceleration, m/s^2", KORVALE_FIELD(drive.max_acceleration),
     DRIVE},
    {"--comfortable-braking", "b: how hard the limit-following driver brakes ahead, m/s^2",
     KORVALE_FIELD(drive.comfortable_braking), DRIVE},
    {"--rotating-mass-factor", "e: the inertia is m (1 + e)",
     KORVALE_FIELD(drive.rotating_mass_factor), DRIVE},
    {"--drive-efficiency", "ev: battery to wheels", KORVALE_FIELD(drive.ev.drive_efficiency),
     DRIVE},
    {"--regen-efficiency", "ev: wheels to battery", KORVALE_FIELD(drive.ev.regen_efficiency),
     DRIVE},
    {"--regen-power", "ev: largest recovered power, W", KORVALE_FIELD(drive.ev.max_regen_power),
     DRIVE},
    {"--aux-power", "ev: power drawn all the time, W", KORVALE_FIELD(drive.ev.aux_power), DRIVE},
    {"--wheel-efficiency", "ice: fuel to wheels", KORVALE_FIELD(drive.ice.wheel_efficiency), DRIVE},
    {"--idle-fuel", "ice: idle consumption, l/h", KORVALE_FIELD(drive.ice.idle_fuel), DRIVE},
    {"--heating-value", "ice: fuel's lower heating value, J/kg",
     KORVALE_FIELD(drive.ice.heating_value), DRIVE},
    {"--fuel-density", "ice: kg/l", KORVALE_FIELD(drive.ice.fuel_density), DRIVE},
};
#undef KORVALE_FIELD
constexpr std::size_t FIELD_COUNT = sizeof FIELDS / sizeof FIELDS[0];

unsigned uses_of(CoastModelKind model) {
    switch (model) {
    case CoastModelKind::parameterised:
        return PARAMETERISED;
    case CoastModelKind::eco:
        return ECO;
    case CoastModelKind::predictive:
        return PREDICTIVE;
    case CoastModelKind::built_in:
        break;
    }
    return NONE;
}

constexpr double PERCENT = 100.0;

} // namespace

class VehicleOptions {
public:
    unsigned command_uses = NONE; // DRIVES for a command that drives the vehicle
    std::string preset = "car";
    std::string model;
    std::string powertrain = "ev";
    double time_budget = 0.0;
    double values[FIELD_COUNT] = {};
    CLI::Option* preset_option = nullptr;
    CLI::Option* model_option = nullptr;
    CLI::Option* powertrain_option = nullptr;
    CLI::Option* time_budget_option = nullptr;
    CLI::Option* field_options[FIELD_COUNT] = {};

    bool given(std::size_t field) const { return field_options[field]->count() > 0; }
};

std::shared_ptr<const VehicleOptions> add_vehicle_options(CLI::App* command, bool drives) {
    auto options = std::make_shared<VehicleOptions>();
    options->command_uses = drives ? DRIVES : NONE;
    options->time_budget = korvale::BUILT_IN_VEHICLE.time_budget * PERCENT;
    const char* group = "Vehicle";
    options->preset_option =
        command
            ->add_option("--vehicle", options->preset,
                         "vehicle preset: " + listed(preset_names()) +
                             "; its fields and its drive can be changed by the options below")
            ->check(one_of(preset_names()))
            ->capture_default_str()
            ->group(group);
    options->model_option =
        command
            ->add_option("--model", options->model,
                         "speed model: " + listed(model_names()) +
                             " (eco unless --coast-power or --model-switch is given)")
            ->check(one_of(model_names()))
            ->group(group);
    options->powertrain_option =
        command->add_option("--powertrain", options->powertrain, "ev or ice")
            ->check(one_of({"ev", "ice"}))
            ->capture_default_str()
            ->group("Drive");
    options->time_budget_option =
        command
            ->add_option("--time-budget", options->time_budget,
                         "predictive model: the trip time the plan may take beyond the "
                         "limit-following driver's, percent")
            ->check(number())
            ->capture_default_str()
            ->group("Drive");
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        options->field_options[i] =
            command->add_option(FIELDS[i].option, options->values[i], FIELDS[i].help)
                ->check(number())
                ->group(FIELDS[i].uses == DRIVE ? "Drive" : group);
    }
    return options;
}

namespace {

// The preset with the fields given as options; whether one of them selects a model.
bool apply_fields(const VehicleOptions& options, VehicleChoice& choice) {
    choice.preset = options.preset;
    choice.vehicle = preset_vehicle(options.preset);
    bool selector_given = false;
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        if (options.given(i)) {
            *FIELDS[i].target(choice.vehicle) = options.values[i];
            choice.changed = true;
            selector_given = selector_given || FIELDS[i].selects;
        }
    }
    if (options.powertrain == "ice") {
        choice.vehicle.powertrain = korvale::dynamics::PowertrainKind::ice;
    }
    choice.vehicle.time_budget = options.time_budget / PERCENT;
    return selector_given;
}

// One warning for the options that change nothing with the chosen model; the ones that selected
// it did something.
void warn_ignored(const VehicleOptions& options, const VehicleChoice& choice, bool model_given,
                  unsigned uses) {
    std::string ignored;
    const auto ignore = [&](const char* option) {
        ignored += (ignored.empty() ? "" : ", ") + std::string(option);
    };
    if (options.preset_option->count() > 0 && uses == NONE) {
        ignore("--vehicle");
    }
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        const bool selected = !model_given && FIELDS[i].selects;
        if (options.given(i) && (FIELDS[i].uses & uses) == 0 && !selected) {
            ignore(FIELDS[i].option);
        }
    }
    if (options.powertrain_option->count() > 0 && (uses & DRIVE) == 0) {
        ignore("--powertrain");
    }
    if (options.time_budget_option->count() > 0 && (uses & PREDICTIVE) == 0) {
        ignore("--time-budget");
    }
    if (!ignored.empty()) {
        warn(std::string("the ") + choice.model_name() + " model ignores " + ignored +
             (uses == NONE ? " (it coasts the built-in car whatever the vehicle)" : ""));
    }
}

// Throws when the vehicle makes no physical sense: the body first; where the drive is used, its
// values by the names of this tool's options (idle_fuel, heating_value, fuel_density: the
// library's idle_power is made of them), then what only the plan reads (comfortable braking,
// the time budget).
void require_sensible(const VehicleChoice& choice, unsigned uses) {
    std::string problem = korvale::vehicle_problem(choice.vehicle);
    if (problem.empty() && (uses & DRIVE) != 0) {
        problem = korvale::dynamics::drive_vehicle_problem(
            korvale::sim::drive_vehicle_of(choice.vehicle));
        if (problem.empty()) {
            problem = korvale::vehicle_problem(choice.vehicle, CoastModelKind::predictive);
        }
    }
    if (!problem.empty()) {
        throw std::runtime_error("vehicle refused: " + problem);
    }
}

} // namespace

VehicleChoice choose(const VehicleOptions& options) {
    VehicleChoice choice;
    const bool selector_given = apply_fields(options, choice);
    const bool model_given = options.model_option->count() > 0;
    if (!model_given) {
        choice.model = korvale::model_when_unnamed(choice.vehicle, selector_given);
    } else if (!korvale::model_named(options.model.c_str(), &choice.model)) {
        throw std::runtime_error("--model: no model '" + options.model + "'");
    }
    const unsigned uses = uses_of(choice.model) | options.command_uses;
    warn_ignored(options, choice, model_given, uses);
    require_sensible(choice, uses);
    return choice;
}

std::string VehicleChoice::vehicle_description() const {
    const VehicleParameters& v =
        model == CoastModelKind::built_in ? korvale::BUILT_IN_VEHICLE : vehicle;
    char text[512];
    int length = std::snprintf(
        text, sizeof text,
        "%s (%g kg, drag coefficient %g, frontal area %g m^2, air density %g kg/m^3, rolling "
        "resistance %g, gravity %g m/s^2",
        model == CoastModelKind::built_in ? "the built-in car"
                                          : (preset + (changed ? ", changed" : "")).c_str(),
        v.vehicle_mass, v.drag_coefficient, v.frontal_area, v.air_density, v.rolling_resistance,
        v.gravity);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof text) {
        if (model == CoastModelKind::parameterised) {
            std::snprintf(text + length, sizeof text - length, ", coast power %g W)",
                          v.coast_power);
        } else if (model == CoastModelKind::eco) {
            std::snprintf(text + length, sizeof text - length,
                          ", brake deceleration %g m/s^2, least deceleration %g m/s^2)",
                          v.brake_deceleration, v.least_deceleration);
        } else if (model == CoastModelKind::predictive) {
            std::snprintf(text + length, sizeof text - length,
                          ", brake deceleration %g m/s^2, least deceleration %g m/s^2; %s, max "
                          "power %g W, time budget %g %%)",
                          v.brake_deceleration, v.least_deceleration, powertrain_name(),
                          v.drive.max_power, v.time_budget * PERCENT);
        } else {
            std::snprintf(text + length, sizeof text - length, ")");
        }
    }
    return text;
}

} // namespace korvale_tool
