#include "route_table.h"

#include <stdexcept>

namespace korvale_tool {

namespace {

// Below this allowed speed a slow point counts as a stop.
constexpr double STOP_SPEED_KMH = 10.0;

std::unique_ptr<korvale::RouteProfile> build(const std::string& path,
                                             const korvale::CoastModel& model,
                                             korvale::ConstructionDetails* details) {
    auto profile = std::make_unique<korvale::RouteProfile>(path.c_str(), model, details);
    if (profile->row_count() <= 0) {
        throw std::runtime_error("cannot load route file '" + path +
                                 "': it is missing, unreadable or has no line of six numbers");
    }
    return profile;
}

} // namespace

std::unique_ptr<korvale::RouteProfile> load_route(const std::string& path,
                                                  const korvale::CoastModel& model) {
    return build(path, model, nullptr);
}

RouteTable load_route_table(const std::string& path, const korvale::CoastModel& model) {
    RouteTable table;
    table.profile = build(path, model, &table.details);
    table.rows = table.profile->row_count();
    return table;
}

const char* slow_reason(const RouteTable& table, std::int32_t row) {
    if (table.details.allowed_speed[row] < STOP_SPEED_KMH) {
        return "stop";
    }
    return table.details.comfort_speed[row] < table.profile->max_speed_column()[row] ? "curve"
                                                                                     : "limit";
}

} // namespace korvale_tool
