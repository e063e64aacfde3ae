#include "routes/gps/curve_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace korvale::routes {

namespace {

constexpr double PI = 3.14159265358979323846;
// A knot turns where its curvature is at least this (a radius of 2 km).
constexpr double TURN_FLOOR = 5e-4; // 1/m
// Runs of one sign closer than this are one turn.
constexpr double TURN_GAP = 10.0; // m
// A turn's core: where its curvature is at least this share of its peak.
constexpr double CORE_SHARE = 0.25;
// A turn is fitted when it turns by at least this in all.
constexpr double MIN_TURN = 0.17; // rad, about 10 degrees
// The line's heading at a knot: from this many knots either side.
constexpr std::size_t HEADING_KNOTS = 5;
// The fixes of the straights either side: as far from the turn's core as the core is long,
// within these bounds, and no farther than half way to the next turn's core. Turns whose
// core is longer than MAX_CORE (a ring road, a test track) keep the spline.
constexpr double MIN_REACH = 100.0, MAX_REACH = 250.0; // m
constexpr double MAX_CORE = 2000.0;                    // m
// The model starts and ends this far beyond the fixes, so that every fix has a foot on it.
constexpr double OVERHANG = 30.0; // m
// The model is traced at this step.
constexpr double TRACE_STEP = 0.5; // m
// A fix's foot on the model is looked for this far either side of where it was.
constexpr double FOOT_REACH = 40.0; // m
// Fixes farther from the model than this many times the noise count linearly (Huber).
constexpr double HUBER = 2.5;
constexpr int MAX_ITERATIONS = 60;
// Clothoids are taken as about this share of the radius long, give or take 1 / weight.
constexpr double CLOTHOID_SHARE = 1.0 / 3;
constexpr double CLOTHOID_PRIOR_WEIGHT = 3.0;
// The fits start with these shares of the curve in clothoids.
constexpr double CLOTHOID_SHARES[] = {0.0, 0.4, 0.8};
constexpr int MAX_DAMPING_TRIES = 12;
constexpr double CONVERGED = 1e-9; // relative decrease of the cost
// The model holds when its fixes lie within this many times the noise of it (root mean
// square), its turn is the spline's within TURN_AGREEMENT (and TURN_SLACK), and it has at
// least MIN_STRAIGHT of fixes on the straight either side.
constexpr double FIT_RATIO = 1.6;
constexpr double TURN_AGREEMENT = 0.2, TURN_SLACK = 0.1; // share, rad
constexpr double MIN_STRAIGHT = 10.0;                    // m
// The model's curvature replaces the line's over the curve and this much straight either side.
constexpr double MARGIN = 40.0;            // m
constexpr double MAX_CURVATURE = 0.5;      // 1/m
constexpr double MIN_CURVATURE = 1e-5;     // 1/m
constexpr double MAX_TURN = 2 * PI;        // rad
constexpr std::size_t MIN_FIT_FIXES = 12;  // fixes in the window at the least
constexpr std::size_t MIN_CURVE_FIXES = 3; // of them on the curve

constexpr std::size_t PARAMETERS = 8;
using Vector = std::array<double, PARAMETERS>;
using Matrix = std::array<Vector, PARAMETERS>;

// The parameters of the fit: the start (x0, y0, heading), the middle of the curve, the two
// clothoids, the turn and the curvature. Turn and curvature apart, the arc follows from them:
// the fit then moves along the valley of the turn that the straights pin, not across it.
CurveModel model_of(const Vector& p) {
    CurveModel m;
    m.x0 = p[0];
    m.y0 = p[1];
    m.heading = p[2];
    m.entry = p[4];
    m.exit = p[5];
    m.curvature = p[7];
    m.arc = std::max(0.0, p[6] / p[7] - 0.5 * (p[4] + p[5]));
    m.lead = p[3] - 0.5 * (m.entry + m.arc + m.exit);
    return m;
}

Vector vector_of(const CurveModel& m) {
    return {m.x0,    m.y0,   m.heading, m.lead + 0.5 * (m.entry + m.arc + m.exit),
            m.entry, m.exit, m.turn(),  m.curvature};
}

// The model traced from its start at TRACE_STEP.
struct Path {
    std::vector<double> x, y;

