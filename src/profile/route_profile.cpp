#include "profile/route_profile.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "diag.h"
#include "profile/route_loader.h"

namespace korvale {

RouteProfile::RouteProfile(const char* path, const CoastModel& coast_model,
                           ConstructionDetails* details, const DiagSink& sink,
                           const SpeedPlanner* speed_planner)
    : model(coast_model), planner(speed_planner) {
    diag_print(sink, "=== KORVALE_DLL Library === (START)\n");
    const std::int32_t capacity = count_lines(path, sink);
    rows = capacity;
    diag_print(sink, "[KORVALE_DLL] '%s' data parser has %d rows\n", printable_path(path),
               capacity);
    if (rows <= 0) {
        return;
    }
    try {
        build(path, details, sink);
    } catch (const PlanFailure& e) {
        drop_rows();
        try {
            no_plan = e.what();
        } catch (...) {
            no_plan.clear(); // (the reason's copy did not fit: the load still fails)
        }
        if (no_plan.empty()) {
            no_plan = "no plan";
        }
    } catch (const std::exception& e) {
        // Memory for the columns or the polyline ran out: the route cannot be held.
        diag_print(sink, "[KORVALE_DLL] '%s' cannot be held in memory (%s)\n", printable_path(path),
                   e.what());
        drop_rows();
    }
    diag_print(sink, "[KORVALE_DLL] data parser finished reading '%s' it has '%d'\n",
               printable_path(path), rows);
}

void RouteProfile::drop_rows() {
    tracker.reset();
    locator.reset();
    for (Column* column : kept_columns()) {
        Column().swap(*column);
    }
    rows = 0;
}

std::array<Column*, 7> RouteProfile::kept_columns() {
    return {&distance, &recommended_speed, &coasting_speed, &x, &y, &z, &max_speed};
}

void RouteProfile::build(const char* path, ConstructionDetails* details, const DiagSink& sink) {
    const auto capacity = static_cast<std::size_t>(rows);
    // Sized from the line count but left unwritten: only the rows parsed are ever touched.
    for (Column* column : kept_columns()) {
        column->resize(capacity);
    }
    // A profile keeps two working columns of its own and lets the others share arrays (see
    // WorkingColumns); a caller that wants them all gets a table of its own for each.
    Column curve_radius;
    Column superelevation;
    Column grade; // the predictive model's: it plans from the radius and the grade at once
    WorkingColumns work{};
    if (details != nullptr) {
        work = details->working_columns(capacity);
    } else {
        curve_radius.resize(capacity);
        superelevation.resize(capacity);
        double* grade_array = curve_radius.data();
        if (model.kind() == CoastModelKind::predictive) {
            grade.resize(capacity);
            grade_array = grade.data();
        }
        work = {curve_radius.data(),   superelevation.data(),    grade_array,
                coasting_speed.data(), recommended_speed.data(), superelevation.data()};
    }

    rows = parse_rows(rows, path, x.data(), y.data(), z.data(), work.curve_radius, max_speed.data(),
                      work.superelevation, sink,
                      details != nullptr ? &details->skipped_lines : nullptr);
    if (rows < 0) {
        diag_print(sink, "[KORVALE_DLL] data parser FAILED reading file %s\n",
                   printable_path(path));
    }
    if (rows < 1) {
        return;
    }
    // The polyline computes the route's cumulative distances once; the column is a copy.
    locator = std::make_unique<PolylineLocator>(x.data(), y.data(), z.data(), rows);
    std::copy_n(locator->get_distances().data(), rows, distance.data());
    compute_profile_columns(rows, model, x.data(), y.data(), z.data(), max_speed.data(),
                            distance.data(), work, coasting_speed.data(), recommended_speed.data(),
                            planner);
    tracker.emplace(*locator);
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
    return interpolate_by_slope(column.data(), distance.data(), rows, locator->index_at_distance(s),
                                s);
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

double RouteProfile::held_at_distance(double s, const Column& column) const {
    if (first_distance() > s) {
        return column[0];
    }
    if (s > total_length()) {
        return column[rows - 1];
    }
    return interpolate_at_distance(s, column);
}

double RouteProfile::recommended_speed_held_at_distance(double s) const {
    return held_at_distance(s, recommended_speed);
}

double RouteProfile::coasting_speed_held_at_distance(double s) const {
    return held_at_distance(s, coasting_speed);
}

bool RouteProfile::index_and_ratio_at_distance(double s, std::int32_t* index, double* ratio) const {
    *index = locator->index_at_distance(s);
    if (*index >= 0 && *index < rows - 1) {
        *ratio = interval_ratio(s, distance[*index], distance[*index + 1], ShortSpan::zero);
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
    *max_out = interpolate_by_ratio(max_speed.data(), rows, middle, ratio);
    *recommended_out = interpolate_by_ratio(recommended_speed.data(), rows, middle, ratio);
    *coasting_out = interpolate_by_ratio(coasting_speed.data(), rows, middle, ratio);
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
    tracker->locate_position(Point3(px, py, pz), &found, search_window, full_search);
    return found;
}

bool RouteProfile::all_at_position(double px, double py, double pz, bool full_search,
                                   double search_window, double* distance_out, double* max_out,
                                   double* recommended_out, double* coasting_out) {
    tracker->locate_position(Point3(px, py, pz), distance_out, search_window, full_search);
    // The row pair is the search's segment, the ratio from the locator's own distances.
    const std::int32_t i = tracker->get_last_lookup_segment();
    const double ratio = interval_ratio(*distance_out, locator->distance_at_index(i),
                                        locator->distance_at_index(i + 1), ShortSpan::position);
    *max_out = interpolate_by_ratio(max_speed.data(), rows, i, ratio);
    *recommended_out = interpolate_by_ratio(recommended_speed.data(), rows, i, ratio);
    *coasting_out = interpolate_by_ratio(coasting_speed.data(), rows, i, ratio);
    return true;
}

double RouteProfile::speed_at_position(double px, double py, double pz, const Column& column) {
    const double d = distance_at_position(px, py, pz, false, DEFAULT_SEARCH_WINDOW);
    // The search has just found d on its last segment, so the index is walked to from there.
    const std::int32_t i = locator->index_at_distance_near(d, tracker->get_last_lookup_segment());
    return interpolate_by_slope(column.data(), distance.data(), rows, i, d);
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
