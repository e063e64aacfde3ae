// A GPS recording as a list of fixes in recorded order: GPX 1.0 or 1.1 (every trk/trkseg/trkpt
// in order, segments joined, or else rte/rtept) or CSV with a header naming the columns lat,
// lon and optionally ele, time and maxspeed (text/track_columns.h has every name they go by),
// separated by ',', ';' or tabs.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace korvale::routes {

struct GpsFix {
    double latitude = 0.0;                                       // degrees
    double longitude = 0.0;                                      // degrees
    double elevation = std::numeric_limits<double>::quiet_NaN(); // m; NaN where not recorded
    double time = std::numeric_limits<double>::quiet_NaN();      // s; NaN where not recorded
    double maxspeed = std::numeric_limits<double>::quiet_NaN();  // km/h; NaN: none
};

struct GpsTrack {
    std::string name;   // the file, for messages
    std::string format; // "GPX 1.1", "GPX 1.0", "GPX", "CSV"
    std::vector<GpsFix> fixes;
    bool has_elevation = false; // every fix has one
    bool has_time = false;      // every fix has one
};

// Reads the track file; throws RouteError for a file that cannot be read, XML that is not
// GPX, CSV without lat and lon columns, a field that does not read (naming its line) or a
// position beyond ±90 degrees of latitude or ±180 of longitude. An empty track is no error
// here (the route builder refuses it).
GpsTrack read_gps_track(const std::string& path);
// The same from bytes in memory; name stands for the file in messages.
GpsTrack parse_gps_track(const char* data, std::size_t size, const std::string& name);

// A speed limit as OpenStreetMap writes maxspeed: km/h as a number ("50", "50 km/h") or
// "NN mph"; NaN (none) for anything else ("none", "signals", "50;30", "", 0).
double parse_maxspeed(const std::string& text);

} // namespace korvale::routes
