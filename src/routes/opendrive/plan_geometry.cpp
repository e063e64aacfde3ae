#include "routes/opendrive/plan_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "routes/route_error.h"

namespace korvale::routes {

namespace {

// Gauss-Legendre with eight points: exact for polynomials of degree 15. On a piece over which a
// spiral turns at most MAX_TURN_PER_PIECE, the error is below 1e-15 of the piece's length.
constexpr double GAUSS_X[4] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267,
                               0.9602898564975363};
constexpr double GAUSS_W[4] = {0.3626837833783620, 0.3137066458778873, 0.2223810344533745,
                               0.1012285362903763};
constexpr double MAX_TURN_PER_PIECE = 0.5; // rad

// A poly3's arc-length table: a piece is kept when one rule and two on its halves agree this
// closely (relative), and no record may need more pieces than this.
constexpr double ARC_LENGTH_TOLERANCE = 1e-13;
constexpr std::size_t MAX_ARC_LENGTH_PIECES = 1 << 16;
// Newton's steps for the parameter of an arc length, and when they are done (m).
constexpr int MAX_NEWTON_STEPS = 100;
constexpr double ARC_LENGTH_SOLVED = 1e-10;

struct Vec2 {
    double x, y;
    Vec2 operator+(const Vec2& o) const { return {x + o.x, y + o.y}; }
    Vec2 operator*(double s) const { return {x * s, y * s}; }
};

template <class F>
auto gauss8(const F& f, double a, double b) {
    const double half = (b - a) / 2;
    const double mid = (a + b) / 2;
    auto sum = (f(mid - half * GAUSS_X[0]) + f(mid + half * GAUSS_X[0])) * GAUSS_W[0];
    for (int i = 1; i < 4; ++i) {
        sum = sum + (f(mid - half * GAUSS_X[i]) + f(mid + half * GAUSS_X[i])) * GAUSS_W[i];
    }
    return sum * half;
}

double cubic(const double (&k)[4], double p) {
    return k[0] + p * (k[1] + p * (k[2] + p * k[3]));
}
double cubic_first(const double (&k)[4], double p) {
    return k[1] + p * (2 * k[2] + p * 3 * k[3]);
}
double cubic_second(const double (&k)[4], double p) {
    return 2 * k[2] + p * 6 * k[3];
}

// Curvature of a plane curve (u(p), v(p)) from its derivatives by p, and its rate of change
// per unit of arc length.
void curve_curvature(double du, double dv, double ddu, double ddv, double dddu, double dddv,
                     double* curvature, double* rate) {
    const double speed_squared = du * du + dv * dv;
    const double speed = std::sqrt(speed_squared);
    const double cross = du * ddv - dv * ddu;
    *curvature = cross / (speed_squared * speed);
    const double per_p =
        (du * dddv - dv * dddu) / (speed_squared * speed) -
        3 * cross * (du * ddu + dv * ddv) / (speed_squared * speed_squared * speed);
    *rate = per_p / speed;
}

} // namespace

const char* geometry_kind_name(GeometryKind kind) {
    switch (kind) {
    case GeometryKind::line:
        return "line";
    case GeometryKind::arc:
        return "arc";
    case GeometryKind::spiral:
        return "spiral";
    case GeometryKind::poly3:
        return "poly3";
    case GeometryKind::param_poly3:
        return "paramPoly3";
    }
    return "?";
}

PlanGeometry PlanGeometry::line(const RecordStart& start) {
    return PlanGeometry(GeometryKind::line, start);
}

PlanGeometry PlanGeometry::arc(const RecordStart& start, double curvature) {
    PlanGeometry g(GeometryKind::arc, start);
    g.coef_u[0] = curvature;
    return g;
}

