// The straight piece of the route between two points, built on demand and never stored.
#pragma once

#include "geometry/point3.h"

namespace korvale {

// Smallest squared length that closest_point() divides by.
constexpr double MIN_SQUARED_LENGTH = 1e-6;

struct Segment {
    Point3 start;
    Point3 end;

    constexpr Segment() = default;
    constexpr Segment(const Point3& from, const Point3& to) : start(from), end(to) {}

    // end - start, not normalised.
    constexpr Vector3 vector() const { return Vector3(end - start); }
    double length() const { return vector().norm(); }

    // The point of the segment nearest to p (clamped projection, denominator floored at
    // MIN_SQUARED_LENGTH; a NaN parameter clamps to the end).
    Point3 closest_point(Point3 p) const { return closest_point(p, length()); }
    // The same for a segment whose length() is already known.
    Point3 closest_point(Point3 p, double len) const {
        const Vector3 seg_vec = vector();
        const Vector3 pos_vec(p - start);
        const double den = len * len > MIN_SQUARED_LENGTH ? len * len : MIN_SQUARED_LENGTH;
        const double t = seg_vec.dot(pos_vec) / den;
        const double c = 1.0 > t ? t : 1.0;
        const double proj = 0.0 > c ? 0.0 : c;
        if (len == 0.0) {
            return start;
        }
        return start + (seg_vec * proj);
    }
    // Foot of the perpendicular from p on the unbounded line through the segment.
    Point3 project_on_line(Point3 p) const;
    // The point at distance d from start along (forward) or against the segment's direction;
    // d is not clamped.
    Point3 point_at(double d, bool forward) const;
};

} // namespace korvale
