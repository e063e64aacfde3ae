#include "routes/gps/penalised_fit.h"

#include <algorithm>
#include <cmath>

#include "routes/route_error.h"

namespace korvale::routes {

PenalisedFit::PenalisedFit(std::size_t knots, double spacing, const std::vector<double>& u)
    : knots_(knots), spacing_(spacing), cell_(u.size()), share_(u.size()),
      data_diagonal_(knots, 0.0), data_off_(knots, 0.0), data_diagonal_sum_(knots, 0.0) {
    const double last = static_cast<double>(knots - 1);
    for (std::size_t i = 0; i < u.size(); ++i) {
        const double at = std::clamp(u[i] / spacing, 0.0, last);
        const std::size_t cell = std::min(static_cast<std::size_t>(at), knots - 2);
        const double t = at - static_cast<double>(cell);
        cell_[i] = cell;
        share_[i] = t;
        data_diagonal_[cell] += (1 - t) * (1 - t);
        data_diagonal_[cell + 1] += t * t;
        data_off_[cell + 1] += (1 - t) * t; // the entry (cell + 1, cell)
        data_diagonal_sum_[cell] += 1 - t;
        data_diagonal_sum_[cell + 1] += t;
    }
}

void PenalisedFit::factor(const std::vector<double>& lambda) {
    const std::size_t m = knots_;
    std::vector<double> a0 = data_diagonal_, a1 = data_off_, a2(m, 0.0);
    const double h3 = spacing_ * spacing_ * spacing_;
    for (std::size_t j = 1; j + 1 < m; ++j) {
        const double c = lambda[j] / h3;
        a0[j - 1] += c;
        a0[j] += 4 * c;
        a0[j + 1] += c;
        a1[j] -= 2 * c;
        a1[j + 1] -= 2 * c;
        a2[j + 1] += c;
    }
    l0_.assign(m, 0.0);
    l1_.assign(m, 0.0);
    l2_.assign(m, 0.0);
    for (std::size_t j = 0; j < m; ++j) {
        if (j >= 2) {
            l2_[j] = a2[j] / l0_[j - 2];
        }
        if (j >= 1) {
            l1_[j] = (a1[j] - (j >= 2 ? l2_[j] * l1_[j - 1] : 0.0)) / l0_[j - 1];
        }
        const double pivot = a0[j] - l1_[j] * l1_[j] - l2_[j] * l2_[j];
        if (!(pivot > 0)) {
            throw RouteError("the smoothing of the track failed (its equations are singular)");
        }
        l0_[j] = std::sqrt(pivot);
    }
}

std::vector<double> PenalisedFit::solve(const std::vector<double>& values) const {
    const std::size_t m = knots_;
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
        f[cell_[i]] += (1 - share_[i]) * v;
        f[cell_[i] + 1] += share_[i] * v;
    }
    for (std::size_t j = 0; j < m; ++j) {
        double sum = f[j];
        if (j >= 1) {
            sum -= l1_[j] * f[j - 1];
        }
        if (j >= 2) {
            sum -= l2_[j] * f[j - 2];
        }
        f[j] = sum / l0_[j];
    }
    for (std::size_t k = m; k-- > 0;) {
        double sum = f[k];
        if (k + 1 < m) {
            sum -= l1_[k + 1] * f[k + 1];
        }
        if (k + 2 < m) {
            sum -= l2_[k + 2] * f[k + 2];
        }
        f[k] = sum / l0_[k];
    }
    for (double& v : f) {
        v += mean;
    }
    return f;
}

std::vector<double> PenalisedFit::at_data(const std::vector<double>& knot_values) const {
    std::vector<double> out(cell_.size());
    for (std::size_t i = 0; i < cell_.size(); ++i) {
        out[i] = (1 - share_[i]) * knot_values[cell_[i]] + share_[i] * knot_values[cell_[i] + 1];
    }
    return out;
}

} // namespace korvale::routes
