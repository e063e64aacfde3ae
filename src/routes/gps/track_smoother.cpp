#include "routes/gps/track_smoother.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "routes/gps/curve_model.h"
#include "routes/gps/penalised_fit.h"
#include "routes/route_error.h"
#include "routes/route_file_writer.h"

namespace korvale::routes {

namespace {

// Knots of the fitted line lie this far apart along it, or farther on very long tracks.
constexpr double KNOT_SPACING = 1.0; // m
constexpr double MAX_KNOTS = 4e6;
// Fixes closer than this to the last one counted add no length to the first placing.
constexpr double THINNING_DISTANCE = 5.0; // m
constexpr int PLACING_PASSES = 3;
// The bandwidth of the placing passes: at least this, and at least twice the usual spacing.
constexpr double PLACING_BANDWIDTH = 8.0; // m
// A fix is projected onto the part of the line within this distance of where it was.
constexpr double PROJECTION_REACH = 40.0; // m
// Fixes all closer together than this make no line.
constexpr double MIN_TRACK_LENGTH = 0.01; // m
// The noise is taken as at least this: no recording places a road better.
constexpr double HORIZONTAL_NOISE_FLOOR = 0.5; // m
constexpr double VERTICAL_NOISE_FLOOR = 0.3;   // m
// The median absolute deviation of normal noise times this is its standard deviation.
constexpr double MEDIAN_TO_DEVIATION = 1.4826;
// Bandwidth ladders, m, each rung BANDWIDTH_RATIO times the one before.
constexpr double BANDWIDTH_RATIO = 1.4;
constexpr double HORIZONTAL_NARROWEST = 3.0, HORIZONTAL_WIDEST = 400.0;
constexpr double VERTICAL_NARROWEST = 40.0, VERTICAL_WIDEST = 1000.0;
// The curvature is taken from a bandwidth of at most this share of the radius, as seen by the
// bandwidths whose curvature is at least SIGNIFICANCE times its noise.
constexpr double CURVE_SHARE = 0.15;
constexpr double SIGNIFICANCE = 10.0;
// The positions are taken from a bandwidth of at most this (or the spacing of the fixes).
constexpr double POSITION_BANDWIDTH = 25.0; // m
// The grade is taken from the narrowest bandwidth whose grade is noisy by at most this.
constexpr double GRADE_NOISE = 0.004;
// Simulated noise runs per bandwidth, and their seed.
constexpr int NOISE_RUNS = 4;
constexpr unsigned NOISE_SEED = 20240611u;
// The density of fixes is taken as at least this, so that gaps keep a penalty.
constexpr double MIN_DENSITY = 1e-3; // fixes per m

struct Grid {
    std::size_t knots = 3;
    double spacing = 1.0;
};

Grid grid_for(double length) {
    Grid grid;
    const double intervals = std::min(MAX_KNOTS, std::max(2.0, std::ceil(length / KNOT_SPACING)));
    grid.knots = static_cast<std::size_t>(intervals) + 1;
    grid.spacing = length / intervals;
    return grid;
}

double median_of(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Running sums, for means over windows in O(1) each.
std::vector<double> prefix_sums(const std::vector<double>& values) {
    std::vector<double> sums(values.size() + 1, 0.0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        sums[i + 1] = sums[i] + values[i];
    }
    return sums;
}

// The mean of values over the knots within radius(j) knots of each knot j (cut at the ends).
template <class Radius>
std::vector<double> window_mean(const std::vector<double>& values, Radius&& radius) {
    const std::vector<double> sums = prefix_sums(values);
    const std::size_t m = values.size();
    std::vector<double> mean(m);
    for (std::size_t j = 0; j < m; ++j) {
        const auto r = static_cast<std::size_t>(std::max(0.0, radius(j)));
        const std::size_t first = j > r ? j - r : 0;
        const std::size_t last = std::min(m - 1, j + r);
        mean[j] = (sums[last + 1] - sums[first]) / static_cast<double>(last - first + 1);
    }
    return mean;
}

// The penalty weights for a bandwidth at each knot: rho b^4, with rho the density of fixes
// over the bandwidth (or over the usual spacing of fixes, when that is wider).
template <class Bandwidth>
std::vector<double> penalties(const PenalisedFit& fit, double fix_spacing, Bandwidth&& bandwidth) {
    const double h = fit.spacing();
    const std::vector<double> per_knot = window_mean(
        fit.knot_weights(), [&](std::size_t j) { return std::max(bandwidth(j), fix_spacing) / h; });
    std::vector<double> lambda(fit.knots());
    for (std::size_t j = 0; j < lambda.size(); ++j) {
        const double density = std::max(MIN_DENSITY, per_knot[j] / h);
        const double b = bandwidth(j);
        lambda[j] = density * b * b * b * b;
    }
    return lambda;
}

// First (order 1) or second (order 2) derivative at every knot.
std::vector<double> derivative(const std::vector<double>& f, double h, int order) {
    const std::size_t m = f.size();
    std::vector<double> d(m);
    for (std::size_t j = 1; j + 1 < m; ++j) {
        d[j] = order == 1 ? (f[j + 1] - f[j - 1]) / (2 * h)
                          : (f[j + 1] - 2 * f[j] + f[j - 1]) / (h * h);
    }
    d[0] = d[1];
    d[m - 1] = d[m - 2];
    return d;
}

std::vector<double> curvature_of(const std::vector<double>& x, const std::vector<double>& y,
                                 double h) {
    const std::vector<double> dx = derivative(x, h, 1), dy = derivative(y, h, 1);
    const std::vector<double> ddx = derivative(x, h, 2), ddy = derivative(y, h, 2);
    std::vector<double> k(x.size(), 0.0);
    for (std::size_t j = 0; j < k.size(); ++j) {
        const double speed = std::hypot(dx[j], dy[j]);
        if (speed > 0) {
            k[j] = (dx[j] * ddy[j] - dy[j] * ddx[j]) / (speed * speed * speed);
        }
    }
    return k;
}

std::vector<double> arc_of(const std::vector<double>& x, const std::vector<double>& y) {
    std::vector<double> arc(x.size(), 0.0);
    for (std::size_t j = 1; j < x.size(); ++j) {
        arc[j] = arc[j - 1] + std::hypot(x[j] - x[j - 1], y[j] - y[j - 1]);
    }
    return arc;
}

// A first place along the line for every fix: the distance between fixes at least
// THINNING_DISTANCE apart, shared out evenly among the fixes between them.
std::vector<double> first_places(const std::vector<TrackPoint>& points) {
    const std::size_t n = points.size();
    std::vector<double> u(n, 0.0);
    std::size_t last_kept = 0;
    double length = 0.0;
    for (std::size_t i = 1; i < n; ++i) {
        const double d =
            std::hypot(points[i].x - points[last_kept].x, points[i].y - points[last_kept].y);
        if (d >= THINNING_DISTANCE || i + 1 == n) {
            for (std::size_t k = last_kept + 1; k <= i; ++k) {
                u[k] = length +
                       d * static_cast<double>(k - last_kept) / static_cast<double>(i - last_kept);
            }
            length += d;
            last_kept = i;
        }
    }
    return u;
}

// Where a point projects onto the polyline of knots near knot `near`: the arc length there,
// and the distance.
std::pair<double, double> project(const std::vector<double>& fx, const std::vector<double>& fy,
                                  const std::vector<double>& arc, std::size_t near,
                                  std::size_t reach, double px, double py) {
    const std::size_t m = fx.size();
    const std::size_t first = near > reach ? near - reach : 0;
    const std::size_t last = std::min(m - 1, near + reach);
    double best = INFINITY, place = arc[std::min(near, m - 1)];
    for (std::size_t j = first; j < last; ++j) {
        const double ex = fx[j + 1] - fx[j], ey = fy[j + 1] - fy[j];
        const double length2 = ex * ex + ey * ey;
        double t = length2 > 0 ? ((px - fx[j]) * ex + (py - fy[j]) * ey) / length2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        const double dx = fx[j] + t * ex - px, dy = fy[j] + t * ey - py;
        const double d2 = dx * dx + dy * dy;
        if (d2 < best) {
            best = d2;
            place = arc[j] + t * (arc[j + 1] - arc[j]);
        }
    }
    return {place, std::sqrt(best)};
}

std::vector<double> ladder(double narrowest, double widest) {
    std::vector<double> rungs;
    for (double b = narrowest; b <= widest * 1.0001; b *= BANDWIDTH_RATIO) {
        rungs.push_back(b);
    }
    return rungs;
}

// What the bandwidth is chosen by: the curvature of two components (x, y), or the first
// derivative (the grade) of one (z).
struct Signal {
    std::vector<const std::vector<double>*> components;
    int order = 2;
    double noise = 1.0; // m per datum
};

std::vector<double> estimate(const PenalisedFit& fit, const Signal& signal) {
    if (signal.order == 2) {
        return curvature_of(fit.solve(*signal.components[0]), fit.solve(*signal.components[1]),
                            fit.spacing());
    }
    return derivative(fit.solve(*signal.components[0]), fit.spacing(), 1);
}

// The estimate of every rung of the ladder at every knot, and its noise: the deviation of the
// same estimate from fits of simulated white noise of the measured size, averaged over the
// rung's bandwidth.
struct RungEstimates {
    std::vector<std::vector<float>> value, deviation; // [rung][knot]
};

RungEstimates estimate_rungs(PenalisedFit& fit, const Signal& signal, double fix_spacing,
                             const std::vector<double>& rungs) {
    const std::size_t m = fit.knots();
    const double h = fit.spacing();
    std::mt19937 random(NOISE_SEED);
    std::normal_distribution<double> normal(0.0, signal.noise);
    std::vector<double> noise(signal.components[0]->size());
    RungEstimates out;
    for (const double b : rungs) {
        fit.factor(penalties(fit, fix_spacing, [b](std::size_t) { return b; }));
        const std::vector<double> value = estimate(fit, signal);
        std::vector<double> variance(m, 0.0);
        for (int run = 0; run < NOISE_RUNS; ++run) {
            for (double& v : noise) {
                v = normal(random);
            }
            const std::vector<double> d = derivative(fit.solve(noise), h, signal.order);
            for (std::size_t j = 0; j < m; ++j) {
                variance[j] += d[j] * d[j] / NOISE_RUNS;
            }
        }
        variance =
            window_mean(variance, [&](std::size_t) { return std::max(b, 2 * fix_spacing) / h; });
        out.value.emplace_back(value.begin(), value.end());
        std::vector<float>& deviation = out.deviation.emplace_back(m);
        for (std::size_t j = 0; j < m; ++j) {
            deviation[j] = static_cast<float>(std::sqrt(variance[j]));
        }
    }
    return out;
}

// The bandwidth for the curvature at a knot: CURVE_SHARE of the smallest radius that any rung
// sees there with a curvature of at least SIGNIFICANCE times its noise, but not below the
// narrowest such rung; the widest rung where none sees one. Rungs narrower than the spacing of
// the fixes there are not trusted.
double curvature_bandwidth(const RungEstimates& e, const std::vector<double>& rungs, std::size_t j,
                           double narrowest) {
    double wanted = rungs.back(), floor = rungs.back();
    for (std::size_t k = 0; k < rungs.size(); ++k) {
        const double curvature = std::fabs(e.value[k][j]);
        if (rungs[k] >= narrowest && curvature > 0 &&
            curvature >= SIGNIFICANCE * e.deviation[k][j]) {
            wanted = std::min(wanted, CURVE_SHARE / curvature);
            floor = std::min(floor, rungs[k]);
        }
    }
    return std::clamp(wanted, floor, rungs.back());
}

// The rung for the grade at a knot: the narrowest whose grade noise is at most GRADE_NOISE.
std::size_t grade_rung(const RungEstimates& e, const std::vector<double>& rungs, std::size_t j) {
    for (std::size_t k = 0; k < rungs.size(); ++k) {
        if (e.deviation[k][j] <= GRADE_NOISE) {
            return k;
        }
    }
    return rungs.size() - 1;
}

// The bandwidth at every knot (see the header), smoothed on a log scale over half its width.
std::vector<double> choose_bandwidth(PenalisedFit& fit, const Signal& signal, double fix_spacing,
                                     const std::vector<double>& rungs) {
    const std::size_t m = fit.knots();
    const double h = fit.spacing();
    const RungEstimates e = estimate_rungs(fit, signal, fix_spacing, rungs);
    // No bandwidth narrower than the spacing of the fixes there is trusted.
    const std::vector<double> per_knot =
        window_mean(fit.knot_weights(), [&](std::size_t) { return 2 * fix_spacing / h; });
    std::vector<double> bandwidth(m), log_b(m);
    for (std::size_t j = 0; j < m; ++j) {
        const double spacing = h / std::max(per_knot[j], MIN_DENSITY * h);
        bandwidth[j] = signal.order == 2 ? curvature_bandwidth(e, rungs, j, spacing)
                                         : rungs[grade_rung(e, rungs, j)];
        log_b[j] = std::log(bandwidth[j]);
    }
    const std::vector<double> smooth =
        window_mean(log_b, [&](std::size_t j) { return 0.5 * bandwidth[j] / h; });
    for (std::size_t j = 0; j < m; ++j) {
        bandwidth[j] = std::exp(smooth[j]);
    }
    return bandwidth;
}

// The fits of the ladder's rungs blended at each knot by where its bandwidth lies between two
// rungs (on a log scale): every component's values, and the estimate (curvature or grade) of
// each fit blended alike. A single fit whose penalty varied along the line instead would bend
// where the penalty changes (its second derivative times the penalty is what stays smooth).
struct Blend {
    std::vector<std::vector<double>> components;
    std::vector<double> estimate;
};

Blend blend(PenalisedFit& fit, const Signal& signal, double fix_spacing,
            const std::vector<double>& rungs, const std::vector<double>& bandwidth) {
    const std::size_t m = fit.knots();
    const double top = static_cast<double>(rungs.size() - 1);
    std::vector<double> place(m);
    for (std::size_t j = 0; j < m; ++j) {
        place[j] = std::clamp(std::log(bandwidth[j] / rungs.front()) / std::log(BANDWIDTH_RATIO),
                              0.0, top);
    }
    Blend out;
    out.components.assign(signal.components.size(), std::vector<double>(m, 0.0));
    out.estimate.assign(m, 0.0);
    for (std::size_t k = 0; k < rungs.size(); ++k) {
        std::vector<double> weight(m, 0.0);
        bool used = false;
        for (std::size_t j = 0; j < m; ++j) {
            weight[j] = std::max(0.0, 1 - std::fabs(place[j] - static_cast<double>(k)));
            used = used || weight[j] > 0;
        }
        if (!used) {
            continue;
        }
        const double b = rungs[k];
        fit.factor(penalties(fit, fix_spacing, [b](std::size_t) { return b; }));
        std::vector<std::vector<double>> fitted;
        for (const std::vector<double>* component : signal.components) {
            fitted.push_back(fit.solve(*component));
        }
        const std::vector<double> value = signal.order == 2
                                              ? curvature_of(fitted[0], fitted[1], fit.spacing())
                                              : derivative(fitted[0], fit.spacing(), 1);
        for (std::size_t j = 0; j < m; ++j) {
            for (std::size_t c = 0; c < fitted.size(); ++c) {
                out.components[c][j] += weight[j] * fitted[c][j];
            }
            out.estimate[j] += weight[j] * value[j];
        }
    }
    return out;
}

} // namespace

double rough_length(const std::vector<TrackPoint>& points) {
    return points.empty() ? 0.0 : first_places(points).back();
}

namespace {

// The fixes, as columns, and where they lie along the line (m).
struct FixColumns {
    std::vector<double> x, y, z;
    std::vector<double> u;
    double spacing = 0.0; // m, the median distance between fixes along the line
};

[[noreturn]] void all_together() {
    throw RouteError("the fixes of the track all lie within " + number_text(MIN_TRACK_LENGTH) +
                     " m of each other");
}

FixColumns columns_of(const std::vector<TrackPoint>& points) {
    const std::size_t n = points.size();
    FixColumns fixes;
    fixes.x.resize(n);
    fixes.y.resize(n);
    fixes.z.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        fixes.x[i] = points[i].x;
        fixes.y[i] = points[i].y;
        fixes.z[i] = points[i].z;
    }
    fixes.u = first_places(points);
    if (!(fixes.u.back() >= MIN_TRACK_LENGTH)) {
        all_together();
    }
    std::vector<double> steps;
    for (std::size_t i = 1; i < n; ++i) {
        if (fixes.u[i] > fixes.u[i - 1]) {
            steps.push_back(fixes.u[i] - fixes.u[i - 1]);
        }
    }
    fixes.spacing = median_of(steps);
    return fixes;
}

// 1. Arc length: fit, project, again. Returns the fixes' distances from the last fit.
std::vector<double> place_fixes(FixColumns& fixes) {
    std::vector<double>& u = fixes.u;
    std::vector<double> distance(u.size(), 0.0);
    const double placing = std::max(PLACING_BANDWIDTH, 2 * fixes.spacing);
    for (int pass = 0; pass < PLACING_PASSES; ++pass) {
        const Grid grid = grid_for(u.back() > 0 ? *std::max_element(u.begin(), u.end()) : 1.0);
        PenalisedFit fit(grid.knots, grid.spacing, u);
        fit.factor(penalties(fit, fixes.spacing, [placing](std::size_t) { return placing; }));
        const std::vector<double> fx = fit.solve(fixes.x), fy = fit.solve(fixes.y);
        const std::vector<double> arc = arc_of(fx, fy);
        const auto reach = static_cast<std::size_t>(std::ceil(PROJECTION_REACH / grid.spacing));
        for (std::size_t i = 0; i < u.size(); ++i) {
            const auto near = static_cast<std::size_t>(std::lround(u[i] / grid.spacing));
            const auto [place, off] = project(fx, fy, arc, near, reach, fixes.x[i], fixes.y[i]);
            u[i] = place;
            distance[i] = off;
        }
        if (!(arc.back() >= MIN_TRACK_LENGTH)) {
            all_together();
        }
    }
    return distance;
}

// 2-4. Horizontal: bandwidth by curvature, then the line; 5. the curves.
void smooth_plan(const FixColumns& fixes, PenalisedFit& fit, SmoothedLine& line) {
    Signal horizontal{
        {&fixes.x, &fixes.y}, 2, std::max(HORIZONTAL_NOISE_FLOOR, line.horizontal_noise)};
    const std::vector<double> across = ladder(HORIZONTAL_NARROWEST, HORIZONTAL_WIDEST);
    line.bandwidth = choose_bandwidth(fit, horizontal, fixes.spacing, across);
    line.curvature = blend(fit, horizontal, fixes.spacing, across, line.bandwidth).estimate;
    // The positions follow the fixes more closely than the curvature may.
    std::vector<double> closer(line.bandwidth.size());
    for (std::size_t j = 0; j < closer.size(); ++j) {
        closer[j] = std::min(line.bandwidth[j], std::max(POSITION_BANDWIDTH, fixes.spacing));
    }
    Blend plan = blend(fit, horizontal, fixes.spacing, across, closer);
    line.x = std::move(plan.components[0]);
    line.y = std::move(plan.components[1]);
    line.arc = arc_of(line.x, line.y);
    // The curves: their curvature from a road curve fitted to their fixes.
    std::vector<double> fix_knot(fixes.u.size());
    for (std::size_t i = 0; i < fix_knot.size(); ++i) {
        fix_knot[i] = fixes.u[i] / fit.spacing();
    }
    refit_curves(fixes.x, fixes.y, fix_knot, horizontal.noise, line.x, line.y, line.curvature);
}

// Heights: bandwidth by grade.
void smooth_heights(const FixColumns& fixes, PenalisedFit& fit, SmoothedLine& line) {
    const std::size_t n = fixes.z.size();
    fit.factor(penalties(fit, fixes.spacing, [](std::size_t) { return 50.0; }));
    const std::vector<double> rough = fit.at_data(fit.solve(fixes.z));
    std::vector<double> residual(n);
    for (std::size_t i = 0; i < n; ++i) {
        residual[i] = std::fabs(fixes.z[i] - rough[i]);
    }
    line.vertical_noise = MEDIAN_TO_DEVIATION * median_of(residual);
    Signal vertical{{&fixes.z}, 1, std::max(VERTICAL_NOISE_FLOOR, line.vertical_noise)};
    const std::vector<double> up = ladder(VERTICAL_NARROWEST, VERTICAL_WIDEST);
    const std::vector<double> bandwidth = choose_bandwidth(fit, vertical, fixes.spacing, up);
    line.z = std::move(blend(fit, vertical, fixes.spacing, up, bandwidth).components[0]);
}

} // namespace

SmoothedLine smooth_track(const std::vector<TrackPoint>& points, const SmoothingOptions& options) {
    if (points.size() < MIN_TRACK_FIXES) {
        throw RouteError("a track needs at least " + std::to_string(MIN_TRACK_FIXES) +
                         " distinct fixes, it has " + std::to_string(points.size()));
    }
    FixColumns fixes = columns_of(points);
    const std::vector<double> distance = place_fixes(fixes);
    const std::vector<double>& u = fixes.u;
    const double length = std::max(MIN_TRACK_LENGTH, *std::max_element(u.begin(), u.end()));
    const Grid grid = grid_for(length);
    PenalisedFit fit(grid.knots, grid.spacing, u);

    SmoothedLine line;
    line.fix_arc = u;
    line.horizontal_noise = MEDIAN_TO_DEVIATION * median_of(distance);
    smooth_plan(fixes, fit, line);
    if (options.with_height) {
        smooth_heights(fixes, fit, line);
    } else {
        line.z.assign(grid.knots, 0.0);
    }
    return line;
}

} // namespace korvale::routes
