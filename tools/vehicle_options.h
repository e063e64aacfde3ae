// The vehicle and the speed model of a command: a preset (--vehicle car|van|truck|bus), any of
// its fields and of its drive changed by an option of its own, the powertrain and the time
// budget of the predictive model, and the model (--model
// default|parameterised|eco|predictive; eco unless --model, --coast-power or --model-switch
// says otherwise).
#pragma once

#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "profile/speed_models.h"

namespace korvale_tool {

struct VehicleChoice {
    std::string preset = "car";
    bool changed = false; // a field was given as an option
    korvale::VehicleParameters vehicle = korvale::BUILT_IN_VEHICLE;
    korvale::CoastModelKind model = korvale::CoastModelKind::eco;

    korvale::CoastModel coast_model() const { return korvale::CoastModel(model, vehicle); }
    // The model's name, as --model names it.
    const char* model_name() const { return korvale::model_name(model); }
    // "ev" or "ice", as --powertrain names it.
    const char* powertrain_name() const {
        return vehicle.powertrain == korvale::dynamics::PowertrainKind::ice ? "ice" : "ev";
    }
    // The vehicle as the model sees it: "car (<mass> kg, drag coefficient <c>, ...)", only the
    // fields the model uses; "the built-in car (...)" for the default model.
    std::string vehicle_description() const;
    // "model eco, vehicle car (...)": what a command says it used.
    std::string summary() const {
        return std::string("model ") + model_name() + ", vehicle " + vehicle_description();
    }
};

class VehicleOptions;

// Adds --vehicle, --model, --powertrain, --time-budget and one option per field to the command;
// the choice is made once the command line is parsed (choose()). A command that drives the
// vehicle (drives) uses the drive's options with any model.
std::shared_ptr<const VehicleOptions> add_vehicle_options(CLI::App* command, bool drives = false);

// The vehicle and model the parsed options give. Warns (one line) about options the chosen
// model ignores; throws std::runtime_error for a vehicle that makes no physical sense.
VehicleChoice choose(const VehicleOptions& options);

} // namespace korvale_tool
