// The reference line of a road in the plane: OpenDRIVE's geometry records (line, arc, spiral,
// poly3, paramPoly3), each evaluated at a distance ds along it from its start. Positions are
// exact for lines and arcs and come from Gauss-Legendre quadrature for spirals (the heading is
// integrated) and poly3 (its arc length is), accurate to far below a millimetre; the curvature
// is always the record's own formula.
#pragma once

#include <vector>

namespace korvale::routes {

enum class GeometryKind { line, arc, spiral, poly3, param_poly3 };

// The record's element name in a map: "line", "arc", "spiral", "poly3", "paramPoly3".
const char* geometry_kind_name(GeometryKind kind);

// Where a record starts: s along the road, the position and heading (rad) there, its length.
struct RecordStart {
    double s = 0.0;
    double x = 0.0;
    double y = 0.0;
    double heading = 0.0;
    double length = 0.0;
};

// A point of the reference line: position, heading (rad), curvature (1/m, positive turning
// left) and its rate of change along the line (1/m^2).
struct PlanPose {
    double x = 0.0;
    double y = 0.0;
    double heading = 0.0;
    double curvature = 0.0;
    double curvature_rate = 0.0;
};

// The most a spiral record may turn (rad); a steeper one is refused as no road.
constexpr double MAX_SPIRAL_TURN = 10000.0;

class PlanGeometry {
public:
    static PlanGeometry line(const RecordStart& start);
    static PlanGeometry arc(const RecordStart& start, double curvature);
    // Curvature linear in ds from curvature_start to curvature_end. Throws RouteError for a
    // spiral that turns more than MAX_SPIRAL_TURN.
    static PlanGeometry spiral(const RecordStart& start, double curvature_start,
                               double curvature_end);
    // v(u) = a + b u + c u^2 + d u^3 in the record's frame (u along its start heading, v to the
    // left), u found so that the arc length from u = 0 is ds.
    static PlanGeometry poly3(const RecordStart& start, double a, double b, double c, double d);
    // u(p), v(p) cubic in p, with p = ds (arc length) or p = ds / length (normalized).
    static PlanGeometry param_poly3(const RecordStart& start, const double (&u)[4],
                                    const double (&v)[4], bool normalized);

    // The pose at ds from the record's start. Outside 0..length, lines, arcs and paramPoly3
    // continue by their formula; spirals and poly3 continue along the tangent at their end.
    PlanPose at(double ds) const;

    GeometryKind kind() const { return geometry_kind; }
    double s() const { return start.s; }
    double length() const { return start.length; }

private:
    // A point of a spiral's or poly3's table: parameter u, arc length, position in the
    // record's frame (spirals) or world (poly3 keeps only u and the arc length).
    struct Node {
        double u;
        double arc_length;
        double x;
        double y;
    };

    PlanGeometry(GeometryKind kind, const RecordStart& start) : geometry_kind(kind), start(start) {}
    PlanPose spiral_at(double ds) const;
    PlanPose poly3_at(double ds) const;
    PlanPose param_poly3_at(double p) const;
    PlanPose local_to_world(double u, double v, double local_heading, double curvature,
                            double curvature_rate) const;
    PlanPose along_tangent(const PlanPose& from, double distance) const;

    GeometryKind geometry_kind;
    RecordStart start;
    double coef_u[4] = {0, 0, 0, 0}; // arc: coef_u[0] curvature; spiral: start curvature and rate
    double coef_v[4] = {0, 0, 0, 0};
    bool normalized = false;
    std::vector<Node> table;
};

inline double record_start(const PlanGeometry& geometry) {
    return geometry.s();
}

} // namespace korvale::routes
