#include "sim/sim_road.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace korvale::sim {

SimRoad::SimRoad(RoadRows rows) : road(std::move(rows)) {
    prepare();
}

SimRoad::SimRoad(const RouteProfile& profile, const ConstructionDetails& details) {
    const std::int32_t rows = profile.row_count();
    const auto n = static_cast<std::size_t>(rows > 0 ? rows : 0);
    const Column& limit = profile.max_speed_column();
    road.distance.assign(profile.distance_column().begin(), profile.distance_column().begin() + n);
    road.z.assign(profile.z_column().begin(), profile.z_column().begin() + n);
    road.grade.assign(details.grade.begin(), details.grade.begin() + n);
    road.radius.assign(details.curve_radius.begin(), details.curve_radius.begin() + n);
    road.recommended.assign(profile.recommended_speed_column().begin(),
                            profile.recommended_speed_column().begin() + n);
    road.max_speed.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        // A curve with no comfort speed leaves the limit.
        const double allowed = details.allowed_speed[i];
        road.max_speed[i] = std::isnan(allowed) ? limit[i] : allowed;
    }
    prepare();
}

void SimRoad::prepare() {
    // Rows that stand still up to the end end the route at the first of them.
    std::size_t n = road.distance.size();
    while (n > 2 && road.max_speed[n - 2] / KMH_PER_MS < dynamics::STOP_SPEED) {
        --n;
    }
    for (std::vector<double>* column :
         {&road.distance, &road.z, &road.max_speed, &road.grade, &road.radius, &road.recommended}) {
        if (column->size() > n) {
            column->resize(n);
        }
    }
    if (n < 2 || !(road.distance.back() > road.distance.front())) {
        throw std::invalid_argument("the route has no length to drive");
    }
    const auto is_stop = [&](std::size_t i) {
        return i > 0 && i + 1 < n && road.max_speed[i] / KMH_PER_MS < dynamics::STOP_SPEED;
    };
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (is_stop(i)) {
            stop_rows.push_back(static_cast<std::int32_t>(i));
        }
    }
    max_ends = ends_of(road.max_speed);
    recommended_ends = ends_of(road.recommended.size() == n ? road.recommended : road.max_speed);
}

SimRoad::Ends SimRoad::ends_of(const std::vector<double>& kmh) const {
    const std::size_t n = road.distance.size();
    std::vector<bool> stop(n, false);
    for (std::int32_t row : stop_rows) {
        stop[static_cast<std::size_t>(row)] = true;
    }
    // The start and the end are points too when they are stops: the drive leaves the one at
    // once and stands at the other.
    stop[0] = road.max_speed[0] / KMH_PER_MS < dynamics::STOP_SPEED;
    stop[n - 1] = road.max_speed[n - 1] / KMH_PER_MS < dynamics::STOP_SPEED;
    Ends ends;
    ends.low.resize(n - 1);
    ends.high.resize(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const double here = std::max(0.0, kmh[i] / KMH_PER_MS);
        const double next = std::max(0.0, kmh[i + 1] / KMH_PER_MS);
        ends.low[i] = stop[i] ? (stop[i + 1] ? 0.0 : next) : here;
        ends.high[i] = stop[i + 1] ? ends.low[i] : next;
    }
    return ends;
}

std::int32_t SimRoad::segment_at(double s, std::int32_t hint) const {
    const std::int32_t last = rows() - 2;
    std::int32_t i = std::clamp(hint, 0, last);
    if (s < road.distance[i]) {
        const auto after = std::upper_bound(road.distance.begin(), road.distance.end(), s);
        return std::clamp(static_cast<std::int32_t>(after - road.distance.begin()) - 1, 0, last);
    }
    while (i < last && road.distance[i + 1] <= s) {
        ++i;
    }
    return i;
}

namespace {

double share_of(const std::vector<double>& d, double s, std::int32_t segment) {
    const double span = d[segment + 1] - d[segment];
    return span > 0.0 ? std::clamp((s - d[segment]) / span, 0.0, 1.0) : 0.0;
}

} // namespace

double SimRoad::between(const Ends& ends, double s, std::int32_t segment) const {
    const double share = share_of(road.distance, s, segment);
    return ends.low[segment] + (ends.high[segment] - ends.low[segment]) * share;
}

double SimRoad::max_speed(double s, std::int32_t segment) const {
    return between(max_ends, s, segment);
}

double SimRoad::recommended(double s, std::int32_t segment) const {
    return between(recommended_ends, s, segment);
}

double SimRoad::z(double s, std::int32_t segment) const {
    const double share = share_of(road.distance, s, segment);
    return road.z[segment] + (road.z[segment + 1] - road.z[segment]) * share;
}

namespace {

// Nodes this far from a stop on either side, m: between them the programme brakes and starts
// as hard as the vehicle may, where evenly spaced nodes would make it crawl.
constexpr double NEAR_STOP[] = {0.25, 0.5, 1.0, 2.0};
// A change of the maximum speed from one row to the next by this much puts a node at both, m/s.
constexpr double SHARP_CHANGE = 0.5;
// Nodes closer than this to the one before are left out, m.
constexpr double LEAST_NODE_GAP = 0.05;

} // namespace

