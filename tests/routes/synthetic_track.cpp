#include "synthetic_track.h"

#include <algorithm>
#include <cmath>

#include "profile/speed_models.h"
#include "support/random.h"

namespace korvale_test {

namespace {

using korvale::routes::GeoPoint;
using korvale::routes::GpsFix;
using korvale::routes::GpsTrack;
using korvale::routes::LocalFrame;

constexpr double PI = 3.14159265358979323846;
constexpr double DEGREE = PI / 180;
constexpr double KMH = 1 / 3.6;
constexpr double ACCELERATION = 1.5;     // m/s²
constexpr double VERTICAL_CURVE = 100.0; // m
constexpr double CURVE_MARGIN = 30.0;    // m either side of a curve where its slowest row counts
constexpr double STRAIGHT_CLEARANCE = 60.0;
constexpr double CURVE_TOLERANCE = 0.15;
constexpr double GRADE_TOLERANCE = 0.02;
constexpr double LIMITS[] = {50, 60, 70, 80, 90, 100, 110};

double normal(Random& random) {
    const double u = std::max(random.unit(), 1e-300), v = random.unit();
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * PI * v);
}

// The road's curvature along it, piece by piece.
struct Piece {
    double length, k0, k1, limit; // curvature from k0 to k1, linearly
};

} // namespace

SyntheticRoad make_road(std::uint64_t seed, int curves) {
    Random random(seed);
    SyntheticRoad road;
    std::vector<Piece> pieces;
    double at = 0.0;
    const auto limit = [&] { return LIMITS[random.below(7)]; };
    const auto straight = [&] {
        const double length = random.uniform(150, 600);
        pieces.push_back({length, 0, 0, limit()});
        at += length;
    };
    straight();
    for (int c = 0; c < curves; ++c) {
        const double radius = 40 * std::pow(25.0, random.unit()); // 40 to 1000 m
        const double turn = random.uniform(30, 120) * DEGREE;
        const double k = (random.below(2) == 0 ? 1 : -1) / radius;
        const double clothoid = std::min(radius * random.uniform(0.25, 0.8), 0.6 * turn * radius);
        const double arc = (turn - clothoid / radius) * radius;
        const double curve_limit = limit();
        SyntheticCurve curve;
        curve.start = at;
        curve.end = at + 2 * clothoid + arc;
        curve.radius = radius;
        curve.limit = curve_limit;
        curve.comfort = korvale::comfort_curve_velocity(radius, 0.0);
        road.curves.push_back(curve);
        pieces.push_back({clothoid, 0, k, curve_limit});
        pieces.push_back({arc, k, k, curve_limit});
        pieces.push_back({clothoid, k, 0, curve_limit});
        at = curve.end;
        straight();
    }
    // Grades: a new one every 200 to 800 m, reached over a vertical curve.
    std::vector<std::pair<double, double>> grades; // (from s, grade)
    for (double s = 0; s < at; s += random.uniform(200, 800)) {
        grades.emplace_back(s, random.uniform(-0.06, 0.06));
    }
    const auto grade_at = [&](double s) {
        double g = grades.front().second;
        for (std::size_t i = 1; i < grades.size(); ++i) {
            const double from = grades[i].first;
            if (s >= from + VERTICAL_CURVE) {
                g = grades[i].second;
            } else if (s > from) {
                g += (grades[i].second - g) * (s - from) / VERTICAL_CURVE;
            }
        }
        return g;
    };
    const double h = road.spacing;
    double x = 0, y = 0, z = 0, heading = random.uniform(0, 2 * PI), s = 0;
    std::size_t piece = 0;
    double piece_start = 0;
    while (piece < pieces.size()) {
        const Piece& p = pieces[piece];
        const double t = p.length > 0 ? (s - piece_start) / p.length : 1.0;
        const double k = p.k0 + (p.k1 - p.k0) * std::clamp(t, 0.0, 1.0);
        road.x.push_back(x);
        road.y.push_back(y);
        road.z.push_back(z);
        road.curvature.push_back(k);
        road.grade.push_back(grade_at(s));
        road.limit.push_back(p.limit);
        // one step on, with the curvature at its middle
        const double k_mid =
            p.k0 + (p.k1 - p.k0) * std::clamp((s + h / 2 - piece_start) / p.length, 0.0, 1.0);
        const double mid_heading = heading + k_mid * h / 2;
        x += h * std::cos(mid_heading);
        y += h * std::sin(mid_heading);
        heading += k_mid * h;
        z += h * grade_at(s + h / 2);
        s += h;
        while (piece < pieces.size() && s > piece_start + pieces[piece].length) {
            piece_start += pieces[piece].length;
            ++piece;
        }
    }
    return road;
}

