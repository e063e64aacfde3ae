#include "profile/speed_models.h"

#include <algorithm>
#include <cmath>

namespace korvale {

namespace {

// --- comfort speed
constexpr double COMFORT_GRAVITY = 9.81;         // the comfort speed uses a fixed g
constexpr double FRICTION_START = 0.2;           // first side-friction value
constexpr double FRICTION_MAX = 0.2237;          // side friction at standstill
constexpr double FRICTION_DECAY = -0.006;        // per km/h
constexpr double EULER_CONSTANT = 2.71828182846; // raised by pow, not exp
constexpr double COMFORT_TOLERANCE = 0.001;      // friction change that ends the iteration
constexpr double SECONDS_PER_HOUR = 3600;        // m/s to km/h as the comfort formula writes it:
constexpr double METRES_PER_KM = 1000;           // times 3600, then over 1000
constexpr double BISECTION_WIDTH = 1e-9;         // km/h
constexpr int BISECTION_MAX_STEPS = 4000;        // more than halving any double range needs

// --- coasting
// Below this speed (km/h) the vehicle crawls to a stop: rule 1 of the coasting models.
constexpr double CRAWL_SPEED = 10.0;
// Only local minima below this speed (km/h) hold the coasting speed by rule 2.
constexpr double HELD_MINIMUM_CEILING = 150.0;
// The parameterised model's power term is coast_power times this (the drive train's share as
// the model was calibrated).
constexpr double COAST_POWER_FACTOR = 1.0030081599999998;
// 1/3 as the parameterised model writes it, to 11 digits; its results follow this value.
constexpr double CUBE_ROOT_EXPONENT = 0.33333333333;

// The rules that a coasting model applies before its formula, with its own thresholds.
struct CoastRules {
    // Rule 1: where the local minimum is above this (open road, no real minimum) and the next
    // row's speed is a crawl, the crawl speed is kept (built-in) or raised to CRAWL_SPEED.
    double open_road_minimum;
    bool crawl_raised;
    // Rule 2: a local minimum more than this above the next row's speed holds.
    double minimum_gap;
};
// The built-in model's open road is only NO_LOCAL_MINIMUM itself (no minimum lies above 900).
constexpr CoastRules BUILT_IN_RULES{900.0, false, 10.0};
constexpr CoastRules PARAMETERISED_RULES{200.0, true, 20.0};

// Speed in km/h for a side-friction value.
double curve_speed(double radius, double superelevation, double friction) {
    return std::sqrt((radius * COMFORT_GRAVITY) * (friction + superelevation) /
                     (1.0 - friction * superelevation)) *
           SECONDS_PER_HOUR / METRES_PER_KM;
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

// Rolling resistance plus the slope's pull, N.
double slope_force(double mass, double gravity, double rolling, double theta) {
    return ((mass * gravity) * rolling) * std::cos(theta) + (mass * gravity) * std::sin(theta);
}

// Air-drag factor k of k·v², N per (m/s)²: half of density times drag coefficient times area.
double drag_factor(double air_density, double drag_coefficient, double frontal_area) {
    return ((0.5 * air_density) * drag_coefficient) * frontal_area;
}

// The three rules of the coasting models, in order; true with the speed in result when one
// holds.
bool coast_rule(const CoastRules& rules, double v_next, double local_min, double* result) {
    if (local_min > rules.open_road_minimum && v_next < CRAWL_SPEED) {
        *result = rules.crawl_raised ? CRAWL_SPEED : v_next;
        return true;
    }
    if (local_min - v_next > rules.minimum_gap && local_min < HELD_MINIMUM_CEILING) {
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
    const double kd = drag_factor(p.air_density, p.drag_coefficient, p.frontal_area);
    const double power = COAST_POWER_FACTOR * p.coast_power;
    // The NaN test comes first and on its own: g++ 12 at -O2 folds "power <= 0 || (power > 0
    // && kd <= 0)" into "power <= 0 || kd <= 0", which would turn a NaN power into 0.
    const bool nan_parameter = std::isnan(power) || std::isnan(kd);
    if (!nan_parameter && (power <= 0.0 || kd <= 0.0)) {
        return 0.0;
    }
    const double v_opt = std::pow(power / (2.0 * kd), CUBE_ROOT_EXPONENT);
    return kd * (v_opt * v_opt) + power / v_opt;
}

double coast_parameterised_formula(const VehicleParameters& p, double f_opt, double grade,
                                   double v_next, double distance_next, double distance_here) {
    const double theta = std::atan(grade);
    const double ds = distance_next - distance_here;
    const double v = v_next / KMH_PER_MS;
    const double force = slope_force(p.vehicle_mass, p.gravity, p.rolling_resistance, theta);
    const double a = (force + f_opt) / p.vehicle_mass;
    const double radicand = v * v + (2.0 * ds) * a;
    if (radicand < 0.0) {
        // Steep downhill: no coasting speed here arrives as slowly as v_next, so the vehicle
        // holds the next row's speed with its brakes.
        return v_next;
    }
    return std::sqrt(radicand) * KMH_PER_MS;
}

// Exact solution, taken backwards over the segment, of coasting under a constant force
// (rolling resistance and slope) and air drag k·v² for the built-in vehicle.
double coast_default_formula(double grade, double v_next, double distance_next,
                             double distance_here) {
    constexpr VehicleParameters car = BUILT_IN_VEHICLE;
    const double theta = std::atan(grade);
    const double ds = distance_next - distance_here;
    const double v = v_next / KMH_PER_MS;
    const double k = drag_factor(car.air_density, car.drag_coefficient, car.frontal_area);
    const double f0 = slope_force(car.vehicle_mass, car.gravity, car.rolling_resistance, theta);
    const double a = f0 + (k * v) * v;
    const double h = std::exp(((2.0 * k) * ds) / car.vehicle_mass);
    return std::sqrt(std::fabs(((a * h) - f0) / k)) * KMH_PER_MS;
}

// The eco model, backwards over one segment from the next row's speed v_next (km/h): the speed
// from which the vehicle coasting under the constant force F0 and air drag k·v² arrives with
// v_next, where coasting slows it; where coasting would speed it up (a descent), the speed from
// which braking at the brake deceleration arrives with v_next; never less than the speed from
// which the least deceleration arrives with it.
double coast_eco_formula(const VehicleParameters& p, double grade, double v_next,
                         double distance_next, double distance_here) {
    const double theta = std::atan(grade);
    const double ds = distance_next - distance_here;
    const double v = v_next / KMH_PER_MS;
    const double v2 = v * v;
    const double m = p.vehicle_mass;
    const double k = drag_factor(p.air_density, p.drag_coefficient, p.frontal_area);
    const double f0 = slope_force(m, p.gravity, p.rolling_resistance, theta);
    // Without drag (or with so little that F0/k overflows) the coasting deceleration is F0/m.
    const double radicand = k > 0.0 && std::isfinite(f0 / k)
                                ? v2 + (f0 / k + v2) * std::expm1(2.0 * k * ds / m)
                                : v2 + 2.0 * ds * f0 / m;
    const double coasting = radicand >= 0.0 ? std::sqrt(radicand) : -HUGE_VAL;
    const double here = coasting >= v ? coasting : std::sqrt(v2 + 2.0 * ds * p.brake_deceleration);
    const double least = std::sqrt(v2 + 2.0 * ds * p.least_deceleration);
    return std::max(here, least) * KMH_PER_MS;
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
    return is_local_minimum(previous, current, next) ? current : NO_LOCAL_MINIMUM;
}

bool slows_down_at(const double* speed, std::int32_t rows, std::int32_t i) {
    if (i < 1 || i >= rows) {
        return false;
    }
    // At the last row nothing follows: a row after it that is never lower.
    const double next = i == rows - 1 ? HUGE_VAL : speed[i + 1];
    return is_local_minimum(speed[i - 1], speed[i], next);
}

double coast_back_default(double grade, double v_next, double distance_next, double distance_here,
                          double local_min) {
    double ruled = 0.0;
    if (coast_rule(BUILT_IN_RULES, v_next, local_min, &ruled)) {
        return ruled;
    }
    return coast_default_formula(grade, v_next, distance_next, distance_here);
}

double coast_back_parameterised(const VehicleParameters& parameters, double grade, double v_next,
                                double distance_next, double distance_here, double local_min) {
    return CoastModel(CoastModelKind::parameterised, parameters)(grade, v_next, distance_next,
                                                                 distance_here, local_min);
}

CoastModel::CoastModel(CoastModelKind kind, const VehicleParameters& p)
    : parameters(p), model(kind), f_opt(power_term_force(p)) {}

double CoastModel::operator()(double grade, double v_next, double distance_next,
                              double distance_here, double local_min) const {
    if (uses_eco_rule()) {
        // No rules: the recommended speed it carries back already holds every slow-down.
        return coast_eco_formula(parameters, grade, v_next, distance_next, distance_here);
    }
    const CoastRules& rules = is_parameterised() ? PARAMETERISED_RULES : BUILT_IN_RULES;
    double ruled = 0.0;
    if (coast_rule(rules, v_next, local_min, &ruled)) {
        return ruled;
    }
    return physics(grade, v_next, distance_next, distance_here);
}

double CoastModel::physics(double grade, double v_next, double distance_next,
                           double distance_here) const {
    switch (model) {
    case CoastModelKind::parameterised:
        return coast_parameterised_formula(parameters, f_opt, grade, v_next, distance_next,
                                           distance_here);
    case CoastModelKind::eco:
    case CoastModelKind::predictive:
        return coast_eco_formula(parameters, grade, v_next, distance_next, distance_here);
    case CoastModelKind::built_in:
        break;
    }
    return coast_default_formula(grade, v_next, distance_next, distance_here);
}

double CoastModel::coasting_deceleration(double grade, double speed_kmh) const {
    const VehicleParameters& car =
        model == CoastModelKind::built_in ? BUILT_IN_VEHICLE : parameters;
    const double v = speed_kmh / KMH_PER_MS;
    const double k = drag_factor(car.air_density, car.drag_coefficient, car.frontal_area);
    const double f0 =
        slope_force(car.vehicle_mass, car.gravity, car.rolling_resistance, std::atan(grade));
    return (f0 + (k * v) * v) / car.vehicle_mass;
}

} // namespace korvale