    void at(double s, double& px, double& py) const {
        const double last = static_cast<double>(x.size() - 1);
        const double at = std::clamp(s / TRACE_STEP, 0.0, last);
        const auto k = std::min(static_cast<std::size_t>(at), x.size() - 2);
        const double t = at - static_cast<double>(k);
        px = x[k] + t * (x[k + 1] - x[k]);
        py = y[k] + t * (y[k + 1] - y[k]);
    }
};

Path trace(const CurveModel& m, double length) {
    const auto n = static_cast<std::size_t>(std::ceil(length / TRACE_STEP)) + 1;
    Path path;
    path.x.resize(std::max<std::size_t>(n, 2));
    path.y.resize(path.x.size());
    path.x[0] = m.x0;
    path.y[0] = m.y0;
    double last = NAN, cos_h = 0.0, sin_h = 0.0; // on the straights the heading stays
    for (std::size_t k = 1; k < path.x.size(); ++k) {
        const double h = m.heading_at((static_cast<double>(k) - 0.5) * TRACE_STEP);
        if (h != last) {
            last = h;
            cos_h = std::cos(h);
            sin_h = std::sin(h);
        }
        path.x[k] = path.x[k - 1] + TRACE_STEP * cos_h;
        path.y[k] = path.y[k - 1] + TRACE_STEP * sin_h;
    }
    return path;
}

// Where a point lies along the path near s (its foot), and its distance from the path there,
// positive to the left.
struct Foot {
    double s = 0.0;
    double offset = 0.0;
    double nx = 0.0, ny = 0.0; // the path's normal there, to the left
};

Foot foot_of(const Path& path, double px, double py, double near) {
    // From the segment at near, along the path while the point lies beyond the segment's end
    // (or before its start), but no farther than FOOT_REACH.
    const std::size_t segments = path.x.size() - 1;
    const double at = std::clamp(near / TRACE_STEP, 0.0, static_cast<double>(segments - 1));
    auto k = static_cast<std::size_t>(at);
    const auto steps = static_cast<int>(FOOT_REACH / TRACE_STEP);
    double t = 0.0, ex = 0.0, ey = 0.0;
    int moved = 0; // the direction of the last step
    for (int step = 0; step <= steps; ++step) {
        ex = path.x[k + 1] - path.x[k];
        ey = path.y[k + 1] - path.y[k];
        t = ((px - path.x[k]) * ex + (py - path.y[k]) * ey) / (ex * ex + ey * ey);
        if (t > 1 && k + 1 < segments && moved >= 0) {
            ++k;
            moved = 1;
        } else if (t < 0 && k > 0 && moved <= 0) {
            --k;
            moved = -1;
        } else {
            break;
        }
    }
    t = std::clamp(t, 0.0, 1.0);
    const double length = std::sqrt(ex * ex + ey * ey);
    Foot foot;
    foot.s = (static_cast<double>(k) + t) * TRACE_STEP;
    foot.nx = -ey / length;
    foot.ny = ex / length;
    foot.offset = (px - path.x[k] - t * ex) * foot.nx + (py - path.y[k] - t * ey) * foot.ny;
    return foot;
}

// The fixes of one turn in the frame of its window, and their feet on the model.
struct FitData {
    std::vector<double> x, y;
    std::vector<Foot> feet;
    double length = 0.0; // m of model
    double noise = 1.0;  // m
};

double huber_weight(double r, double noise) {
    const double a = std::fabs(r), c = HUBER * noise;
    return a <= c ? 1.0 : c / a;
}

double huber_cost(double r, double noise) {
    const double a = std::fabs(r), c = HUBER * noise;
    return a <= c ? r * r : c * (2 * a - c);
}

// What the fixes leave open, road design settles: a curve's clothoids are most often about a
// third of its radius long (the clothoid parameter A = sqrt(R L) between R / 3 and R makes
// them R / 9 to R). Each clothoid weighs in like one fix that lies CLOTHOID_PRIOR_WEIGHT noises
// off per radius of difference from that.
double clothoid_residual(double length, double curvature, double noise) {
    return CLOTHOID_PRIOR_WEIGHT * noise * (length * std::fabs(curvature) - CLOTHOID_SHARE);
}

double prior_cost(const CurveModel& m, double noise) {
    const double a = clothoid_residual(m.entry, m.curvature, noise);
    const double b = clothoid_residual(m.exit, m.curvature, noise);
    return a * a + b * b;
}

// The feet of the fixes on the model (each near its foot before) and the cost.
double evaluate(const CurveModel& m, FitData& data, std::vector<Foot>& feet) {
    const Path path = trace(m, data.length);
    double cost = prior_cost(m, data.noise);
    for (std::size_t i = 0; i < data.x.size(); ++i) {
        feet[i] = foot_of(path, data.x[i], data.y[i], feet[i].s);
        cost += huber_cost(feet[i].offset, data.noise);
    }
    return cost;
}

// Keeps the model a road curve: lengths not negative, the curve inside the model, the
// curvature of its sign and size.
Vector constrained(Vector p, double length, double sign) {
    p[7] = sign * std::clamp(sign * p[7], MIN_CURVATURE, MAX_CURVATURE);
    p[6] = sign * std::clamp(sign * p[6], 0.5 * MIN_TURN, MAX_TURN);
    // The curve no longer than the model, the clothoids no longer than the turn allows.
    const double turned = std::min(p[6] / p[7], length);
    p[6] = turned * p[7];
    p[4] = std::max(0.0, p[4]);
    p[5] = std::max(0.0, p[5]);
    if (p[4] + p[5] > 2 * turned) {
        const double scale = 2 * turned / (p[4] + p[5]);
        p[4] *= scale;
        p[5] *= scale;
    }
    const double half = 0.5 * (turned + 0.5 * (p[4] + p[5]));
    p[3] = std::max(half, std::min(p[3], length - half));
    return p;
}

// Solves a x = b for symmetric positive definite a (Cholesky); false when it is not.
bool solve(Matrix a, Vector b, Vector& x) {
    for (std::size_t j = 0; j < PARAMETERS; ++j) {
        double d = a[j][j];
        for (std::size_t k = 0; k < j; ++k) {
            d -= a[j][k] * a[j][k];
        }
        if (!(d > 0)) {
            return false;
        }
        a[j][j] = std::sqrt(d);
        for (std::size_t i = j + 1; i < PARAMETERS; ++i) {
            double v = a[i][j];
            for (std::size_t k = 0; k < j; ++k) {
                v -= a[i][k] * a[j][k];
            }
            a[i][j] = v / a[j][j];
        }
    }
    for (std::size_t i = 0; i < PARAMETERS; ++i) {
        for (std::size_t k = 0; k < i; ++k) {
            b[i] -= a[i][k] * b[k];
        }
        b[i] /= a[i][i];
    }
    for (std::size_t i = PARAMETERS; i-- > 0;) {
        for (std::size_t k = i + 1; k < PARAMETERS; ++k) {
            b[i] -= a[k][i] * b[k];
        }
        b[i] /= a[i][i];
    }
    x = b;
    return std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); });
}

