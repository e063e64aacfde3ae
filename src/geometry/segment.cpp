#include "geometry/segment.h"

namespace korvale {

Point3 Segment::project_on_line(Point3 p) const {
    const Vector3 vh_n = vector().normalized();
    const Vector3 pos_vec(p - start);
    const double proj = vh_n.dot(pos_vec);
    return start + (vh_n * proj);
}

Point3 Segment::point_at(double d, bool forward) const {
    const Vector3 n = vector().normalized();
    const Point3 step = n * d;
    return forward ? start + step : start - step;
}

} // namespace korvale
