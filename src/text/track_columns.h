// The columns of a GPS recording written as a table, named by its header: the one list of the
// names that a track's reader and a trace's reader take.
#pragma once

#include <string>
#include <vector>

namespace korvale::text {

struct TrackColumns {
    static constexpr int NONE = -1;
    int lat = NONE, lon = NONE, ele = NONE, time = NONE, maxspeed = NONE;
    int needed = 0; // fields a row must have

    bool has_position() const { return lat != NONE && lon != NONE; }
};

// The columns that the header names, in any case: lat (latitude), lon (lng, longitude), ele
// (alt, elevation, altitude), time and maxspeed; where a name comes twice, the first counts.
TrackColumns name_track_columns(const std::vector<std::string>& header);

} // namespace korvale::text
