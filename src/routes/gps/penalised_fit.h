// A smoothing spline on a line of evenly spaced knots: the knot values f that minimise
//     sum over data i of (y_i - f(u_i))^2  +  sum over knots j of lambda_j * integral of f''^2,
// with f linear between knots and f'' taken as the knots' second differences. lambda may vary
// along the line; where the data lie rho per metre, the fit averages over about
// (lambda / rho)^(1/4) metres on either side (its bandwidth). The normal equations are a
// symmetric band of width 2, solved by a banded Cholesky factorisation in O(knots).
#pragma once

#include <cstddef>
#include <vector>

namespace korvale::routes {

class PenalisedFit {
public:
    // knots >= 3, spacing > 0; u: where each datum lies along the line (clamped to it).
    PenalisedFit(std::size_t knots, double spacing, const std::vector<double>& u);

    std::size_t knots() const { return knot_count; }
    double spacing() const { return knot_spacing; }
    // The weight of data that each knot carries (the data's shares of it, summing to the
    // number of data).
    const std::vector<double>& knot_weights() const { return data_diagonal_sum; }

    // Factors the system for a penalty weight per knot (m^3 per m of data, see above).
    // Throws RouteError when it is not positive definite (it always is with lambda > 0).
    void factor(const std::vector<double>& lambda);
    // The knot values fitted to one value per datum (after factor()).
    std::vector<double> solve(const std::vector<double>& values) const;
    // The fitted line at each datum's place.
    std::vector<double> at_data(const std::vector<double>& knot_values) const;

private:
    std::size_t knot_count;
    double knot_spacing;
    std::vector<std::size_t>
        datum_cell; // datum i lies between knots datum_cell[i] and datum_cell[i] + 1
    std::vector<double> datum_share; // and datum_share[i] of the way from the first to the second
    std::vector<double> data_diagonal, data_off; // the data's part of the normal equations
    std::vector<double> data_diagonal_sum;
    std::vector<double> l0, l1, l2; // Cholesky factor: diagonal, first and second subdiagonal
};

} // namespace korvale::routes
