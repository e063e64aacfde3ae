#include "route_profile.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "../diag.h"
#include "profile_columns.h"
#include "route_loader.h"

namespace korvale {

namespace {} // namespace

RouteProfile::RouteProfile(const char* path, const VehicleParameters& parameters)
    : parameters_(parameters) {
    diag_print("=== KORVALE_DLL Library === (START)\n");
    const std::int32_t capacity = count_lines(path);
    rows_ = capacity;
    diag_print("[KORVALE_DLL] '%s' data parser has %d rows\n", printable_path(path), capacity);
    if (rows_ <= 0) {
        return;
    }
    try {
        build(path);
    } catch (const std::exception& e) {
        // Memory for the columns or the polyline ran out: the route cannot be held.
        diag_print("[KORVALE_DLL] '%s' cannot be held in memory (%s)\n", printable_path(path),
                   e.what());
        locator.reset();
        for (auto* column :
             {&distance, &recommended_speed, &coasting_speed, &x, &y, &z, &max_speed}) {
            Column().swap(*column);
        }
        rows_ = 0;
    }
    diag_print("[KORVALE_DLL] data parser finished reading '%s' it has '%d'\n",
               printable_path(path), rows_);
}

void RouteProfile::build(const char* path) {
    const auto capacity = static_cast<std::size_t>(rows_);
    // Sized from the line count but left unwritten: only the rows parsed are ever touched.
    for (auto* column : {&distance, &recommended_speed, &coasting_speed, &x, &y, &z, &max_speed}) {
        column->resize(capacity);
    }
    // Two working columns: the curve radius and the superelevation as the file gives them,
    // which hold the grade and the local minima once the comfort speed is known. The comfort
    // speed passes through the coasting column and the allowed speed through the recommended
    // column, until the backward pass writes them row by row, each row read before it is
    // written.
    Column curve_radius(capacity), superelevation(capacity);

    rows_ = parse_rows(rows_, path, x.data(), y.data(), z.data(), curve_radius.data(),
                       max_speed.data(), superelevation.data());
    if (rows_ < 0) {
        diag_print("[KORVALE_DLL] data parser FAILED reading file %s\n", printable_path(path));
    }
    if (rows_ < 1) {
        return;
    }
    double* comfort_speed = coasting_speed.data();
    double* allowed_speed = recommended_speed.data();
    compute_comfort_and_allowed(rows_, curve_radius.data(), superelevation.data(), max_speed.data(),
                                comfort_speed, allowed_speed);
    double* grade = curve_radius.data();
    double* local_minimum = superelevation.data();
    compute_distance_and_grade(rows_, x.data(), y.data(), z.data(), distance.data(), grade);
    compute_local_minima(rows_, allowed_speed, local_minimum);
    compute_coasting_and_recommended(rows_, CoastModel(parameters_), grade, distance.data(),
                                     allowed_speed, local_minimum, comfort_speed,
                                     recommended_speed.data());
    locator = std::make_unique<PolylineLocator>(x.data(), y.data(), z.data(), rows_);
}

void RouteProfile::copy_column(const Column& column, std::int32_t rows, double* destination,
                               std::int32_t count) {
    const std::int32_t n = std::max(0, std::min(count, rows));
    if (n == 0 || destination == nullptr) {
        return;
    }
    std::memcpy(destination, column.data(), static_cast<std::size_t>(n) * sizeof(double));
}

// ---------------------------------------------------------------- queries by distance

double RouteProfile::interpolate_at_distance(double s, const Column& column) const {
    return interpolate_in_segment(s, locator->index_at_distance(s), column);
}

double RouteProfile::interpolate_in_segment(double s, std::int32_t i, const Column& column) const {
    if (i >= rows_ - 1) {
        return column[rows_ - 1];
    }
    const double span = distance[i + 1] - distance[i];
    if (span == 0.0) {
        return column[i]; // a repeated route point: the interval's first row
    }
    const double slope = (column[i + 1] - column[i]) / span;
    return column[i] + slope * (s - distance[i]);
}

double RouteProfile::max_speed_at_distance(double s) const {
    return interpolate_at_distance(s, max_speed);
}

double RouteProfile::recommended_speed_at_distance(double s) const {
    return interpolate_at_distance(s, recommended_speed);
}

double RouteProfile::coasting_speed_at_distance(double s) const {
    return interpolate_at_distance(s, coasting_speed);
}

bool RouteProfile::index_and_ratio_at_distance(double s, std::int32_t* index, double* ratio) const {
    *index = locator->index_at_distance(s);
    if (*index >= 0 && *index < rows_ - 1) {
        const double span = distance[*index + 1] - distance[*index];
        *ratio = span == 0.0 ? 0.0 : (s - distance[*index]) / span;
    }
    return *index >= 0;
}

bool RouteProfile::all_at_distance(double s, double* max_out, double* recommended_out,
                                   double* coasting_out) const {
    std::int32_t middle = 0;
    double ratio = 0.0;
    if (!index_and_ratio_at_distance(s, &middle, &ratio)) {
        return false;
    }
    auto value = [&](const Column& column) {
        if (middle >= rows_ - 1) {
            return column[rows_ - 1];
        }
        return column[middle] + (column[middle + 1] - column[middle]) * ratio;
    };
    *max_out = value(max_speed);
    *recommended_out = value(recommended_speed);
    *coasting_out = value(coasting_speed);
    return true;
}

bool RouteProfile::pos_at_distance(double d, double* x_out, double* y_out, double* z_out) const {
    if (!locator) {
        return false;
    }
    const Point3 p = locator->position_at_distance(d);
    *x_out = p.x;
    *y_out = p.y;
    *z_out = p.z;
    return true;
}

// ---------------------------------------------------------------- queries by position

double RouteProfile::distance_at_position(double px, double py, double pz, bool full_search,
                                          double search_window) {
    double found = 0.0;
    locator->locate_position(Point3(px, py, pz), &found, search_window, full_search);
    return found;
}

bool RouteProfile::all_at_position(double px, double py, double pz, bool full_search,
                                   double search_window, double* distance_out, double* max_out,
                                   double* recommended_out, double* coasting_out) {
    locator->locate_position(Point3(px, py, pz), distance_out, search_window, full_search);
    const std::int32_t i = locator->get_last_lookup_segment();
    const double d0 = locator->distance_at_index(i);
    double ratio = 0.0;
    const double span = locator->distance_at_index(i + 1) - d0;
    if (span > MIN_INTERPOLATION_SPAN) {
        ratio = (*distance_out - d0) / span;
    }
    auto value = [&](const Column& column) {
        if (i + 1 >= rows_) {
            return column[i]; // a one-row route has no row after its point
        }
        return column[i] + (column[i + 1] - column[i]) * ratio;
    };
    *max_out = value(max_speed);
    *recommended_out = value(recommended_speed);
    *coasting_out = value(coasting_speed);
    return true;
}

double RouteProfile::speed_at_position(double px, double py, double pz, const Column& column) {
    const double d = distance_at_position(px, py, pz, false, DEFAULT_SEARCH_WINDOW);
    // The search has just found d on its last segment, so the index is walked to from there.
    const std::int32_t i = locator->index_at_distance_near(d, locator->get_last_lookup_segment());
    return interpolate_in_segment(d, i, column);
}

double RouteProfile::max_speed_at_position(double px, double py, double pz) {
    return speed_at_position(px, py, pz, max_speed);
}

double RouteProfile::recommended_speed_at_position(double px, double py, double pz) {
    return speed_at_position(px, py, pz, recommended_speed);
}

double RouteProfile::coasting_speed_at_position(double px, double py, double pz) {
    return speed_at_position(px, py, pz, coasting_speed);
}

} // namespace korvale