// Levenberg-Marquardt on the fixes' distances from the model. The derivatives are taken at
// the feet held still (the distance changes only across the path there): of the start's
// place and heading as they stand, of the curve's parameters by differences.
CurveModel fit(CurveModel start, FitData& data) {
    const double sign = start.curvature < 0 ? -1.0 : 1.0;
    Vector p = constrained(vector_of(start), data.length, sign);
    const std::size_t n = data.x.size();
    double cost = evaluate(model_of(p), data, data.feet);
    double damping = 1e-3;
    for (int iteration = 0; iteration < MAX_ITERATIONS; ++iteration) {
        const Path path = trace(model_of(p), data.length);
        std::vector<double> cx(n), cy(n), weight(n);
        for (std::size_t i = 0; i < n; ++i) {
            path.at(data.feet[i].s, cx[i], cy[i]);
            weight[i] = huber_weight(data.feet[i].offset, data.noise);
        }
        Matrix a{};
        Vector g{};
        std::vector<Vector> jacobian(n);
        // The start moves the whole path; turning it turns the path about the start.
        for (std::size_t i = 0; i < n; ++i) {
            const Foot& foot = data.feet[i];
            jacobian[i][0] = -foot.nx;
            jacobian[i][1] = -foot.ny;
            jacobian[i][2] = -(-(cy[i] - p[1]) * foot.nx + (cx[i] - p[0]) * foot.ny);
        }
        for (std::size_t q = 3; q < PARAMETERS; ++q) {
            Vector moved = p;
            const double delta =
                q == 6 ? 1e-5 : (q == 7 ? std::max(1e-8, 1e-4 * std::fabs(p[7])) : 1e-3);
            moved[q] += delta;
            const Path other = trace(model_of(moved), data.length);
            for (std::size_t i = 0; i < n; ++i) {
                double ox = 0, oy = 0;
                other.at(data.feet[i].s, ox, oy);
                jacobian[i][q] =
                    -((ox - cx[i]) * data.feet[i].nx + (oy - cy[i]) * data.feet[i].ny) / delta;
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t q = 0; q < PARAMETERS; ++q) {
                g[q] += weight[i] * jacobian[i][q] * data.feet[i].offset;
                for (std::size_t r = 0; r <= q; ++r) {
                    a[q][r] += weight[i] * jacobian[i][q] * jacobian[i][r];
                }
            }
        }
        // The clothoids' prior: residuals in entry (exit) and the curvature.
        for (const std::size_t q : {std::size_t{4}, std::size_t{5}}) {
            const double r = clothoid_residual(p[q], p[7], data.noise);
            const double dl = CLOTHOID_PRIOR_WEIGHT * data.noise * std::fabs(p[7]);
            const double dk = CLOTHOID_PRIOR_WEIGHT * data.noise * p[q] * sign;
            g[q] += dl * r;
            g[7] += dk * r;
            a[q][q] += dl * dl;
            a[7][7] += dk * dk;
            a[7][q] += dl * dk;
        }
        for (std::size_t q = 0; q < PARAMETERS; ++q) {
            for (std::size_t r = 0; r < q; ++r) {
                a[r][q] = a[q][r];
            }
        }
        bool improved = false;
        for (int attempt = 0; attempt < MAX_DAMPING_TRIES && !improved; ++attempt) {
            Matrix damped = a;
            for (std::size_t q = 0; q < PARAMETERS; ++q) {
                damped[q][q] += damping * a[q][q] + 1e-12;
            }
            Vector step{}, minus_g{};
            for (std::size_t q = 0; q < PARAMETERS; ++q) {
                minus_g[q] = -g[q];
            }
            if (solve(damped, minus_g, step)) {
                Vector next = p;
                for (std::size_t q = 0; q < PARAMETERS; ++q) {
                    next[q] += step[q];
                }
                next = constrained(next, data.length, sign);
                std::vector<Foot> feet = data.feet;
                const double next_cost = evaluate(model_of(next), data, feet);
                if (next_cost < cost) {
                    const double decrease = (cost - next_cost) / std::max(cost, 1e-300);
                    p = next;
                    cost = next_cost;
                    data.feet = std::move(feet);
                    damping = std::max(1e-9, damping / 3);
                    improved = true;
                    if (decrease < CONVERGED) {
                        return model_of(p);
                    }
                    continue;
                }
            }
            damping *= 4;
        }
        if (!improved) {
            break;
        }
    }
    return model_of(p);
}

