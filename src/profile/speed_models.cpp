#include "speed_models.h"

#include <cmath>

namespace korvale {

namespace {

constexpr double COMFORT_GRAVITY = 9.81;         // the comfort speed uses a fixed g
constexpr double FRICTION_START = 0.2;           // first side-friction value
constexpr double FRICTION_MAX = 0.2237;          // side friction at standstill
constexpr double FRICTION_DECAY = -0.006;        // per km/h
constexpr double EULER_CONSTANT = 2.71828182846; // raised by pow, not exp
constexpr double COMFORT_TOLERANCE = 0.001;      // friction change that ends the iteration
constexpr double BISECTION_WIDTH = 1e-9;         // km/h
constexpr int BISECTION_MAX_STEPS = 4000;        // more than halving any double range needs
constexpr double MS_PER_KMH = 3.6;

// Speed in km/h for a side-friction value.
double curve_speed(double radius, double superelevation, double friction) {
    return std::sqrt((radius * COMFORT_GRAVITY) * (friction + superelevation) /
                     (1.0 - friction * superelevation)) *
           3600 / 1000;
}

double friction_at(double v) {
    return FRICTION_MAX * std::pow(EULER_CONSTANT, FRICTION_DECAY * v);
}

// The speed v at which curve_speed(friction_at(v)) equals v. curve_speed(friction_at(v)) - v
// is positive at 0 and not positive at the speed for the largest friction, and it falls as v
// grows, so bisection between the two finds the one crossing.
double comfort_fixed_point(double radius, double superelevation) {
    double lo = 0.0;
    double hi = curve_speed(radius, superelevation, FRICTION_MAX);
    for (int step = 0; step < BISECTION_MAX_STEPS && hi - lo >= BISECTION_WIDTH; ++step) {
        const double mid = lo + (hi - lo) / 2.0;
        if (mid <= lo || mid >= hi) {
            break; // no double lies between the two ends any more
        }
        if (curve_speed(radius, superelevation, friction_at(mid)) - mid > 0.0) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo + (hi - lo) / 2.0;
}

double slope_force(double mass, double gravity, double rolling, double theta) {
    return ((mass * gravity) * rolling) * std::cos(theta) + (mass * gravity) * std::sin(theta);
}

// The three rules both coasting models apply before their formula; returns true with the
// speed in result when one of them holds.
bool coast_rule(bool parameterised, double v_next, double local_min, double* result) {
    if (parameterised ? (local_min > 200 && v_next < 10) : (local_min > 900 && v_next < 10)) {
        *result = parameterised ? 10.0 : v_next;
        return true;
    }
    if (local_min - v_next > (parameterised ? 20 : 10) && local_min < 150) {
        *result = local_min;
        return true;
    }
    if (local_min < NO_LOCAL_MINIMUM && v_next > local_min) {
        *result = local_min;
        return true;
    }
    return false;
}

// Smallest value of kd·v² + P/v over v, taken as 0 where the power or the drag factor is not
// positive (its limit there). NaN parameters stay NaN.
double power_term_force(const VehicleParameters& p) {
    const double kd = ((0.5 * p.air_density) * p.drag_coefficient) * p.frontal_area;
    const double power = 1.0030081599999998 * p.coast_power; // power term with its efficiency
    // The NaN test comes first and on its own: g++ 12 at -O2 folds "power <= 0 || (power > 0
    // && kd <= 0)" into "power <= 0 || kd <= 0", which would turn a NaN power into 0.
    const bool nan_parameter = std::isnan(power) || std::isnan(kd);
    if (!nan_parameter && (power <= 0.0 || kd <= 0.0)) {
        return 0.0;
    }
    const double v_opt = std::pow(power / (2.0 * kd), 0.33333333333);
    return kd * (v_opt * v_opt) + power / v_opt;
}

double coast_parameterised_formula(const VehicleParameters& p, double f_opt, double grade,
                                   double v_next, double distance_next, double distance_here) {
    const double theta = std::atan(grade);
    const double ds = distance_next - distance_here;
    const double v = v_next / MS_PER_KMH;
    const double force = slope_force(p.vehicle_mass, p.gravity, p.rolling_resistance, theta);
    const double a = (force + f_opt) / p.vehicle_mass;
    const double radicand = v * v + (2.0 * ds) * a;
    if (radicand < 0.0) {
        // Steep downhill: no coasting speed here arrives as slowly as v_next, so the vehicle
        // holds the next row's speed with its brakes.
        return v_next;
    }
    return std::sqrt(radicand) * MS_PER_KMH;
}

// Exact solution, taken backwards over the segment, of coasting under a constant force
// (rolling resistance and slope) and air drag k·v² for the built-in vehicle: drag 0.3, frontal
// area 2.3 m², air 1.293 kg/m³, 1644 kg, g 9.81, rolling resistance 0.015.
double coast_default_formula(double grade, double v_next, double distance_next,
                             double distance_here) {
    constexpr double mass = 1644;
    const double theta = std::atan(grade);
    const double ds = distance_next - distance_here;
    const double v = v_next / MS_PER_KMH;
    const double k = ((0.5 * 1.293) * 0.3) * 2.3;
    const double f0 = slope_force(mass, 9.81, 0.015, theta);
    const double a = f0 + (k * v) * v;
    const double h = std::exp(((2.0 * k) * ds) / mass);
    return std::sqrt(std::fabs(((a * h) - f0) / k)) * MS_PER_KMH;
}

} // namespace

double comfort_curve_velocity(double radius, double superelevation) {
    double f_used = FRICTION_START;
    double change = 1.0;
    double v = 0.0;
    int iterations = 0;
    while (change > COMFORT_TOLERANCE && iterations < COMFORT_MAX_ITERATIONS) {
        v = curve_speed(radius, superelevation, f_used);
        const double f_new = friction_at(v);
        change = std::fabs(f_new - f_used);
        f_used = f_new;
        ++iterations;
    }
    if (change > COMFORT_TOLERANCE) {
        return comfort_fixed_point(radius, superelevation);
    }
    return v;
}

double find_local_minimum(double previous, double current, double next) {
    return previous > current && next >= current ? current : NO_LOCAL_MINIMUM;
}

double coast_back_default(double grade, double v_next, double distance_next, double distance_here,
                          double local_min) {
    double ruled = 0.0;
    if (coast_rule(false, v_next, local_min, &ruled)) {
        return ruled;
    }
    return coast_default_formula(grade, v_next, distance_next, distance_here);
}

double coast_back_parameterised(const VehicleParameters& parameters, double grade, double v_next,
                                double distance_next, double distance_here, double local_min) {
    double ruled = 0.0;
    if (coast_rule(true, v_next, local_min, &ruled)) {
        return ruled;
    }
    return coast_parameterised_formula(parameters, power_term_force(parameters), grade, v_next,
                                       distance_next, distance_here);
}

CoastModel::CoastModel(const VehicleParameters& p)
    : parameters(p), parameterised(!(p.coast_power <= 0 && p.model_switch <= 0)),
      f_opt(power_term_force(p)) {}

double CoastModel::operator()(double grade, double v_next, double distance_next,
                              double distance_here, double local_min) const {
    if (!parameterised) {
        return coast_back_default(grade, v_next, distance_next, distance_here, local_min);
    }
    double ruled = 0.0;
    if (coast_rule(true, v_next, local_min, &ruled)) {
        return ruled;
    }
    return physics(grade, v_next, distance_next, distance_here);
}

double CoastModel::physics(double grade, double v_next, double distance_next,
                           double distance_here) const {
    if (!parameterised) {
        return coast_default_formula(grade, v_next, distance_next, distance_here);
    }
    return coast_parameterised_formula(parameters, f_opt, grade, v_next, distance_next,
                                       distance_here);
}

} // namespace korvale
