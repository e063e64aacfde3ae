#include "vehicle_options.h"

#include <cstdio>
#include <iterator>
#include <stdexcept>
#include <vector>

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

// "a, b or c".
std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return text;
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

// Which models use a field.
enum Uses : unsigned { NONE = 0, PARAMETERISED = 1, ECO = 2, BOTH = PARAMETERISED | ECO };

struct Field {
    const char* option;
    const char* help;
    double VehicleParameters::*member;
    unsigned uses;
};

const Field FIELDS[] = {
    {"--vehicle-mass", "vehicle mass, kg", &VehicleParameters::vehicle_mass, BOTH},
    {"--drag-coefficient", "aerodynamic drag coefficient", &VehicleParameters::drag_coefficient,
     BOTH},
    {"--frontal-area", "frontal area, m^2", &VehicleParameters::frontal_area, BOTH},
    {"--air-density", "air density, kg/m^3", &VehicleParameters::air_density, BOTH},
    {"--rolling-resistance", "rolling-resistance coefficient",
     &VehicleParameters::rolling_resistance, BOTH},
    {"--gravity", "gravitational acceleration, m/s^2", &VehicleParameters::gravity, BOTH},
    {"--coast-power", "power term of the parameterised model, W; without --model, > 0 selects it",
     &VehicleParameters::coast_power, PARAMETERISED},
    {"--model-switch", "without --model, > 0 selects the parameterised model, else the default",
     &VehicleParameters::model_switch, NONE},
    {"--brake-deceleration", "eco model: braking on descents, m/s^2",
     &VehicleParameters::brake_deceleration, ECO},
    {"--least-deceleration", "eco model: the least deceleration it plans with, m/s^2",
     &VehicleParameters::least_deceleration, ECO},
};
constexpr std::size_t FIELD_COUNT = sizeof FIELDS / sizeof FIELDS[0];

unsigned uses_of(CoastModelKind model) {
    switch (model) {
    case CoastModelKind::parameterised:
        return PARAMETERISED;
    case CoastModelKind::eco:
        return ECO;
    case CoastModelKind::built_in:
        break;
    }
    return NONE;
}

} // namespace

class VehicleOptions {
public:
    std::string preset = "car";
    std::string model;
    double values[FIELD_COUNT] = {};
    CLI::Option* preset_option = nullptr;
    CLI::Option* model_option = nullptr;
    CLI::Option* field_options[FIELD_COUNT] = {};

    bool given(std::size_t field) const { return field_options[field]->count() > 0; }
};

std::shared_ptr<const VehicleOptions> add_vehicle_options(CLI::App* command) {
    auto options = std::make_shared<VehicleOptions>();
    const char* group = "Vehicle";
    options->preset_option =
        command
            ->add_option("--vehicle", options->preset,
                         "vehicle preset: " + listed(preset_names()) +
                             "; its fields can be changed by the options below")
            ->check(CLI::IsMember(preset_names()))
            ->capture_default_str()
            ->group(group);
    options->model_option =
        command
            ->add_option("--model", options->model,
                         "speed model: " + listed(model_names()) +
                             " (eco unless --coast-power or --model-switch is given)")
            ->check(CLI::IsMember(model_names()))
            ->group(group);
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        options->field_options[i] =
            command->add_option(FIELDS[i].option, options->values[i], FIELDS[i].help)->group(group);
    }
    return options;
}

VehicleChoice choose(const VehicleOptions& options) {
    VehicleChoice choice;
    choice.preset = options.preset;
    choice.vehicle = preset_vehicle(options.preset);
    bool selector_given = false;
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        if (options.given(i)) {
            choice.vehicle.*FIELDS[i].member = options.values[i];
            choice.changed = true;
            selector_given = selector_given ||
                             FIELDS[i].member == &VehicleParameters::coast_power ||
                             FIELDS[i].member == &VehicleParameters::model_switch;
        }
    }
    const bool model_given = options.model_option->count() > 0;
    if (!model_given) {
        choice.model = korvale::model_when_unnamed(choice.vehicle, selector_given);
    } else if (!korvale::model_named(options.model.c_str(), &choice.model)) {
        throw std::runtime_error("--model: no model '" + options.model + "'");
    }

    // Options that change nothing with this model; the ones that selected it did something.
    std::string ignored;
    const unsigned uses = uses_of(choice.model);
    if (options.preset_option->count() > 0 && uses == NONE) {
        ignored += "--vehicle";
    }
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        const bool selected =
            !model_given && (FIELDS[i].member == &VehicleParameters::coast_power ||
                             FIELDS[i].member == &VehicleParameters::model_switch);
        if (options.given(i) && (FIELDS[i].uses & uses) == 0 && !selected) {
            ignored += (ignored.empty() ? "" : ", ") + std::string(FIELDS[i].option);
        }
    }
    if (!ignored.empty()) {
        warn(std::string("the ") + choice.model_name() + " model ignores " + ignored +
             (uses == NONE ? " (it coasts the built-in car whatever the vehicle)" : ""));
    }

    const std::string problem = korvale::vehicle_problem(choice.vehicle);
    if (!problem.empty()) {
        throw std::runtime_error("vehicle refused: " + problem);
    }
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
        } else {
            std::snprintf(text + length, sizeof text - length, ")");
        }
    }
    return text;
}

} // namespace korvale_tool
