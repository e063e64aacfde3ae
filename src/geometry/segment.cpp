#include "segment.h"

namespace korvale {

Point3 Segment::closest_point(Point3 p) const {
    const Vector3 seg_vec = vector();
    const Vector3 pos_vec(p - start_);
    const double len = length();
    const double den = len * len > MIN_SQUARED_LENGTH ? len * len : MIN_SQUARED_LENGTH;
    const double t = seg_vec.dot(pos_vec) / den;
    const double c = 1.0 > t ? t : 1.0;
    const double proj = 0.0 > c ? 0.0 : c;
    if (len == 0.0) {
        return start_;
    }
    return start_ + (seg_vec * proj);
}

Point3 Segment::project_on_line(Point3 p) const {
    const Vector3 vh_n = vector().normalized();
    const Vector3 pos_vec(p - start_);
    const double proj = vh_n.dot(pos_vec);
    return start_ + (vh_n * proj);
}

Point3 Segment::point_at(double d, bool forward) const {
    const Vector3 n = vector().normalized();
    const Point3 step = n * d;
    return forward ? start_ + step : start_ - step;
}

} // namespace korvale