std::vector<double> SimRoad::fixed_nodes() const {
    const std::vector<double>& d = road.distance;
    const std::int32_t n = rows();
    std::vector<double> fixed{0.0, length()};
    std::vector<double> stands{0.0, length()};
    for (std::int32_t row : stop_rows) {
        fixed.push_back(d[row]);
        stands.push_back(d[row]);
    }
    for (std::int32_t i = 0; i + 1 < n; ++i) {
        if (std::fabs(max_ends.high[i] - max_ends.low[i]) >= SHARP_CHANGE) {
            fixed.push_back(d[i]);
            fixed.push_back(d[i + 1]);
        }
    }
    for (double stop : stands) {
        for (double near : NEAR_STOP) {
            for (double at : {stop - near, stop + near}) {
                if (at > 0.0 && at < length()) {
                    fixed.push_back(at);
                }
            }
        }
    }
    std::sort(fixed.begin(), fixed.end());
    return fixed;
}

std::vector<double> SimRoad::node_distances(double max_step) const {
    const std::vector<double> fixed = fixed_nodes();
    std::vector<double> all;
    for (std::size_t k = 0; k + 1 < fixed.size(); ++k) {
        const double span = fixed[k + 1] - fixed[k];
        const int pieces = std::max(1, static_cast<int>(std::ceil(span / max_step - 1e-9)));
        for (int p = 0; p < pieces; ++p) {
            all.push_back(fixed[k] + span * p / pieces);
        }
    }
    all.push_back(length());
    std::vector<double> nodes;
    for (double at : all) {
        if (nodes.empty() || at - nodes.back() >= LEAST_NODE_GAP) {
            nodes.push_back(at);
        } else if (at == length()) {
            nodes.back() = at;
        }
    }
    return nodes;
}

void SimRoad::node_limits(dynamics::ProgrammeRoad& out) const {
    const std::vector<double>& d = road.distance;
    const std::int32_t n = rows();
    const std::size_t nodes = out.distance.size();
    out.max_speed.assign(nodes, 0.0);
    std::vector<double> inside(nodes - 1, INFINITY);
    std::int32_t segment = 0;
    for (std::size_t i = 0; i < nodes; ++i) {
        const double at = out.distance[i];
        segment = segment_at(at, segment);
        double v = max_speed(at, segment);
        if (segment > 0 && d[segment] >= at) {
            v = std::min(v, max_speed(at, segment - 1)); // the end of the segment before
        }
        out.max_speed[i] = v;
        if (i + 1 < nodes) {
            const double to = out.distance[i + 1];
            std::int32_t j = segment;
            double lowest = INFINITY;
            while (j + 1 < n - 1 && d[j + 1] < to) {
                ++j;
                if (d[j] > at) {
                    lowest = std::min(lowest, max_speed(d[j], j));
                }
            }
            inside[i] = lowest;
            // The grade whose sine is the interval's rise over its length.
            const double rise = z(to, segment_at(to, j)) - z(at, segment);
            const double sine = std::clamp(rise / (to - at), -0.99, 0.99);
            out.grade.push_back(std::tan(std::asin(sine)));
        }
    }
    for (std::size_t i = 0; i < nodes; ++i) {
        const double before = i > 0 ? inside[i - 1] : INFINITY;
        const double after = i + 1 < nodes ? inside[i] : INFINITY;
        out.max_speed[i] = std::min({out.max_speed[i], before, after});
    }
}

dynamics::ProgrammeRoad SimRoad::programme_road(double max_step) const {
    dynamics::ProgrammeRoad out;
    out.distance = node_distances(max_step);
    node_limits(out);
    out.max_speed.front() = 0.0;
    out.max_speed.back() = 0.0;
    for (std::int32_t row : stop_rows) {
        const auto at =
            std::lower_bound(out.distance.begin(), out.distance.end(), road.distance[row] - 1e-9);
        out.max_speed[static_cast<std::size_t>(at - out.distance.begin())] = 0.0;
    }
    return out;
}

BrakingEnvelope::BrakingEnvelope(const SimRoad& road_in, double deceleration)
    : route(&road_in), braking(deceleration) {
    const std::int32_t n = road_in.rows();
    const std::vector<double>& d = road_in.columns().distance;
    at_row.assign(static_cast<std::size_t>(n), 0.0);
    std::vector<bool> stop(static_cast<std::size_t>(n), false);
    for (std::int32_t row : road_in.stops()) {
        stop[static_cast<std::size_t>(row)] = true;
    }
    for (std::int32_t i = n - 2; i >= 0; --i) {
        const double ahead = at_row[i + 1];
        const double reach = std::sqrt(ahead * ahead + 2.0 * braking * (d[i + 1] - d[i]));
        at_row[i] = stop[i] ? 0.0 : std::min(road_in.max_speed(d[i], i), reach);
    }
}

double BrakingEnvelope::target(double s, std::int32_t segment) const {
    const std::vector<double>& d = route->columns().distance;
    const double ahead = at_row[segment + 1];
    const double to_go = std::max(0.0, d[segment + 1] - s);
    return std::min(route->max_speed(s, segment), std::sqrt(ahead * ahead + 2.0 * braking * to_go));
}

} // namespace korvale::sim
