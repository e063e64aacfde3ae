#include "routes/gps/curve_model.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

#include "routes/gps/curve_fit.h"

namespace korvale::routes {

namespace {

constexpr double PI = 3.14159265358979323846;
// A knot turns where its curvature is at least this (a radius of 2 km).
constexpr double TURN_FLOOR = 5e-4; // 1/m
// Runs of one sign closer than this are one turn.
constexpr double TURN_GAP = 10.0; // m
// A turn's core: where its curvature is at least this share of its peak.
constexpr double CORE_SHARE = 0.25;
// The line's heading at a knot: from this many knots either side.
constexpr std::size_t HEADING_KNOTS = 5;
// The fixes of the straights either side: as far from the turn's core as the core is long,
// within these bounds, and no farther than half way to the next turn's core. Turns whose
// core is longer than MAX_CORE (a ring road, a test track) keep the spline.
constexpr double MIN_REACH = 100.0, MAX_REACH = 250.0; // m
constexpr double MAX_CORE = 2000.0;                    // m
// A core is taken as at least this long.
constexpr double MIN_CORE = 2.0; // m
// The model starts and ends this far beyond the fixes, so that every fix has a foot on it.
constexpr double OVERHANG = 30.0; // m
// The fits start with these shares of the curve in clothoids.
constexpr double CLOTHOID_SHARES[] = {0.0, 0.4, 0.8};
// The model holds when its fixes lie within this many times the noise of it (root mean
// square), its turn is the spline's within TURN_AGREEMENT (and TURN_SLACK), and it has at
// least MIN_STRAIGHT of fixes on the straight either side.
constexpr double FIT_RATIO = 1.6;
constexpr double TURN_AGREEMENT = 0.2, TURN_SLACK = 0.1; // share, rad
constexpr double MIN_STRAIGHT = 10.0;                    // m
// The model's curvature replaces the line's over the curve and this much straight either side.
constexpr double MARGIN = 40.0;            // m
constexpr std::size_t MIN_FIT_FIXES = 12;  // fixes in the window at the least
constexpr std::size_t MIN_CURVE_FIXES = 3; // of them on the curve

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

// The runs of knots whose curvature keeps one sign above TURN_FLOOR, joined across gaps of up
// to TURN_GAP; a run's angle is its sign for now.
std::vector<Turn> runs_of_one_sign(const std::vector<double>& curvature,
                                   const std::vector<double>& arc) {
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
    return runs;
}

// Finds the run's core, where its curvature is at least CORE_SHARE of its peak. Where a second
// core follows more than TURN_GAP after the first, returns the knot of lowest curvature between
// them, where the run splits into two turns; else nothing.
std::optional<std::size_t> find_core(Turn& run, const std::vector<double>& curvature,
                                     const std::vector<double>& arc) {
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
        return split;
    }
    return std::nullopt;
}

} // namespace

