// The speed profile of a route, built once from a route file and a vehicle, and the queries
// along it by distance and by position.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "diag.h"
#include "geometry/polyline_locator.h"
#include "profile/column.h"
#include "profile/interpolation.h"
#include "profile/position_tracker.h"
#include "profile/profile_columns.h"
#include "profile/speed_models.h"
#include "profile/speed_planner.h"

namespace korvale {

// Window of route distance, in metres on each side of the previous result, that the speed
// queries at a position search.
constexpr double DEFAULT_SEARCH_WINDOW = 100.0;

class RouteProfile {
public:
    // Reads the route file and builds every column with the coasting model; row_count() > 0
    // means success. Prints the start and finished lines. With details, the same pass also
    // fills the columns that the profile does not keep and notes the lines it skipped. The
    // construction's lines go to sink. Never throws: a route that cannot be held in memory gives
    // no rows. The predictive model's recommended speed comes from the planner; without a plan
    // (or without a planner) the profile has no rows and plan_failure() says why.
    RouteProfile(const char* path, const CoastModel& model, ConstructionDetails* details = nullptr,
                 const DiagSink& sink = DiagSink::standard(),
                 const SpeedPlanner* planner = nullptr);
    // The model that the parameters select (model_for).
    RouteProfile(const char* path, const VehicleParameters& parameters)
        : RouteProfile(path, CoastModel(parameters)) {}

    RouteProfile(const RouteProfile&) = delete;
    RouteProfile& operator=(const RouteProfile&) = delete;

    std::int32_t row_count() const { return rows; }
    // Why the predictive model found no plan; empty when it did, and for the other models.
    const std::string& plan_failure() const { return no_plan; }
    const CoastModel& coast_model() const { return model; }
    const VehicleParameters& parameters() const { return model.vehicle(); }
    const PolylineLocator* polyline() const { return locator.get(); }
    // What the queries by position carry from call to call; none without rows.
    const PositionTracker* position_tracker() const { return tracker ? &*tracker : nullptr; }

    const Column& distance_column() const { return distance; }
    const Column& recommended_speed_column() const { return recommended_speed; }
    const Column& coasting_speed_column() const { return coasting_speed; }
    const Column& x_column() const { return x; }
    const Column& y_column() const { return y; }
    const Column& z_column() const { return z; }
    const Column& max_speed_column() const { return max_speed; }

    // Copies the first min(max(count, 0), rows) values of a column to destination.
    static void copy_column(const Column& column, std::int32_t rows, double* destination,
                            std::int32_t count);

    // --- queries by distance ---
    double interpolate_at_distance(double s, const Column& column) const;
    double max_speed_at_distance(double s) const;
    double recommended_speed_at_distance(double s) const;
    double coasting_speed_at_distance(double s) const;
    // A column at s, held at its first row's value before the first row's distance and at its
    // last row's value beyond the last (both strict), interpolated in between.
    double held_at_distance(double s, const Column& column) const;
    double recommended_speed_held_at_distance(double s) const;
    double coasting_speed_held_at_distance(double s) const;
    bool index_and_ratio_at_distance(double s, std::int32_t* index, double* ratio) const;
    bool all_at_distance(double s, double* max_out, double* recommended_out,
                         double* coasting_out) const;
    double first_distance() const { return distance[0]; }
    double total_length() const { return distance[rows - 1]; }

    // The point at a distance along the route; false (nothing written) without a locator.
    bool pos_at_distance(double d, double* x_out, double* y_out, double* z_out) const;

    // --- queries by position; each continues from the previous one on this profile ---
    double distance_at_position(double px, double py, double pz, bool full_search,
                                double search_window);
    bool all_at_position(double px, double py, double pz, bool full_search, double search_window,
                         double* distance_out, double* max_out, double* recommended_out,
                         double* coasting_out);
    double max_speed_at_position(double px, double py, double pz);
    double recommended_speed_at_position(double px, double py, double pz);
    double coasting_speed_at_position(double px, double py, double pz);
    // How far the position of the last query by position lies from the route point it was
    // mapped to, m; -1.0 before any query by position.
    double offset_from_route() const { return tracker ? tracker->last_lookup_offset() : -1.0; }

private:
    void build(const char* path, ConstructionDetails* details, const DiagSink& sink);
    void drop_rows();
    std::array<Column*, 7> kept_columns();
    // A column at the distance of a position, searched in the default window.
    double speed_at_position(double px, double py, double pz, const Column& column);

    std::unique_ptr<PolylineLocator> locator;
    std::optional<PositionTracker> tracker;
    Column distance;
    Column recommended_speed;
    Column coasting_speed;
    Column x;
    Column y;
    Column z;
    Column max_speed;
    CoastModel model;
    std::int32_t rows = 0;
    const SpeedPlanner* planner;
    std::string no_plan;
};

} // namespace korvale
