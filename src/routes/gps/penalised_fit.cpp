#include "routes/gps/penalised_fit.h"

#include <algorithm>
#include <cmath>

#include "routes/route_error.h"

namespace korvale::routes {

PenalisedFit::PenalisedFit(std::size_t knots, double spacing, const std::vector<double>& u)
    : knot_count(knots), knot_spacing(spacing), datum_cell(u.size()), datum_share(u.size()),
      data_diagonal(knots, 0.0), data_off(knots, 0.0), data_diagonal_sum(knots, 0.0) {
    const double last = static_cast<double>(knots - 1);
    for (std::size_t i = 0; i < u.size(); ++i) {
        const double at = std::clamp(u[i] / spacing, 0.0, last);
        const std::size_t cell = std::min(static_cast<std::size_t>(at), knots - 2);
        const double t = at - static_cast<double>(cell);
        datum_cell[i] = cell;
        datum_share[i] = t;
        data_diagonal[cell] += (1 - t) * (1 - t);
        data_diagonal[cell + 1] += t * t;
        data_off[cell + 1] += (1 - t) * t; // the entry (cell + 1, cell)
        data_diagonal_sum[cell] += 1 - t;
        data_diagonal_sum[cell + 1] += t;
    }
}

void PenalisedFit::factor(const std::vector<double>& lambda) {
    const std::size_t m = knot_count;
    std::vector<double> a0 = data_diagonal, a1 = data_off, a2(m, 0.0);
    const double h3 = knot_spacing * knot_spacing * knot_spacing;
    for (std::size_t j = 1; j + 1 < m; ++j) {
        const double c = lambda[j] / h3;
        a0[j - 1] += c;
        a0[j] += 4 * c;
        a0[j + 1] += c;
        a1[j] -= 2 * c;
        a1[j + 1] -= 2 * c;
        a2[j + 1] += c;
    }
    l0.assign(m, 0.0);
    l1.assign(m, 0.0);
    l2.assign(m, 0.0);
    for (std::size_t j = 0; j < m; ++j) {
        if (j >= 2) {
            l2[j] = a2[j] / l0[j - 2];
        }
        if (j >= 1) {
            l1[j] = (a1[j] - (j >= 2 ? l2[j] * l1[j - 1] : 0.0)) / l0[j - 1];
        }
        const double pivot = a0[j] - l1[j] * l1[j] - l2[j] * l2[j];
        if (!(pivot > 0)) {
            throw RouteError("the smoothing of the track failed (its equations are singular)");
        }
        l0[j] = std::sqrt(pivot);
    }
}

std::vector<double> PenalisedFit::solve(const std::vector<double>& values) const {
    const std::size_t m = knot_count;
    // The fit is linear in the data and leaves constants alone: the mean is taken out first,
    // which keeps large coordinates from costing precision.
    double mean = 0.0;
    for (const double v : values) {
        mean += v;
    }
    mean = values.empty() ? 0.0 : mean / static_cast<double>(values.size());
    std::vector<double> f(m, 0.0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = values[i] - mean;
        f[datum_cell[i]] += (1 - datum_share[i]) * v;
        f[datum_cell[i] + 1] += datum_share[i] * v;
    }
    for (std::size_t j = 0; j < m; ++j) {
        double sum = f[j];
        if (j >= 1) {
            sum -= l1[j] * f[j - 1];
        }
        if (j >= 2) {
            sum -= l2[j] * f[j - 2];
        }
        f[j] = sum / l0[j];
    }
    for (std::size_t k = m; k-- > 0;) {
        double sum = f[k];
        if (k + 1 < m) {
            sum -= l1[k + 1] * f[k + 1];
        }
        if (k + 2 < m) {
            sum -= l2[k + 2] * f[k + 2];
        }
        f[k] = sum / l0[k];
    }
    for (double& v : f) {
        v += mean;
    }
    return f;
}

std::vector<double> PenalisedFit::at_data(const std::vector<double>& knot_values) const {
    std::vector<double> out(datum_cell.size());
    for (std::size_t i = 0; i < datum_cell.size(); ++i) {
        out[i] = (1 - datum_share[i]) * knot_values[datum_cell[i]] +
                 datum_share[i] * knot_values[datum_cell[i] + 1];
    }
    return out;
}

} // namespace korvale::routes
