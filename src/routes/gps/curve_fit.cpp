#include "routes/gps/curve_fit.h"

#include <algorithm>
#include <cmath>

namespace korvale::routes {

namespace {

constexpr double PI = 3.14159265358979323846;
// Fixes farther from the model than this many times the noise count linearly (Huber).
constexpr double HUBER = 2.5;
constexpr int MAX_ITERATIONS = 60;
// Clothoids are taken as about this share of the radius long, give or take 1 / weight.
constexpr double CLOTHOID_SHARE = 1.0 / 3;
constexpr double CLOTHOID_PRIOR_WEIGHT = 3.0;
constexpr int MAX_DAMPING_TRIES = 12;
constexpr double CONVERGED = 1e-9;     // relative decrease of the cost
constexpr double MAX_CURVATURE = 0.5;  // 1/m
constexpr double MIN_CURVATURE = 1e-5; // 1/m
constexpr double MAX_TURN = 2 * PI;    // rad

// The solver. The damping starts small, as a Gauss-Newton step from a start near the fixes
// mostly lands; it shrinks by DAMPING_DOWN after a step that lowers the cost and grows by
// DAMPING_UP after one that does not, which leaves a few tries to reach a steepest-descent step.
constexpr double FIRST_DAMPING = 1e-3;
constexpr double DAMPING_DOWN = 3.0;
constexpr double DAMPING_UP = 4.0;
// Below this the damped system would be the undamped one to the last bits anyway.
constexpr double MIN_DAMPING = 1e-9;
// Added to the diagonal so that a parameter no fix moves (a clothoid of length 0) keeps the
// matrix positive definite.
constexpr double DIAGONAL_FLOOR = 1e-12;
// Keeps the relative decrease finite for a fit that reaches a cost of 0 (exact fixes).
constexpr double TINY_COST = 1e-300;
// The steps of the differences for the curve's derivatives: a millimetre for the lengths (far
// below the noise, far above the path's rounding), 1e-5 rad for the turn, and 1e-4 of the
// curvature (at least 1e-8 1/m, a radius of 100000 km) for the curvature.
constexpr double LENGTH_DELTA = 1e-3; // m
constexpr double TURN_DELTA = 1e-5;   // rad
constexpr double CURVATURE_SHARE = 1e-4;
constexpr double MIN_CURVATURE_DELTA = 1e-8; // 1/m

double huber_weight(double r, double noise) {
    const double a = std::fabs(r), c = HUBER * noise;
    return a <= c ? 1.0 : c / a;
}

// What the fixes leave open, road design settles: a curve's clothoids are most often about a
// third of its radius long (the clothoid parameter A = sqrt(R L) between R / 3 and R makes
// them R / 9 to R). Each clothoid weighs in like one fix that lies CLOTHOID_PRIOR_WEIGHT noises
// off per radius of difference from that.
double clothoid_residual(double length, double curvature, double noise) {
    return CLOTHOID_PRIOR_WEIGHT * noise * (length * std::fabs(curvature) - CLOTHOID_SHARE);
}

// The feet of the fixes on the model (each near its foot before) and the cost.
double evaluate(const CurveModel& m, const FitData& data, std::vector<Foot>& feet) {
    const Path path = trace(m, data.length);
    double cost = prior_cost(m, data.noise);
    for (std::size_t i = 0; i < data.x.size(); ++i) {
        feet[i] = foot_of(path, data.x[i], data.y[i], feet[i].s);
        cost += huber_cost(feet[i].offset, data.noise);
    }
    return cost;
}

double difference_step(std::size_t q, const FitVector& p) {
    if (q == Param::turn) {
        return TURN_DELTA;
    }
    if (q == Param::curvature) {
        return std::max(MIN_CURVATURE_DELTA, CURVATURE_SHARE * std::fabs(p[Param::curvature]));
    }
    return LENGTH_DELTA;
}

// The fixes' distances from the model, derived by each parameter at the feet held still (the
// distance changes only across the path there): of the start's place and heading as they
// stand, of the curve's parameters by differences.
std::vector<FitVector> jacobian(const FitVector& p, const FitData& data) {
    const std::size_t n = data.x.size();
    const Path path = trace(model_of(p), data.length);
    std::vector<double> cx(n), cy(n);
    std::vector<FitVector> rows(n);
    // The start moves the whole path; turning it turns the path about the start.
    for (std::size_t i = 0; i < n; ++i) {
        const Foot& foot = data.feet[i];
        path.at(foot.s, cx[i], cy[i]);
        rows[i][Param::x0] = -foot.nx;
        rows[i][Param::y0] = -foot.ny;
        rows[i][Param::heading] =
            -(-(cy[i] - p[Param::y0]) * foot.nx + (cx[i] - p[Param::x0]) * foot.ny);
    }
    for (std::size_t q = Param::middle; q < Param::count; ++q) {
        FitVector moved = p;
        const double delta = difference_step(q, p);
        moved[q] += delta;
        const Path other = trace(model_of(moved), data.length);
        for (std::size_t i = 0; i < n; ++i) {
            double ox = 0, oy = 0;
            other.at(data.feet[i].s, ox, oy);
            rows[i][q] = -((ox - cx[i]) * data.feet[i].nx + (oy - cy[i]) * data.feet[i].ny) / delta;
        }
    }
    return rows;
}

// The Gauss-Newton system a step = -g of the weighted fixes and the clothoids' prior.
struct Normal {
    FitMatrix a{};
    FitVector g{};
};

Normal normal_equations(const FitVector& p, const FitData& data, double sign) {
    Normal e;
    const std::vector<FitVector> rows = jacobian(p, data);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double weight = huber_weight(data.feet[i].offset, data.noise);
        for (std::size_t q = 0; q < Param::count; ++q) {
            e.g[q] += weight * rows[i][q] * data.feet[i].offset;
            for (std::size_t r = 0; r <= q; ++r) {
                e.a[q][r] += weight * rows[i][q] * rows[i][r];
            }
        }
    }
    // The clothoids' prior: residuals in entry (exit) and the curvature.
    const std::size_t k = Param::curvature;
    for (const std::size_t q : {std::size_t{Param::entry}, std::size_t{Param::exit}}) {
        const double r = clothoid_residual(p[q], p[k], data.noise);
        const double dl = CLOTHOID_PRIOR_WEIGHT * data.noise * std::fabs(p[k]);
        const double dk = CLOTHOID_PRIOR_WEIGHT * data.noise * p[q] * sign;
        e.g[q] += dl * r;
        e.g[k] += dk * r;
        e.a[q][q] += dl * dl;
        e.a[k][k] += dk * dk;
        e.a[k][q] += dl * dk;
    }
    for (std::size_t q = 0; q < Param::count; ++q) {
        for (std::size_t r = 0; r < q; ++r) {
            e.a[r][q] = e.a[q][r];
        }
    }
    return e;
}

// The fit as it stands: the parameters, their cost, the damping.
struct FitState {
    FitVector p{};
    double cost = 0.0;
    double damping = FIRST_DAMPING;
    double sign = 1.0;
};

// The damped step from the state, constrained; the state and the feet moved to it when it
// lowers the cost. Returns the relative decrease of the cost, or a negative number when the
// step does not lower it.
double try_step(const Normal& e, FitState& state, FitData& data) {
    FitMatrix damped = e.a;
    FitVector minus_g{}, step{};
    for (std::size_t q = 0; q < Param::count; ++q) {
        damped[q][q] += state.damping * e.a[q][q] + DIAGONAL_FLOOR;
        minus_g[q] = -e.g[q];
    }
    if (solve(damped, minus_g, step)) {
        FitVector next = state.p;
        for (std::size_t q = 0; q < Param::count; ++q) {
            next[q] += step[q];
        }
        next = constrained(next, data.length, state.sign);
        std::vector<Foot> feet = data.feet;
        const double next_cost = evaluate(model_of(next), data, feet);
        if (next_cost < state.cost) {
            const double decrease = (state.cost - next_cost) / std::max(state.cost, TINY_COST);
            state.p = next;
            state.cost = next_cost;
            data.feet = std::move(feet);
            state.damping = std::max(MIN_DAMPING, state.damping / DAMPING_DOWN);
            return decrease;
        }
    }
    state.damping *= DAMPING_UP;
    return -1.0;
}

} // namespace