double heading_of(const std::vector<double>& x, const std::vector<double>& y, std::size_t j,
                  std::size_t half) {
    const std::size_t a = j > half ? j - half : 0, b = std::min(x.size() - 1, j + half);
    return std::atan2(y[b] - y[a], x[b] - x[a]);
}

// How far the line turns from knot a to knot b (not wrapped: a hairpin turns by more than pi).
double turned_between(const std::vector<double>& x, const std::vector<double>& y, std::size_t a,
                      std::size_t b) {
    double turned = 0.0, before = heading_of(x, y, a, HEADING_KNOTS);
    for (std::size_t j = a + 1; j <= b; ++j) {
        const double heading = heading_of(x, y, j, HEADING_KNOTS);
        turned += std::remainder(heading - before, 2 * PI);
        before = heading;
    }
    return turned;
}

// The length of line that a knot stands for: half way to the knots on either side.
double knot_length(const std::vector<double>& arc, std::size_t k) {
    return 0.5 * (arc[std::min(k + 1, arc.size() - 1)] - arc[k > 0 ? k - 1 : 0]);
}

std::size_t knot_at(const std::vector<double>& arc, double s) {
    const auto at = std::lower_bound(arc.begin(), arc.end(), s);
    return std::min(static_cast<std::size_t>(at - arc.begin()), arc.size() - 1);
}

} // namespace