std::vector<Turn> find_turns(const std::vector<double>& curvature, const std::vector<double>& arc) {
    std::vector<Turn> runs = runs_of_one_sign(curvature, arc);
    // Each run split where its curvature falls well below the peaks on either side: two
    // curves the same way with a straight between them are two turns.
    std::vector<Turn> pieces;
    while (!runs.empty()) {
        Turn run = runs.back();
        runs.pop_back();
        if (const std::optional<std::size_t> split = find_core(run, curvature, arc)) {
            Turn rest = run;
            rest.first = *split + 1;
            run.last = *split;
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

namespace {

// The smoothed line and the fixes that refit_curves works on.
struct Line {
    const std::vector<double>& px;
    const std::vector<double>& py;
    const std::vector<double>& fix_knot;
    const std::vector<double>& x;
    const std::vector<double>& y;
    std::vector<double>& curvature;
    std::vector<double> arc;         // the line's length at each knot
    std::vector<std::size_t> order;  // the fixes in order of their place along the line
    std::vector<double> sorted_knot; // and their places in that order
    double noise = 0.0;
};

void prepare(Line& line) {
    const std::size_t m = line.x.size();
    line.arc.assign(m, 0.0);
    for (std::size_t j = 1; j < m; ++j) {
        line.arc[j] =
            line.arc[j - 1] + std::hypot(line.x[j] - line.x[j - 1], line.y[j] - line.y[j - 1]);
    }
    line.order.resize(line.px.size());
    std::iota(line.order.begin(), line.order.end(), std::size_t{0});
    std::stable_sort(line.order.begin(), line.order.end(), [&](std::size_t a, std::size_t b) {
        return line.fix_knot[a] < line.fix_knot[b];
    });
    line.sorted_knot.resize(line.order.size());
    for (std::size_t k = 0; k < line.order.size(); ++k) {
        line.sorted_knot[k] = line.fix_knot[line.order[k]];
    }
}

// The stretch of line (knots wa to wb) and its fixes (first_fix to end_fix in order) that one
// turn is fitted to.
struct Window {
    std::size_t wa = 0, wb = 0;
    std::size_t first_fix = 0, end_fix = 0;
    double core = 0.0; // m
};

std::optional<Window> window_of(const Line& line, const std::vector<Turn>& turns, std::size_t t) {
    const Turn& turn = turns[t];
    const std::vector<double>& arc = line.arc;
    Window w;
    w.core = std::max(arc[turn.core_last] - arc[turn.core_first], MIN_CORE);
    if (w.core > MAX_CORE) {
        return std::nullopt;
    }
    const double reach = std::clamp(w.core, MIN_REACH, MAX_REACH);
    const std::size_t before = t > 0 ? (turns[t - 1].core_last + turn.core_first) / 2 : 0;
    const std::size_t after =
        t + 1 < turns.size() ? (turn.core_last + turns[t + 1].core_first) / 2 : arc.size() - 1;
    w.wa = std::max(before, knot_at(arc, arc[turn.core_first] - reach));
    w.wb = std::min(after, knot_at(arc, arc[turn.core_last] + reach));
    if (w.wb <= w.wa + 2) {
        return std::nullopt;
    }
    const std::vector<double>& sorted = line.sorted_knot;
    w.first_fix = static_cast<std::size_t>(
        std::lower_bound(sorted.begin(), sorted.end(), static_cast<double>(w.wa)) - sorted.begin());
    w.end_fix = static_cast<std::size_t>(
        std::upper_bound(sorted.begin(), sorted.end(), static_cast<double>(w.wb)) - sorted.begin());
    if (w.end_fix < w.first_fix + MIN_FIT_FIXES) {
        return std::nullopt;
    }
    return w;
}

// The window's fixes in its frame (from the line at its first knot), each with a first foot
// where it lies along the line.
FitData fit_data(const Line& line, const Window& w) {
    const std::vector<double>& arc = line.arc;
    const std::size_t m = arc.size();
    FitData data;
    data.noise = line.noise;
    data.length = arc[w.wb] - arc[w.wa] + 2 * OVERHANG;
    for (std::size_t k = w.first_fix; k < w.end_fix; ++k) {
        const std::size_t i = line.order[k];
        data.x.push_back(line.px[i] - line.x[w.wa]);
        data.y.push_back(line.py[i] - line.y[w.wa]);
        const double place = std::clamp(line.fix_knot[i], 0.0, static_cast<double>(m - 1));
        const auto j = std::min(static_cast<std::size_t>(place), m - 2);
        Foot foot;
        foot.s = arc[j] + (place - static_cast<double>(j)) * (arc[j + 1] - arc[j]) - arc[w.wa] +
                 OVERHANG;
        data.feet.push_back(foot);
    }
    return data;
}

// The knot where the turn has turned half its angle.
std::size_t turn_centre(const Line& line, const Turn& turn) {
    double half = 0.0;
    for (std::size_t k = turn.first; k <= turn.last; ++k) {
        half += line.curvature[k] * knot_length(line.arc, k);
        if (std::fabs(half) >= 0.5 * std::fabs(turn.angle)) {
            return k;
        }
    }
    return turn.first;
}

// Started from the spline: the turn it sees between the window's ends (seen), centred where
// the line has turned half of it, over the length of its core; with a few shares of clothoid,
// keeping the fit that lies closest to the fixes (data then holds its feet).
CurveModel best_fit(const Line& line, const Turn& turn, const Window& w, double seen,
                    FitData& data) {
    const double start_heading = heading_of(line.x, line.y, w.wa, HEADING_KNOTS);
    const std::size_t centre = turn_centre(line, turn);
    CurveModel model;
    double best = INFINITY;
    FitData fitted;
    for (const double share : CLOTHOID_SHARES) {
        CurveModel start;
        start.x0 = -OVERHANG * std::cos(start_heading);
        start.y0 = -OVERHANG * std::sin(start_heading);
        start.heading = start_heading;
        start.entry = start.exit = 0.5 * share * w.core;
        start.arc = (1 - share) * w.core;
        start.curvature = (turn.angle < 0 ? -1.0 : 1.0) * std::max(std::fabs(seen), MIN_TURN) /
                          (w.core * (1 - 0.5 * share));
        start.lead = line.arc[centre] - line.arc[w.wa] + OVERHANG - 0.5 * w.core;
        FitData trial = data;
        const CurveModel candidate = fit(start, trial);
        double cost = prior_cost(candidate, data.noise);
        for (const Foot& foot : trial.feet) {
            cost += huber_cost(foot.offset, data.noise);
        }
        if (cost < best) {
            best = cost;
            model = candidate;
            fitted = std::move(trial);
        }
    }
    data = std::move(fitted);
    return model;
}

// Whether the fitted model may stand for the turn (see FIT_RATIO).
bool holds(const CurveModel& model, const FitData& data, double seen) {
    double squares = 0.0;
    std::size_t on_curve = 0;
    for (const Foot& foot : data.feet) {
        squares += foot.offset * foot.offset;
        on_curve += foot.s >= model.lead && foot.s <= model.end_of_curve() ? 1 : 0;
    }
    const double rms = std::sqrt(squares / static_cast<double>(data.feet.size()));
    return std::isfinite(rms) && rms <= FIT_RATIO * data.noise &&
           std::fabs(model.turn() - seen) <= TURN_AGREEMENT * std::fabs(seen) + TURN_SLACK &&
           model.lead >= OVERHANG + MIN_STRAIGHT &&
           model.end_of_curve() <= data.length - OVERHANG - MIN_STRAIGHT &&
           on_curve >= MIN_CURVE_FIXES;
}

// The model's curvature at the window's knots over the curve and MARGIN either side.
void replace_curvature(Line& line, const Window& w, const CurveModel& model, double length) {
    const Path path = trace(model, length);
    const double ox = line.x[w.wa], oy = line.y[w.wa];
    double near = OVERHANG;
    for (std::size_t j = w.wa; j <= w.wb; ++j) {
        const Foot foot = foot_of(path, line.x[j] - ox, line.y[j] - oy, near);
        near = foot.s;
        if (foot.s >= model.lead - MARGIN && foot.s <= model.end_of_curve() + MARGIN) {
            line.curvature[j] = model.curvature_at(foot.s);
        }
    }
}

} // namespace

std::size_t refit_curves(const std::vector<double>& px, const std::vector<double>& py,
                         const std::vector<double>& fix_knot, double noise,
                         const std::vector<double>& x, const std::vector<double>& y,
                         std::vector<double>& curvature) {
    if (x.size() < 3 || px.size() != fix_knot.size()) {
        return 0;
    }
    Line line{px, py, fix_knot, x, y, curvature, {}, {}, {}, noise};
    prepare(line);
    const std::vector<Turn> turns = find_turns(curvature, line.arc);
    std::size_t replaced = 0;
    for (std::size_t t = 0; t < turns.size(); ++t) {
        const std::optional<Window> w = window_of(line, turns, t);
        if (!w) {
            continue;
        }
        FitData data = fit_data(line, *w);
        const double seen = turned_between(x, y, w->wa, w->wb);
        const CurveModel model = best_fit(line, turns[t], *w, seen, data);
        if (holds(model, data, seen)) {
            replace_curvature(line, *w, model, data.length);
            ++replaced;
        }
    }
    return replaced;
}

} // namespace korvale::routes