// The model's shape; here, beside trace(), which asks for its heading all the time.
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

CurveModel model_of(const FitVector& p) {
    CurveModel m;
    m.x0 = p[Param::x0];
    m.y0 = p[Param::y0];
    m.heading = p[Param::heading];
    m.entry = p[Param::entry];
    m.exit = p[Param::exit];
    m.curvature = p[Param::curvature];
    m.arc = std::max(0.0, p[Param::turn] / p[Param::curvature] -
                              0.5 * (p[Param::entry] + p[Param::exit]));
    m.lead = p[Param::middle] - 0.5 * (m.entry + m.arc + m.exit);
    return m;
}

FitVector vector_of(const CurveModel& m) {
    FitVector p{};
    p[Param::x0] = m.x0;
    p[Param::y0] = m.y0;
    p[Param::heading] = m.heading;
    p[Param::middle] = m.lead + 0.5 * (m.entry + m.arc + m.exit);
    p[Param::entry] = m.entry;
    p[Param::exit] = m.exit;
    p[Param::turn] = m.turn();
    p[Param::curvature] = m.curvature;
    return p;
}

void Path::at(double s, double& px, double& py) const {
    const double last = static_cast<double>(x.size() - 1);
    const double place = std::clamp(s / TRACE_STEP, 0.0, last);
    const auto k = std::min(static_cast<std::size_t>(place), x.size() - 2);
    const double t = place - static_cast<double>(k);
    px = x[k] + t * (x[k + 1] - x[k]);
    py = y[k] + t * (y[k + 1] - y[k]);
}

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