GpsTrack record_drive(const SyntheticRoad& road, double rate_hz, std::uint64_t seed,
                      const NoiseModel& noise, const GeoPoint& origin, bool with_limits) {
    const std::size_t n = road.x.size();
    const double h = road.spacing;
    // Speed along the road: the limit, or a curve's comfort speed, reached with ACCELERATION.
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = road.limit[i] * KMH;
        if (std::fabs(road.curvature[i]) > 0) {
            v[i] = std::min(
                v[i], korvale::comfort_curve_velocity(1 / std::fabs(road.curvature[i]), 0.0) * KMH);
        }
    }
    for (std::size_t i = 1; i < n; ++i) {
        v[i] = std::min(v[i], std::sqrt(v[i - 1] * v[i - 1] + 2 * ACCELERATION * h));
    }
    for (std::size_t i = n - 1; i-- > 0;) {
        v[i] = std::min(v[i], std::sqrt(v[i + 1] * v[i + 1] + 2 * ACCELERATION * h));
    }
    std::vector<double> time(n, 0.0);
    for (std::size_t i = 1; i < n; ++i) {
        time[i] = time[i - 1] + 2 * h / (v[i - 1] + v[i]);
    }
    Random random(seed * 7919 + 17);
    const LocalFrame frame(origin);
    GpsTrack track;
    track.name = "synthetic";
    track.format = "synthetic";
    track.has_elevation = true;
    track.has_time = true;
    const double dt = 1 / rate_hz;
    const double keep = std::exp(-dt / noise.bias_time);
    const double renew = std::sqrt(1 - keep * keep) * noise.bias;
    double bias_x = noise.bias * normal(random), bias_y = noise.bias * normal(random);
    std::size_t i = 0;
    for (double t = 0; t <= time.back(); t += dt) {
        while (i + 2 < n && time[i + 1] < t) {
            ++i;
        }
        const double share = std::clamp((t - time[i]) / (time[i + 1] - time[i]), 0.0, 1.0);
        const auto at = [&](const std::vector<double>& c) {
            return c[i] + share * (c[i + 1] - c[i]);
        };
        bias_x = keep * bias_x + renew * normal(random);
        bias_y = keep * bias_y + renew * normal(random);
        const korvale::routes::LocalPoint p{at(road.x) + bias_x + noise.horizontal * normal(random),
                                            at(road.y) + bias_y + noise.horizontal * normal(random),
                                            at(road.z) + noise.vertical * normal(random)};
        const GeoPoint g = frame.reverse(p);
        GpsFix fix;
        fix.latitude = g.latitude;
        fix.longitude = g.longitude;
        fix.elevation = g.height;
        fix.time = t;
        if (with_limits) {
            fix.maxspeed = road.limit[i];
        }
        track.fixes.push_back(fix);
    }
    return track;
}

Accuracy evaluate(const SyntheticRoad& road, const std::vector<korvale::routes::RouteRow>& rows) {
    Accuracy a;
    const std::size_t n = road.x.size();
    // Where each row lies along the road: the nearest sample, searched forward from the last.
    std::size_t at = 0;
    for (const auto& row : rows) {
        const auto d2 = [&](std::size_t i) {
            return (road.x[i] - row.x) * (road.x[i] - row.x) +
                   (road.y[i] - row.y) * (road.y[i] - row.y);
        };
        std::size_t best = at;
        const std::size_t reach = static_cast<std::size_t>(200 / road.spacing);
        const std::size_t first = at > reach ? at - reach : 0;
        for (std::size_t i = first; i < std::min(n, at + reach); ++i) {
            if (d2(i) < d2(best)) {
                best = i;
            }
        }
        at = best;
        a.road_s.push_back(static_cast<double>(best) * road.spacing);
    }
    std::vector<double> comfort(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        comfort[r] = korvale::comfort_curve_velocity(rows[r].radius, rows[r].superelevation);
    }
    for (const SyntheticCurve& curve : road.curves) {
        if (!(curve.comfort < curve.limit)) {
            continue;
        }
        double slowest = INFINITY;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (a.road_s[r] >= curve.start - CURVE_MARGIN &&
                a.road_s[r] <= curve.end + CURVE_MARGIN) {
                slowest = std::min(slowest, comfort[r]);
            }
        }
        const double error = std::fabs(slowest / curve.comfort - 1);
        ++a.curves;
        a.curves_within += error <= CURVE_TOLERANCE ? 1 : 0;
        a.worst_curve = std::max(a.worst_curve, error);
    }
    for (std::size_t r = 0; r + 1 < rows.size(); ++r) {
        const double s = a.road_s[r];
        const double ds = std::hypot(rows[r + 1].x - rows[r].x, rows[r + 1].y - rows[r].y);
        if (s < 50 || s > road.length() - 50) {
            continue; // the ends of the recording
        }
        const bool clear = std::none_of(road.curves.begin(), road.curves.end(), [&](const auto& c) {
            return s > c.start - STRAIGHT_CLEARANCE && s < c.end + STRAIGHT_CLEARANCE;
        });
        if (clear) {
            a.straight_length += ds;
            a.straight_above += comfort[r] >= rows[r].speed_limit ? ds : 0.0;
        }
        if (ds > 0) {
            const double grade = (rows[r + 1].z - rows[r].z) / ds;
            const auto i = static_cast<std::size_t>(std::lround(s / road.spacing));
            a.length += ds;
            a.grade_within +=
                std::fabs(grade - road.grade[std::min(i, n - 1)]) <= GRADE_TOLERANCE ? ds : 0.0;
        }
    }
    return a;
}

} // namespace korvale_test
