// A route from a GPS recording: the fixes cleaned (repeated points and outliers dropped), put
// into a local frame around an origin, smoothed (track_smoother.h) and sampled every step metres
// of the smoothed line, with speed limits from a list by distance, the track's maxspeed or one
// limit for the rest.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "routes/gps/gps_track.h"
#include "routes/gps/local_frame.h"
#include "routes/gps/track_smoother.h"
#include "routes/row_rules.h"

namespace korvale::routes {

constexpr double DEFAULT_GPS_STEP = 2.0; // m
// A fix is an outlier when the way through it is at least this much longer than the way from
// the fix before it straight to the fix after it, and at least twice as long: a single fix
// that jumps away and comes back.
constexpr double OUTLIER_DETOUR = 20.0; // m

// A speed limit from a distance along the route on.
struct LimitChange {
    double distance = 0.0; // m
    double kmh = 0.0;
};

struct GpsRouteOptions {
    double step = DEFAULT_GPS_STEP;
    // km/h for rows that neither the list of limits nor the track's maxspeed covers; none when
    // not above 0 (or NaN), and such a row is an error.
    double default_limit_kmh = std::numeric_limits<double>::quiet_NaN();
    std::vector<LimitChange> limits; // by distance, increasing; first of the three sources
    std::string limits_name;         // the file they came from, for the route's comments
    double superelevation = 0.0;     // fraction, on curved rows
    bool flat = false;               // z = 0 on every row
    std::optional<GeoPoint> origin;  // none: the first fix (its height, or 0 without heights)
    double max_rows = static_cast<double>(MAX_ROUTE_ROWS);
};

// What the builder did, for the user.
struct GpsRouteReport {
    std::size_t fixes = 0; // read from the track
    std::size_t repeated = 0;
    std::size_t outliers = 0;
    std::size_t rows = 0;
    double length = 0.0; // m, along the rows in 3-D
    GeoPoint origin;
    double horizontal_noise = 0.0; // m, as measured
    double vertical_noise = 0.0;
};

struct GpsRoute {
    std::vector<RouteRow> rows;
    std::vector<std::string> comments; // "origin LAT LON H" first
    GpsRouteReport report;
};

// A list of limits, CSV "distance_m,limit_kmh" per line (a header line, blank lines and '#'
// lines are skipped); distances must increase and limits be above 0. Throws RouteError.
std::vector<LimitChange> read_limits_file(const std::string& path);
std::vector<LimitChange> parse_limits(const char* data, std::size_t size, const std::string& name);

// The route from a track, planned: the options checked, the fixes cleaned and put into the
// local frame, the line smoothed and the number of rows checked. Throws RouteError for an empty
// track, a track of one distinct point, fixes of which only some have heights (without flat),
// options out of range, or more rows than max_rows. The track must outlive it.
class TrackRoute {
public:
    TrackRoute(const GpsTrack& track, const GpsRouteOptions& options);

    // What the builder did; rows and length stay 0 here (build_gps_route and write_gps_route
    // fill them in from the rows made).
    const GpsRouteReport& report() const { return summary; }
    // Lines for the head of the route file, "origin LAT LON H" first.
    std::vector<std::string> comments() const;
    // Makes every row in driving order and hands it to sink; throws RouteError for a row
    // without a speed limit or a point that is not a finite number.
    void sample(const RowSink& sink) const;

private:
    // The limit at s along the line, distance along the rows: from the list, the track's
    // maxspeed or the limit for the rest.
    double limit_at(double s, double distance) const;

    const GpsTrack& track;
    GpsRouteOptions options;
    GpsRouteReport summary;
    SmoothedLine line;
    std::vector<std::pair<double, double>> maxspeed; // the fixes' maxspeed by place on the line
};

// The route's rows in memory, with its comments and report. Throws RouteError as TrackRoute
// and its sample() do.
GpsRoute build_gps_route(const GpsTrack& track, const GpsRouteOptions& options);

// The route written to path (replacing a file there only when complete).
GpsRouteReport write_gps_route(const GpsTrack& track, const GpsRouteOptions& options,
                               const std::string& path);

// The text of the route file's first comment, "origin LAT LON H" (numbers that read back
// exactly), and its reading (nullopt for a line that is not one).
std::string origin_comment(const GeoPoint& origin);
std::optional<GeoPoint> parse_origin_comment(const std::string& line);

} // namespace korvale::routes
