// Route profiles built from rows written to a directory of their own, kept as long as the object.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "profile/route_profile.h"
#include "temp_dir.h"

namespace korvale_test {

class ProfilesFromRows {
public:
    // The profile of the rows with the model (the predictive one with the planner); the
    // construction's lines are swallowed.
    korvale::RouteProfile& load(const std::vector<Row>& rows, const korvale::CoastModel& model,
                                const korvale::SpeedPlanner* planner = nullptr) {
        const std::string path =
            dir.write("route" + std::to_string(profiles.size()) + ".txt", route_text(rows));
        testing::internal::CaptureStdout();
        profiles.push_back(std::make_unique<korvale::RouteProfile>(
            path.c_str(), model, nullptr, korvale::DiagSink::standard(), planner));
        testing::internal::GetCapturedStdout();
        return *profiles.back();
    }
    // With the model that the vehicle's parameters select.
    korvale::RouteProfile& load(const std::vector<Row>& rows,
                                const korvale::VehicleParameters& vehicle) {
        return load(rows, korvale::CoastModel(vehicle));
    }

private:
    TempDir dir;
    std::vector<std::unique_ptr<korvale::RouteProfile>> profiles;
};

} // namespace korvale_test
