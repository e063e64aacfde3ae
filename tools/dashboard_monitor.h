// What the dashboard knows of the datagrams it received: the latest record and plot, counters
// of received, malformed and lost datagrams, and the JSON texts that the page, the event
// stream, /api/latest and the JSON forwarding are made of. Safe to use from several threads.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "comm/datagram_decoder.h"
#include "profile/route_profile.h"

namespace korvale_tool {

// The fields of a status record, by their keys on the wire.
enum class RecordField { i1, r1, r2, r3, r4, r5, r7, r8, flag, i2 };
constexpr std::size_t RECORD_FIELD_COUNT = 10;
constexpr std::array<const char*, RECORD_FIELD_COUNT> RECORD_FIELD_KEYS = {
    "i1", "r1", "r2", "r3", "r4", "r5", "r7", "r8", "flag", "i2"};

// The name of each field in JSON, indexed by RecordField. The defaults are what korvale drive
// puts in them.
using FieldNames = std::array<std::string, RECORD_FIELD_COUNT>;
FieldNames default_field_names();

// Renames fields from "r1=NAME,r5=NAME,..."; throws std::runtime_error naming the fault. A name
// is 1 to 32 letters, digits and _ . - /, unique among the fields and not "t".
FieldNames parse_field_names(const std::string& spec);

struct DashboardCounters {
    std::int64_t received = 0;  // every datagram
    std::int64_t records = 0;   // 76-byte status records
    std::int64_t plots = 0;     // datagrams of the plot's size
    std::int64_t malformed = 0; // datagrams of neither size
    std::int64_t lost = 0;      // sample counters (i1) skipped over; a smaller one is a restart
};

// The record as one flat JSON object: "t" (Unix seconds when it arrived), then each field
// under its name; non-finite values are null. At most a few hundred bytes.
std::string record_json(const korvale::comm::RecordFields& record, const FieldNames& names,
                        double t);

// The route's profile for the page: the name of its speed model ("model"), then distance,
// maximum, recommended and coasting speed and elevation, at most max_points of them (each speed
// the lowest of the rows it stands for).
std::string route_json(const korvale::RouteProfile& profile, std::size_t max_points);

class DashboardMonitor {
public:
    DashboardMonitor(FieldNames names, std::size_t values_a, std::size_t values_b);

    // Each takes one datagram, counts it and returns the event for the page, with the counters
    // after it. A record comes with its record_json(); t is the Unix time of arrival.
    std::string on_record(const korvale::comm::RecordFields& record, const std::string& json);
    std::string on_plot(const korvale::comm::PlotArrays& plot, double t);
    std::string on_malformed(std::size_t bytes, double t);

    // {"record":...|null,"age_s":...|null,"counters":{...}}: the latest record, the seconds
    // since the last datagram of any kind.
    std::string latest_json() const;
    // The first event of a stream: as latest_json() with "type":"hello" and the latest plot.
    std::string hello_json() const;
    // The field names and plot counts, for the page.
    std::string config_json(bool has_route) const;

    DashboardCounters counters() const;
    const FieldNames& names() const { return field_names; }

private:
    std::string counters_json() const; // the mutex held
    std::string latest_body() const;   // the mutex held
    void arrived();                    // the mutex held

    const FieldNames field_names;
    const std::size_t count_a, count_b;
    mutable std::mutex mutex;
    DashboardCounters totals;
    std::optional<std::int32_t> last_i1;
    std::string latest_record; // JSON, empty before the first
    std::string latest_plot;   // JSON, empty before the first
    std::optional<std::chrono::steady_clock::time_point> last_arrival;
};

// Now, in Unix seconds.
double unix_time_now();

} // namespace korvale_tool
