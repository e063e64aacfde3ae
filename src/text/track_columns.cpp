#include "text/track_columns.h"

#include <algorithm>

#include "text/text.h"

namespace korvale::text {

namespace {

// The column a header name stands for; nullptr for a column of no interest.
int* column_named(const std::string& name, TrackColumns& columns) {
    if (name == "lat" || name == "latitude") {
        return &columns.lat;
    }
    if (name == "lon" || name == "lng" || name == "longitude") {
        return &columns.lon;
    }
    if (name == "ele" || name == "alt" || name == "elevation" || name == "altitude") {
        return &columns.ele;
    }
    if (name == "time") {
        return &columns.time;
    }
    if (name == "maxspeed") {
        return &columns.maxspeed;
    }
    return nullptr;
}

} // namespace

TrackColumns name_track_columns(const std::vector<std::string>& header) {
    TrackColumns columns;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const int index = static_cast<int>(i);
        int* column = column_named(lower(header[i]), columns);
        if (column != nullptr && *column == TrackColumns::NONE) {
            *column = index;
            columns.needed = std::max(columns.needed, index + 1);
        }
    }
    return columns;
}

} // namespace korvale::text