PlanGeometry PlanGeometry::spiral(const RecordStart& start, double curvature_start,
                                  double curvature_end) {
    PlanGeometry g(GeometryKind::spiral, start);
    const double length = start.length;
    g.coef_u[0] = curvature_start;
    g.coef_u[1] = length > 0 ? (curvature_end - curvature_start) / length : 0.0;
    // The curvature is linear, so its largest magnitude is at an end.
    const double turn = std::fmax(std::fabs(curvature_start), std::fabs(curvature_end)) * length;
    if (!(turn <= MAX_SPIRAL_TURN)) {
        throw RouteError("a spiral that turns " + std::to_string(turn) + " rad, more than " +
                         std::to_string(static_cast<int>(MAX_SPIRAL_TURN)) + " rad");
    }
    const auto pieces = static_cast<std::size_t>(std::ceil(turn / MAX_TURN_PER_PIECE)) + 1;
    g.table.reserve(pieces + 1);
    g.table.push_back({0.0, 0.0, 0.0, 0.0});
    const double c0 = g.coef_u[0], rate = g.coef_u[1], h0 = start.heading;
    const auto direction = [=](double u) {
        const double h = h0 + u * (c0 + u * rate / 2);
        return Vec2{std::cos(h), std::sin(h)};
    };
    for (std::size_t i = 1; i <= pieces; ++i) {
        const Node& last = g.table.back();
        const double u = length * static_cast<double>(i) / static_cast<double>(pieces);
        const Vec2 moved = gauss8(direction, last.u, u);
        g.table.push_back({u, u, last.x + moved.x, last.y + moved.y});
    }
    return g;
}

PlanGeometry PlanGeometry::poly3(const RecordStart& start, double a, double b, double c, double d) {
    PlanGeometry g(GeometryKind::poly3, start);
    g.coef_v[0] = a;
    g.coef_v[1] = b;
    g.coef_v[2] = c;
    g.coef_v[3] = d;
    const double(&v)[4] = g.coef_v;
    const auto speed = [&v](double u) {
        const double slope = cubic_first(v, u);
        return std::sqrt(1 + slope * slope);
    };
    // Since the speed is at least 1, the arc length reaches the record's length by u = length.
    struct Piece {
        double a, b, integral;
    };
    g.table.push_back({0.0, 0.0, 0.0, 0.0});
    std::vector<Piece> pending{{0.0, start.length, gauss8(speed, 0.0, start.length)}};
    std::size_t splits = 0;
    while (!pending.empty()) {
        const Piece piece = pending.back();
        pending.pop_back();
        const double mid = (piece.a + piece.b) / 2;
        const double left = gauss8(speed, piece.a, mid);
        const double right = gauss8(speed, mid, piece.b);
        if (!std::isfinite(left + right)) {
            throw RouteError("a poly3 whose arc length is not a finite number");
        }
        const bool settled =
            std::fabs(piece.integral - (left + right)) <= ARC_LENGTH_TOLERANCE * (left + right) ||
            mid <= piece.a || mid >= piece.b;
        if (settled) {
            const double s = g.table.back().arc_length;
            g.table.push_back({mid, s + left, 0.0, 0.0});
            g.table.push_back({piece.b, s + left + right, 0.0, 0.0});
            continue;
        }
        if (++splits > MAX_ARC_LENGTH_PIECES) {
            throw RouteError("a poly3 whose arc length needs more than " +
                             std::to_string(MAX_ARC_LENGTH_PIECES) + " pieces");
        }
        pending.push_back({mid, piece.b, right});
        pending.push_back({piece.a, mid, left});
    }
    return g;
}

PlanGeometry PlanGeometry::param_poly3(const RecordStart& start, const double (&u)[4],
                                       const double (&v)[4], bool normalized) {
    PlanGeometry g(GeometryKind::param_poly3, start);
    for (int i = 0; i < 4; ++i) {
        g.coef_u[i] = u[i];
        g.coef_v[i] = v[i];
    }
    g.normalized = normalized;
    return g;
}

PlanPose PlanGeometry::at(double ds) const {
    const double h0 = start.heading;
    switch (geometry_kind) {
    case GeometryKind::line:
        return {start.x + ds * std::cos(h0), start.y + ds * std::sin(h0), h0, 0.0, 0.0};
    case GeometryKind::arc: {
        const double k = coef_u[0];
        if (k == 0.0) {
            return {start.x + ds * std::cos(h0), start.y + ds * std::sin(h0), h0, 0.0, 0.0};
        }
        // Along the chord, which has no cancellation for small turns.
        const double chord = 2 * std::sin(k * ds / 2) / k;
        const double middle = h0 + k * ds / 2;
        return {start.x + chord * std::cos(middle), start.y + chord * std::sin(middle), h0 + k * ds,
                k, 0.0};
    }
    case GeometryKind::spiral:
        return spiral_at(ds);
    case GeometryKind::poly3:
        return poly3_at(ds);
    case GeometryKind::param_poly3:
        if (!normalized) {
            return param_poly3_at(ds);
        }
        return param_poly3_at(start.length > 0 ? ds / start.length : 0.0);
    }
    return {};
}

