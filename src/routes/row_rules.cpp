#include "routes/row_rules.h"

#include <cmath>

namespace korvale::routes {

std::vector<double> step_places(double length, double step) {
    std::vector<double> places;
    const auto steps = static_cast<std::size_t>(std::floor(length / step));
    places.reserve(steps + 2);
    for (std::size_t k = 0; k <= steps; ++k) {
        const double s = static_cast<double>(k) * step;
        if (length - s >= MIN_ROW_SPACING || k == 0) {
            places.push_back(s);
        }
    }
    places.push_back(length);
    return places;
}

double rows_along(double length, double step) {
    return std::floor(length / step) + 2;
}

double RouteLength::add(const RouteRow& row) {
    const Point3 here{row.x, row.y, row.z};
    total += first ? 0.0 : distance_between(last, here);
    first = false;
    last = here;
    return total;
}

WrittenRoute write_route_rows(const std::string& path, const std::vector<std::string>& comments,
                              const std::function<void(const RowSink&)>& sample) {
    RouteFileWriter writer(path, comments);
    RouteLength length;
    sample([&](const RouteRow& row) {
        length.add(row);
        writer.add(row);
    });
    writer.commit();
    return {writer.rows(), length.metres()};
}

} // namespace korvale::routes
