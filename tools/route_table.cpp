#include "route_table.h"

#include <stdexcept>

#include "profile/profile_columns.h"
#include "profile/route_loader.h"

namespace korvale_tool {

namespace {

// Below this allowed speed a slow point counts as a stop.
constexpr double STOP_SPEED_KMH = 10.0;

} // namespace

std::unique_ptr<korvale::RouteProfile> load_route(const std::string& path,
                                                  const korvale::VehicleParameters& vehicle) {
    auto profile = std::make_unique<korvale::RouteProfile>(path.c_str(), vehicle);
    if (profile->row_count() <= 0) {
        throw std::runtime_error("cannot load route file '" + path +
                                 "': it is missing, unreadable or has no line of six numbers");
    }
    return profile;
}

RouteTable load_route_table(const std::string& path, const korvale::VehicleParameters& vehicle) {
    RouteTable table;
    table.profile = load_route(path, vehicle);
    const std::int32_t capacity = korvale::count_lines(path.c_str());
    if (capacity <= 0) {
        throw std::runtime_error("route file '" + path + "' changed while it was read");
    }
    const auto n = static_cast<std::size_t>(capacity);
    std::vector<double> x(n), y(n), z(n), limit(n);
    table.radius.resize(n);
    table.superelevation.resize(n);
    table.rows =
        korvale::parse_rows(capacity, path.c_str(), x.data(), y.data(), z.data(),
                            table.radius.data(), limit.data(), table.superelevation.data());
    if (table.rows != table.profile->row_count()) {
        throw std::runtime_error("route file '" + path + "' changed while it was read");
    }
    std::vector<double> distance(n);
    table.grade.resize(n);
    table.comfort.resize(n);
    table.allowed.resize(n);
    korvale::compute_distance_and_grade(table.rows, x.data(), y.data(), z.data(), distance.data(),
                                        table.grade.data());
    korvale::compute_comfort_and_allowed(table.rows, table.radius.data(),
                                         table.superelevation.data(), limit.data(),
                                         table.comfort.data(), table.allowed.data());
    return table;
}

const char* slow_reason(const RouteTable& table, std::int32_t row) {
    if (table.allowed[row] < STOP_SPEED_KMH) {
        return "stop";
    }
    return table.comfort[row] < table.profile->max_speed_column()[row] ? "curve" : "limit";
}

} // namespace korvale_tool
