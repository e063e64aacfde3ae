#include "route_table.h"

#include <stdexcept>

#include "profile/speed_models.h"
#include "sim/profile_planner.h"

#include "tool_output.h"

namespace korvale_tool {

namespace {

// Below this allowed speed a slow point counts as a stop.
constexpr double STOP_SPEED_KMH = 10.0;

// "N lines (lines 3, 7, 12, ...)" for the lines the loader skipped.
std::string skipped_lines_text(const korvale::SkippedLines& skipped) {
    std::string text = std::to_string(skipped.count) + (skipped.count == 1 ? " line" : " lines") +
                       " that do not start with six numbers (line";
    text += skipped.count == 1 ? " " : "s ";
    for (std::size_t i = 0; i < skipped.kept(); ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(skipped.first[i]);
    }
    return text + (skipped.count > static_cast<std::int64_t>(skipped.kept()) ? ", ...)" : ")");
}

std::unique_ptr<korvale::RouteProfile> build(const std::string& path,
                                             const korvale::CoastModel& model, bool strict,
                                             korvale::ConstructionDetails* details) {
    static const korvale::sim::PredictivePlanner planner;
    // The loader alone opens the file. When it read nothing, the file's own error (missing, a
    // directory, unreadable) speaks first, as it would have before a load, and the loader's
    // lines are left out; otherwise they come before any message about the file.
    HeldLines lines;
    auto profile = std::make_unique<korvale::RouteProfile>(path.c_str(), model, details,
                                                           lines.sink(), &planner);
    const korvale::SkippedLines& skipped = details->skipped_lines;
    if (profile->row_count() <= 0 && skipped.count == 0 && profile->plan_failure().empty()) {
        require_readable(path, "route file");
    }
    lines.release();
    if (!profile->plan_failure().empty()) {
        throw std::runtime_error("route file '" + path + "': no plan: " + profile->plan_failure());
    }
    if (profile->row_count() <= 0) {
        throw std::runtime_error(
            "route file '" + path + "' has no line of six numbers" +
            (skipped.count > 0 ? ": skipped " + skipped_lines_text(skipped) : std::string()));
    }
    if (skipped.count > 0) {
        const std::string message =
            "route file '" + path + "': skipped " + skipped_lines_text(skipped);
        if (strict) {
            throw std::runtime_error(message + ", which --strict does not allow");
        }
        warn(message);
    }
    return profile;
}

} // namespace

std::unique_ptr<korvale::RouteProfile> load_route(const std::string& path,
                                                  const korvale::CoastModel& model, bool strict) {
    korvale::ConstructionDetails details;
    return build(path, model, strict, &details);
}

RouteTable load_route_table(const std::string& path, const korvale::CoastModel& model,
                            bool strict) {
    RouteTable table;
    table.profile = build(path, model, strict, &table.details);
    table.rows = table.profile->row_count();
    return table;
}

const char* slow_reason(const RouteTable& table, std::int32_t row) {
    const double allowed = table.details.allowed_speed[row];
    if (!korvale::slows_down_at(table.details.allowed_speed.data(), table.rows, row)) {
        return table.profile->coast_model().kind() == korvale::CoastModelKind::predictive ? "plan"
                                                                                          : "coast";
    }
    if (allowed < STOP_SPEED_KMH) {
        return "stop";
    }
    return table.details.comfort_speed[row] < table.profile->max_speed_column()[row] ? "curve"
                                                                                     : "limit";
}

} // namespace korvale_tool