double CurveModel::curvature_at(double s) const {
    double t = s - lead;
    if (t < 0) {
        return 0.0;
    }
    if (t < entry) {
        return curvature * t / entry;
    }
    t -= entry;
    if (t <= arc) {
        return curvature;
    }
    t -= arc;
    return t < exit ? curvature * (1 - t / exit) : 0.0;
}

double CurveModel::heading_at(double s) const {
    double t = s - lead;
    if (t <= 0) {
        return heading;
    }
    if (t < entry) {
        return heading + curvature * t * t / (2 * entry);
    }
    double h = heading + curvature * entry / 2;
    t -= entry;
    if (t < arc) {
        return h + curvature * t;
    }
    h += curvature * arc;
    t -= arc;
    if (t < exit) {
        return h + curvature * (t - t * t / (2 * exit));
    }
    return h + curvature * exit / 2;
}

std::vector<Turn> find_turns(const std::vector<double>& curvature, const std::vector<double>& arc) {
    // Runs of one sign, joined across short gaps.
    std::vector<Turn> runs;
    const std::size_t m = curvature.size();
    std::size_t j = 0;
    while (j < m) {
        if (!(std::fabs(curvature[j]) >= TURN_FLOOR)) {
            ++j;
            continue;
        }
        const bool left = curvature[j] > 0;
        Turn run{j, j, j, j, left ? 1.0 : -1.0};
        while (j < m && std::fabs(curvature[j]) >= TURN_FLOOR && (curvature[j] > 0) == left) {
            run.last = j++;
        }
        if (!runs.empty() && (runs.back().angle > 0) == left &&
            arc[run.first] - arc[runs.back().last] <= TURN_GAP) {
            runs.back().last = run.last;
        } else {
            runs.push_back(run);
        }
    }
    // Each run split where its curvature falls well below the peaks on either side: two
    // curves the same way with a straight between them are two turns. A turn's core is where
    // its curvature is at least CORE_SHARE of its peak.
    std::vector<Turn> pieces;
    while (!runs.empty()) {
        Turn run = runs.back();
        runs.pop_back();
        double peak = 0.0;
        for (std::size_t k = run.first; k <= run.last; ++k) {
            peak = std::max(peak, std::fabs(curvature[k]));
        }
        const double core = CORE_SHARE * peak;
        std::size_t split = 0;
        bool in_core = false, left_core = false;
        double lowest = INFINITY;
        run.core_first = run.last;
        run.core_last = run.first;
        for (std::size_t k = run.first; k <= run.last; ++k) {
            const double a = std::fabs(curvature[k]);
            if (a >= core) {
                if (left_core && arc[k] - arc[run.core_last] > TURN_GAP) {
                    break; // a second core: split at the lowest curvature between
                }
                in_core = true;
                left_core = false;
                run.core_first = std::min(run.core_first, k);
                run.core_last = k;
                lowest = INFINITY;
            } else if (in_core) {
                left_core = true;
                if (a < lowest) {
                    lowest = a;
                    split = k;
                }
            }
        }
        if (left_core && split > run.core_last && split < run.last &&
            std::any_of(curvature.begin() + static_cast<std::ptrdiff_t>(split),
                        curvature.begin() + static_cast<std::ptrdiff_t>(run.last) + 1,
                        [&](double k) { return std::fabs(k) >= core; })) {
            Turn rest = run;
            rest.first = split + 1;
            run.last = split;
            runs.push_back(rest);
            runs.push_back(run);
            continue;
        }
        double angle = 0.0;
        for (std::size_t k = run.first; k <= run.last; ++k) {
            angle += curvature[k] * knot_length(arc, k);
        }
        run.angle = angle;
        if (std::fabs(angle) >= MIN_TURN) {
            pieces.push_back(run);
        }
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const Turn& a, const Turn& b) { return a.first < b.first; });
    return pieces;
}

