#include "routes/gps/gps_route.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "routes/gps/track_smoother.h"
#include "routes/route_error.h"
#include "routes/source_text.h"
#include "text/csv.h"
#include "text/text.h"

namespace korvale::routes {

using text::quoted;
using text::read_number;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double MAX_SUPERELEVATION = 1.0;
constexpr const char* ORIGIN_WORD = "origin";

std::string exact_number(double value) {
    char text[MAX_NUMBER_CHARS];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string count_text(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

struct CleanFixes {
    std::vector<GpsFix> fixes;
    std::vector<TrackPoint> points;
    std::size_t repeated = 0;
    std::size_t outliers = 0;
};

double planar_distance(const TrackPoint& a, const TrackPoint& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Repeated points (the position of the fix kept before them) and outliers (see OUTLIER_DETOUR)
// left out; the others in the local frame.
CleanFixes clean(const GpsTrack& track, const LocalFrame& frame, bool heights) {
    std::vector<GpsFix> distinct;
    CleanFixes out;
    for (const GpsFix& fix : track.fixes) {
        if (!distinct.empty() && fix.latitude == distinct.back().latitude &&
            fix.longitude == distinct.back().longitude) {
            ++out.repeated;
            continue;
        }
        distinct.push_back(fix);
    }
    std::vector<TrackPoint> points;
    points.reserve(distinct.size());
    for (const GpsFix& fix : distinct) {
        const LocalPoint p = frame.forward(
            {fix.latitude, fix.longitude, heights ? fix.elevation : frame.origin().height});
        points.push_back({p.x, p.y, p.z});
    }
    for (std::size_t i = 0; i < distinct.size(); ++i) {
        if (!out.points.empty() && i + 1 < distinct.size()) {
            const TrackPoint& before = out.points.back();
            const double way =
                planar_distance(before, points[i]) + planar_distance(points[i], points[i + 1]);
            const double direct = planar_distance(before, points[i + 1]);
            if (way - direct >= OUTLIER_DETOUR && way >= 2 * direct) {
                ++out.outliers;
                continue;
            }
        }
        out.fixes.push_back(distinct[i]);
        out.points.push_back(points[i]);
    }
    return out;
}

// The limit from the list at a distance; NaN before its first entry.
double listed_limit(const std::vector<LimitChange>& limits, double distance) {
    const auto after =
        std::upper_bound(limits.begin(), limits.end(), distance,
                         [](double d, const LimitChange& change) { return d < change.distance; });
    return after == limits.begin() ? NaN : std::prev(after)->kmh;
}

// The value at arc length s of a column given at the knots, whose arc lengths rise.
struct KnotPlace {
    std::size_t j;
    double t;
};

KnotPlace place_on(const std::vector<double>& arc, double s) {
    const auto after = std::upper_bound(arc.begin(), arc.end(), s);
    std::size_t j = after == arc.begin() ? 0 : static_cast<std::size_t>(after - arc.begin()) - 1;
    j = std::min(j, arc.size() - 2);
    const double span = arc[j + 1] - arc[j];
    const double t = span > 0 ? std::clamp((s - arc[j]) / span, 0.0, 1.0) : 0.0;
    return {j, t};
}

double at_place(const std::vector<double>& column, const KnotPlace& p) {
    return column[p.j] + p.t * (column[p.j + 1] - column[p.j]);
}

std::vector<std::string> comments_for(const GpsTrack& track, const GpsRouteOptions& options,
                                      const GpsRouteReport& report, const SmoothedLine& line) {
    std::vector<std::string> sources;
    if (!options.limits.empty()) {
        sources.push_back("the list '" + options.limits_name + "'");
    }
    if (std::any_of(track.fixes.begin(), track.fixes.end(),
                    [](const GpsFix& fix) { return !std::isnan(fix.maxspeed); })) {
        sources.push_back("the track's maxspeed");
    }
    if (gives_limit(options.default_limit_kmh)) {
        sources.push_back(number_text(options.default_limit_kmh) + " km/h");
    }
    std::string limits = "limits from";
    for (std::size_t i = 0; i < sources.size(); ++i) {
        limits += (i == 0 ? " " : ", then ") + sources[i];
    }
    const auto [narrowest, widest] =
        std::minmax_element(line.bandwidth.begin(), line.bandwidth.end());
    return {
        origin_comment(report.origin),
        "korvale route from the GPS track '" + track.name + "' (" + track.format +
            "): " + count_text(report.fixes, "fix", "fixes") + ", " +
            count_text(report.repeated, "repeated point", "repeated points") + " and " +
            count_text(report.outliers, "outlier", "outliers") + " dropped",
        "smoothing: noise " + number_text(std::round(report.horizontal_noise * 100) / 100) +
            " m across, " +
            (options.flat || !track.has_elevation
                 ? std::string("no heights")
                 : number_text(std::round(report.vertical_noise * 100) / 100) + " m in height") +
            "; bandwidth " + number_text(std::round(*narrowest)) + " to " +
            number_text(std::round(*widest)) + " m",
        "step: " + number_text(options.step) + " m; superelevation " +
            number_text(options.superelevation) + " on curves",
        limits,
        "x y z curve_radius speed_limit superelevation"};
}

} // namespace

std::string origin_comment(const GeoPoint& origin) {
    return std::string(ORIGIN_WORD) + " " + exact_number(origin.latitude) + " " +
           exact_number(origin.longitude) + " " + exact_number(origin.height);
}

std::optional<GeoPoint> parse_origin_comment(const std::string& line) {
    std::size_t at = line.find_first_not_of("# \t");
    const std::size_t word = std::strlen(ORIGIN_WORD);
    if (at == std::string::npos || line.compare(at, word, ORIGIN_WORD) != 0) {
        return std::nullopt;
    }
    at += word;
    double values[3] = {0, 0, 0};
    for (double& value : values) {
        const std::size_t first = line.find_first_not_of(" \t", at);
        if (first == std::string::npos || first == at) {
            return std::nullopt;
        }
        std::size_t last = line.find_first_of(" \t\r", first);
        last = last == std::string::npos ? line.size() : last;
        if (!read_number(line.data() + first, line.data() + last, &value)) {
            return std::nullopt;
        }
        at = last;
    }
    return GeoPoint{values[0], values[1], values[2]};
}

std::vector<LimitChange> parse_limits(const char* data, std::size_t size, const std::string& name) {
    std::vector<LimitChange> limits;
    text::ContentLines lines(text::without_byte_order_mark(std::string_view(data, size)));
    std::string_view line;
    bool first_line = true;
    while (lines.next(&line)) {
        const std::size_t number = lines.number();
        const std::size_t comma = line.find(',');
        LimitChange change;
        const bool read =
            comma != std::string::npos &&
            read_number(line.data(), line.data() + comma, &change.distance) &&
            read_number(line.data() + comma + 1, line.data() + line.size(), &change.kmh);
        const bool was_first = first_line;
        first_line = false;
        if (!read) {
            if (was_first) {
                continue; // a header
            }
            throw RouteError("the limits '" + name + "' line " + std::to_string(number) +
                             ": expected distance_m,limit_kmh, not " + quoted(line));
        }
        if (!(change.kmh > 0)) {
            throw RouteError("the limits '" + name + "' line " + std::to_string(number) +
                             ": the limit " + number_text(change.kmh) + " km/h is not above 0");
        }
        if (!limits.empty() && !(change.distance > limits.back().distance)) {
            throw RouteError("the limits '" + name + "' line " + std::to_string(number) +
                             ": the distance " + number_text(change.distance) +
                             " m does not increase");
        }
        limits.push_back(change);
    }
    if (limits.empty()) {
        throw RouteError("the limits '" + name + "' hold no distance_m,limit_kmh line");
    }
    return limits;
}

std::vector<LimitChange> read_limits_file(const std::string& path) {
    const std::string data = read_source_file(path, "limits");
    return parse_limits(data.data(), data.size(), path);
}

namespace {

// Throws RouteError for options out of range, a track without fixes, or fixes of which only
// some have heights (unless the route is flat).
void check_track_and_options(const GpsTrack& track, const GpsRouteOptions& options) {
    check_step(options.step);
    if (!(std::fabs(options.superelevation) <= MAX_SUPERELEVATION)) {
        throw RouteError("the superelevation " + number_text(options.superelevation) +
                         " is outside -1 to 1");
    }
    if (track.fixes.empty()) {
        throw RouteError("the track '" + track.name + "' holds no fixes");
    }
    if (!track.has_elevation && !options.flat) {
        const auto with = static_cast<std::size_t>(
            std::count_if(track.fixes.begin(), track.fixes.end(),
                          [](const GpsFix& fix) { return !std::isnan(fix.elevation); }));
        if (with > 0) {
            throw RouteError("the track '" + track.name + "': " + std::to_string(with) + " of " +
                             std::to_string(track.fixes.size()) +
                             " fixes have a height; build it flat (--flat) or give every fix one");
        }
    }
}

// The fixes' maxspeed by their place along the line.
std::vector<std::pair<double, double>> maxspeed_by_place(const CleanFixes& cleaned,
                                                         const SmoothedLine& line) {
    std::vector<std::pair<double, double>> maxspeed;
    for (std::size_t i = 0; i < cleaned.fixes.size(); ++i) {
        maxspeed.emplace_back(line.fix_arc[i], cleaned.fixes[i].maxspeed);
    }
    std::stable_sort(maxspeed.begin(), maxspeed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return maxspeed;
}

// The maxspeed of the fix nearest to s along the line (the earlier of two as near).
double nearest_maxspeed(const std::vector<std::pair<double, double>>& maxspeed, double s) {
    const auto after = std::lower_bound(maxspeed.begin(), maxspeed.end(), s,
                                        [](const auto& p, double v) { return p.first < v; });
    if (after == maxspeed.begin()) {
        return after->second;
    }
    if (after == maxspeed.end() || s - std::prev(after)->first <= after->first - s) {
        return std::prev(after)->second;
    }
    return after->second;
}

} // namespace

TrackRoute::TrackRoute(const GpsTrack& track, const GpsRouteOptions& options)
    : track(track), options(options) {
    check_track_and_options(track, options);
    const bool heights = track.has_elevation && !options.flat;
    summary.fixes = track.fixes.size();
    const GpsFix& first = track.fixes.front();
    summary.origin =
        options.origin ? *options.origin
                       : GeoPoint{first.latitude, first.longitude, heights ? first.elevation : 0.0};
    const LocalFrame frame(summary.origin);
    const CleanFixes cleaned = clean(track, frame, heights);
    summary.repeated = cleaned.repeated;
    summary.outliers = cleaned.outliers;
    if (cleaned.points.size() < MIN_TRACK_FIXES) {
        throw RouteError("the track '" + track.name + "' has " +
                         count_text(cleaned.points.size(), "distinct fix", "distinct fixes") +
                         "; a route needs at least " + std::to_string(MIN_TRACK_FIXES));
    }
    // Refused before the smoothing when even half the rough length makes too many rows.
    check_row_count(rows_along(0.5 * rough_length(cleaned.points), options.step), options.max_rows);
    SmoothingOptions smoothing;
    smoothing.with_height = heights;
    line = smooth_track(cleaned.points, smoothing);
    summary.horizontal_noise = line.horizontal_noise;
    summary.vertical_noise = line.vertical_noise;
    check_row_count(rows_along(line.arc.back(), options.step), options.max_rows);
    maxspeed = maxspeed_by_place(cleaned, line);
}

std::vector<std::string> TrackRoute::comments() const {
    return comments_for(track, options, summary, line);
}

double TrackRoute::limit_at(double s, double distance) const {
    double limit = listed_limit(options.limits, distance);
    if (std::isnan(limit)) {
        limit = nearest_maxspeed(maxspeed, s);
    }
    limit = limit_or_fallback(limit, options.default_limit_kmh);
    if (std::isnan(limit)) {
        throw RouteError("no speed limit " + number_text(std::round(distance * 10) / 10) +
                         " m along the route from the track '" + track.name +
                         "'; give a limit (--limit), a list of limits or maxspeed");
    }
    return limit;
}

void TrackRoute::sample(const RowSink& sink) const {
    RouteLength length;
    for (const double s : step_places(line.arc.back(), options.step)) {
        const KnotPlace p = place_on(line.arc, s);
        RouteRow row;
        row.x = at_place(line.x, p);
        row.y = at_place(line.y, p);
        row.z = at_place(line.z, p);
        set_curve(row, at_place(line.curvature, p), options.superelevation);
        row.speed_limit = limit_at(s, length.add(row));
        if (!finite_shape(row)) {
            throw RouteError("the smoothed line of the track '" + track.name +
                             "' is not finite at " + number_text(s) + " m");
        }
        sink(row);
    }
}

GpsRoute build_gps_route(const GpsTrack& track, const GpsRouteOptions& options) {
    const TrackRoute planned(track, options);
    GpsRoute route;
    RouteLength length;
    planned.sample([&](const RouteRow& row) {
        length.add(row);
        route.rows.push_back(row);
    });
    route.comments = planned.comments();
    route.report = planned.report();
    route.report.rows = route.rows.size();
    route.report.length = length.metres();
    return route;
}

GpsRouteReport write_gps_route(const GpsTrack& track, const GpsRouteOptions& options,
                               const std::string& path) {
    const TrackRoute route(track, options);
    const WrittenRoute written = write_route(route, path);
    GpsRouteReport report = route.report();
    report.rows = written.rows;
    report.length = written.length;
    return report;
}

} // namespace korvale::routes