PlanPose PlanGeometry::spiral_at(double ds) const {
    const double length = start.length;
    const double c0 = coef_u[0], rate = coef_u[1];
    if (!(ds >= 0 && ds <= length)) {
        if (ds < 0) {
            return along_tangent(spiral_at(0.0), ds);
        }
        return along_tangent(spiral_at(length), ds - length);
    }
    const double h0 = start.heading;
    const auto direction = [=](double u) {
        const double h = h0 + u * (c0 + u * rate / 2);
        return Vec2{std::cos(h), std::sin(h)};
    };
    const std::size_t pieces = table.size() - 1;
    std::size_t i = 0;
    if (length > 0) {
        i = static_cast<std::size_t>(ds / length * static_cast<double>(pieces));
        i = i >= pieces ? pieces - 1 : i;
    }
    const Node& node = table[i];
    const Vec2 moved = gauss8(direction, node.u, ds);
    return {start.x + node.x + moved.x, start.y + node.y + moved.y, h0 + ds * (c0 + ds * rate / 2),
            c0 + rate * ds, rate};
}

PlanPose PlanGeometry::poly3_at(double ds) const {
    const double total = table.back().arc_length;
    if (!(ds >= 0 && ds <= total)) {
        if (ds < 0) {
            return along_tangent(poly3_at(0.0), ds);
        }
        return along_tangent(poly3_at(total), ds - total);
    }
    const auto speed = [this](double u) {
        const double slope = cubic_first(coef_v, u);
        return std::sqrt(1 + slope * slope);
    };
    // The piece of the table that holds ds, then Newton's method inside it, kept in the piece.
    const auto after =
        std::upper_bound(table.begin(), table.end(), ds,
                         [](double at, const Node& node) { return at < node.arc_length; });
    const Node& from = *(after - 1);
    double u = from.u;
    if (after != table.end() && ds > from.arc_length) {
        double low = from.u, high = after->u;
        u = low + (ds - from.arc_length) / (after->arc_length - from.arc_length) * (high - low);
        for (int step = 0; step < MAX_NEWTON_STEPS; ++step) {
            const double miss = from.arc_length + gauss8(speed, from.u, u) - ds;
            if (std::fabs(miss) <= ARC_LENGTH_SOLVED) {
                break;
            }
            (miss > 0 ? high : low) = u;
            double next = u - miss / speed(u);
            if (!(next > low && next < high)) {
                next = (low + high) / 2;
            }
            if (next == u) {
                break;
            }
            u = next;
        }
    }
    const double slope = cubic_first(coef_v, u);
    double curvature = 0.0, rate = 0.0;
    curve_curvature(1.0, slope, 0.0, cubic_second(coef_v, u), 0.0, 6 * coef_v[3], &curvature,
                    &rate);
    return local_to_world(u, cubic(coef_v, u), std::atan(slope), curvature, rate);
}

PlanPose PlanGeometry::param_poly3_at(double p) const {
    const double du = cubic_first(coef_u, p), dv = cubic_first(coef_v, p);
    double curvature = 0.0, rate = 0.0;
    curve_curvature(du, dv, cubic_second(coef_u, p), cubic_second(coef_v, p), 6 * coef_u[3],
                    6 * coef_v[3], &curvature, &rate);
    // The formulas hold for any parameter: the rate comes per unit of arc length either way.
    return local_to_world(cubic(coef_u, p), cubic(coef_v, p), std::atan2(dv, du), curvature, rate);
}

PlanPose PlanGeometry::local_to_world(double u, double v, double local_heading, double curvature,
                                      double curvature_rate) const {
    const double c = std::cos(start.heading), s = std::sin(start.heading);
    return {start.x + u * c - v * s, start.y + u * s + v * c, start.heading + local_heading,
            curvature, curvature_rate};
}

PlanPose PlanGeometry::along_tangent(const PlanPose& from, double distance) const {
    return {from.x + distance * std::cos(from.heading), from.y + distance * std::sin(from.heading),
            from.heading, from.curvature, 0.0};
}

} // namespace korvale::routes
