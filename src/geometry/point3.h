// Plain 3-D value types: a position (Point3) and a displacement (Vector3).
#pragma once

#include <cmath>

namespace korvale {

// The smallest divisor that Vector3::normalized() uses, so that a zero vector stays zero.
constexpr double MIN_NORM = 1e-7;

struct Point3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    constexpr Point3() = default;
    constexpr Point3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

    constexpr double get_x() const { return x; }
    constexpr double get_y() const { return y; }
    constexpr double get_z() const { return z; }

    constexpr Point3 operator-(const Point3& q) const { return {x - q.x, y - q.y, z - q.z}; }
    constexpr Point3 operator+(const Point3& q) const { return {x + q.x, y + q.y, z + q.z}; }
    constexpr Point3 operator*(double s) const { return {x * s, y * s, z * s}; }
    constexpr Point3 operator/(double s) const { return {x / s, y / s, z / s}; }
    // Adds the same number to every coordinate.
    constexpr Point3 operator+(double s) const { return {x + s, y + s, z + s}; }

    // Exact IEEE equality of all three coordinates: NaN never matches, 0.0 equals -0.0.
    constexpr bool operator==(const Point3& q) const { return x == q.x && y == q.y && z == q.z; }
    constexpr bool operator!=(const Point3& q) const { return !(*this == q); }
};

// A displacement between two positions. It has no fields of its own; its arithmetic is that of
// Point3 and gives Point3 values.
struct Vector3 : Point3 {
    constexpr Vector3() = default;
    constexpr explicit Vector3(const Point3& p) : Point3(p) {}

    double norm() const { return std::sqrt((x * x + y * y) + z * z); }

    // The vector divided by its length, the divisor floored at MIN_NORM: the zero vector stays
    // zero and a vector shorter than MIN_NORM comes out shorter than unit length.
    Vector3 normalized() const {
        const double n = norm();
        const double d = MIN_NORM > n ? MIN_NORM : n;
        return Vector3(*this / d);
    }

    constexpr double dot(const Point3& w) const { return (x * w.x + y * w.y) + z * w.z; }
};

// Square of the Euclidean distance between two points: the sum under the root of
// distance_between(), so that comparing squares where they differ orders the distances too.
constexpr double squared_distance_between(const Point3& a, const Point3& b) {
    const Point3 v = a - b;
    return (v.x * v.x + v.y * v.y) + v.z * v.z;
}

// Euclidean distance between two points.
inline double distance_between(const Point3& a, const Point3& b) {
    return Vector3(a - b).norm();
}

} // namespace korvale