std::size_t refit_curves(const std::vector<double>& px, const std::vector<double>& py,
                         const std::vector<double>& fix_knot, double noise,
                         const std::vector<double>& x, const std::vector<double>& y,
                         std::vector<double>& curvature) {
    const std::size_t m = x.size();
    if (m < 3 || px.size() != fix_knot.size()) {
        return 0;
    }
    std::vector<double> arc(m, 0.0);
    for (std::size_t j = 1; j < m; ++j) {
        arc[j] = arc[j - 1] + std::hypot(x[j] - x[j - 1], y[j] - y[j - 1]);
    }
    const std::vector<Turn> turns = find_turns(curvature, arc);
    // The fixes in order of their place along the line.
    std::vector<std::size_t> order(px.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return fix_knot[a] < fix_knot[b]; });
    std::vector<double> sorted_knot(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        sorted_knot[k] = fix_knot[order[k]];
    }
    std::size_t replaced = 0;
    for (std::size_t t = 0; t < turns.size(); ++t) {
        const Turn& turn = turns[t];
        const double core = std::max(arc[turn.core_last] - arc[turn.core_first], 2.0);
        if (core > MAX_CORE) {
            continue;
        }
        const double reach = std::clamp(core, MIN_REACH, MAX_REACH);
        const std::size_t before = t > 0 ? (turns[t - 1].core_last + turn.core_first) / 2 : 0;
        const std::size_t after =
            t + 1 < turns.size() ? (turn.core_last + turns[t + 1].core_first) / 2 : m - 1;
        const std::size_t wa = std::max(before, knot_at(arc, arc[turn.core_first] - reach));
        const std::size_t wb = std::min(after, knot_at(arc, arc[turn.core_last] + reach));
        if (wb <= wa + 2) {
            continue;
        }
        const auto first_fix = static_cast<std::size_t>(
            std::lower_bound(sorted_knot.begin(), sorted_knot.end(), static_cast<double>(wa)) -
            sorted_knot.begin());
        const auto end_fix = static_cast<std::size_t>(
            std::upper_bound(sorted_knot.begin(), sorted_knot.end(), static_cast<double>(wb)) -
            sorted_knot.begin());
        if (end_fix < first_fix + MIN_FIT_FIXES) {
            continue;
        }
        // The window's frame: from the line at its first knot.
        const double ox = x[wa], oy = y[wa];
        const double start_heading = heading_of(x, y, wa, HEADING_KNOTS);
        FitData data;
        data.noise = noise;
        data.length = arc[wb] - arc[wa] + 2 * OVERHANG;
        for (std::size_t k = first_fix; k < end_fix; ++k) {
            const std::size_t i = order[k];
            data.x.push_back(px[i] - ox);
            data.y.push_back(py[i] - oy);
            const double place = std::clamp(fix_knot[i], 0.0, static_cast<double>(m - 1));
            const auto j = std::min(static_cast<std::size_t>(place), m - 2);
            Foot foot;
            foot.s = arc[j] + (place - static_cast<double>(j)) * (arc[j + 1] - arc[j]) - arc[wa] +
                     OVERHANG;
            data.feet.push_back(foot);
        }
        // Started from the spline: the turn it sees between the window's ends, centred where
        // the line has turned half of it, over the length of its core; with a few shares of
        // clothoid, keeping the fit that lies closest to the fixes.
        const double seen = turned_between(x, y, wa, wb);
        double half = 0.0;
        std::size_t centre = turn.first;
        for (std::size_t k = turn.first; k <= turn.last; ++k) {
            half += curvature[k] * knot_length(arc, k);
            if (std::fabs(half) >= 0.5 * std::fabs(turn.angle)) {
                centre = k;
                break;
            }
        }
        CurveModel model;
        double best = INFINITY;
        FitData fitted;
        for (const double share : CLOTHOID_SHARES) {
            CurveModel start;
            start.x0 = -OVERHANG * std::cos(start_heading);
            start.y0 = -OVERHANG * std::sin(start_heading);
            start.heading = start_heading;
            start.entry = start.exit = 0.5 * share * core;
            start.arc = (1 - share) * core;
            start.curvature = (turn.angle < 0 ? -1.0 : 1.0) * std::max(std::fabs(seen), MIN_TURN) /
                              (core * (1 - 0.5 * share));
            start.lead = arc[centre] - arc[wa] + OVERHANG - 0.5 * core;
            FitData trial = data;
            const CurveModel candidate = fit(start, trial);
            double cost = prior_cost(candidate, noise);
            for (const Foot& foot : trial.feet) {
                cost += huber_cost(foot.offset, noise);
            }
            if (cost < best) {
                best = cost;
                model = candidate;
                fitted = std::move(trial);
            }
        }
        data = std::move(fitted);

        // Does it hold?
        double squares = 0.0;
        std::size_t on_curve = 0;
        for (const Foot& foot : data.feet) {
            squares += foot.offset * foot.offset;
            on_curve += foot.s >= model.lead && foot.s <= model.end_of_curve() ? 1 : 0;
        }
        const double rms = std::sqrt(squares / static_cast<double>(data.feet.size()));
        const bool holds =
            std::isfinite(rms) && rms <= FIT_RATIO * noise &&
            std::fabs(model.turn() - seen) <= TURN_AGREEMENT * std::fabs(seen) + TURN_SLACK &&
            model.lead >= OVERHANG + MIN_STRAIGHT &&
            model.end_of_curve() <= data.length - OVERHANG - MIN_STRAIGHT &&
            on_curve >= MIN_CURVE_FIXES;
        if (!holds) {
            continue;
        }
        const Path path = trace(model, data.length);
        double near = OVERHANG;
        for (std::size_t j = wa; j <= wb; ++j) {
            const Foot foot = foot_of(path, x[j] - ox, y[j] - oy, near);
            near = foot.s;
            if (foot.s >= model.lead - MARGIN && foot.s <= model.end_of_curve() + MARGIN) {
                curvature[j] = model.curvature_at(foot.s);
            }
        }
        ++replaced;
    }
    return replaced;
}

} // namespace korvale::routes
