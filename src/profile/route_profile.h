// The speed profile of a route, built once from a route file and the vehicle parameters, and
// the queries along it by distance and by position.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "../geometry/polyline_locator.h"
#include "column.h"
#include "speed_models.h"

namespace korvale {

// Window of route distance, in metres on each side of the previous result, that the speed
// queries at a position search.
constexpr double DEFAULT_SEARCH_WINDOW = 100.0;
// A query by position interpolates between two rows only when they are farther apart than this.
constexpr double MIN_INTERPOLATION_SPAN = 1e-4;

class RouteProfile {
public:
    // Reads the route file and builds every column; rows() > 0 means success. Prints the start
    // and finished lines. Never throws: a route that cannot be held in memory gives no rows.
    RouteProfile(const char* path, const VehicleParameters& parameters);

    RouteProfile(const RouteProfile&) = delete;
    RouteProfile& operator=(const RouteProfile&) = delete;

    std::int32_t rows() const { return rows_; }
    const VehicleParameters& parameters() const { return parameters_; }
    const PolylineLocator* polyline() const { return locator.get(); }

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
    bool index_and_ratio_at_distance(double s, std::int32_t* index, double* ratio) const;
    bool all_at_distance(double s, double* max_out, double* recommended_out,
                         double* coasting_out) const;
    double first_distance() const { return distance[0]; }
    double total_length() const { return distance[rows_ - 1]; }
    double first_recommended_speed() const { return recommended_speed[0]; }
    double last_recommended_speed() const { return recommended_speed[rows_ - 1]; }
    double first_coasting_speed() const { return coasting_speed[0]; }
    double last_coasting_speed() const { return coasting_speed[rows_ - 1]; }

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
    double offset_from_route() const { return locator ? locator->last_lookup_offset() : -1.0; }

private:
    void build(const char* path);
    // Interpolation of a column at s in the rows of segment i, which index_at_distance(s) gave.
    double interpolate_in_segment(double s, std::int32_t i, const Column& column) const;
    // A speed column at the distance of a position, searched in the default window.
    double speed_at_position(double px, double py, double pz, const Column& column);

    std::unique_ptr<PolylineLocator> locator;
    Column distance;
    Column recommended_speed;
    Column coasting_speed;
    Column x;
    Column y;
    Column z;
    Column max_speed;
    VehicleParameters parameters_;
    std::int32_t rows_ = 0;
};

} // namespace korvale