Foot foot_of(const Path& path, double px, double py, double near) {
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

FitVector constrained(FitVector p, double length, double sign) {
    double& k = p[Param::curvature];
    double& turn = p[Param::turn];
    double& entry = p[Param::entry];
    double& exit = p[Param::exit];
    k = sign * std::clamp(sign * k, MIN_CURVATURE, MAX_CURVATURE);
    turn = sign * std::clamp(sign * turn, 0.5 * MIN_TURN, MAX_TURN);
    // The curve no longer than the model, the clothoids no longer than the turn allows.
    const double turned = std::min(turn / k, length);
    turn = turned * k;
    entry = std::max(0.0, entry);
    exit = std::max(0.0, exit);
    if (entry + exit > 2 * turned) {
        const double scale = 2 * turned / (entry + exit);
        entry *= scale;
        exit *= scale;
    }
    const double half = 0.5 * (turned + 0.5 * (entry + exit));
    p[Param::middle] = std::max(half, std::min(p[Param::middle], length - half));
    return p;
}

bool solve(FitMatrix a, FitVector b, FitVector& x) {
    constexpr std::size_t n = Param::count;
    for (std::size_t j = 0; j < n; ++j) {
        double d = a[j][j];
        for (std::size_t k = 0; k < j; ++k) {
            d -= a[j][k] * a[j][k];
        }
        if (!(d > 0)) {
            return false;
        }
        a[j][j] = std::sqrt(d);
        for (std::size_t i = j + 1; i < n; ++i) {
            double v = a[i][j];
            for (std::size_t k = 0; k < j; ++k) {
                v -= a[i][k] * a[j][k];
            }
            a[i][j] = v / a[j][j];
        }
    }
    for (std::size_t i = 0; i < n; ++i) { // L y = b
        for (std::size_t k = 0; k < i; ++k) {
            b[i] -= a[i][k] * b[k];
        }
        b[i] /= a[i][i];
    }
    for (std::size_t i = n; i-- > 0;) { // L^T x = y
        for (std::size_t k = i + 1; k < n; ++k) {
            b[i] -= a[k][i] * b[k];
        }
        b[i] /= a[i][i];
    }
    x = b;
    return std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); });
}

double huber_cost(double r, double noise) {
    const double a = std::fabs(r), c = HUBER * noise;
    return a <= c ? r * r : c * (2 * a - c);
}

double prior_cost(const CurveModel& m, double noise) {
    const double a = clothoid_residual(m.entry, m.curvature, noise);
    const double b = clothoid_residual(m.exit, m.curvature, noise);
    return a * a + b * b;
}

// Levenberg-Marquardt on the fixes' distances from the model.
CurveModel fit(const CurveModel& start, FitData& data) {
    FitState state;
    state.sign = start.curvature < 0 ? -1.0 : 1.0;
    state.p = constrained(vector_of(start), data.length, state.sign);
    state.cost = evaluate(model_of(state.p), data, data.feet);
    for (int iteration = 0; iteration < MAX_ITERATIONS; ++iteration) {
        const Normal e = normal_equations(state.p, data, state.sign);
        double decrease = -1.0;
        for (int attempt = 0; attempt < MAX_DAMPING_TRIES && decrease < 0; ++attempt) {
            decrease = try_step(e, state, data);
        }
        if (decrease < CONVERGED) { // no step lowered the cost, or too little
            break;
        }
    }
    return model_of(state.p);
}

} // namespace korvale::routes
