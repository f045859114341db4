// Independent references for the path-dependent closed forms:
// - the joint moment E[exp(sum_j a_j ln(S(t_j)/S(0)))] by integrating the Heston Riccati
//   equations numerically (classical fourth-order Runge-Kutta, backward over the dates), not
//   by their solution in closed form;
// - an undiscounted call on a log variable from such a moment by a Gauss-Legendre rule on
//   [0, U] along the line Re s = 2 (Carr and Madan's damped transform with alpha = 1),
//   another line and another rule than the library's;
// - the tanh-sinh rule on [a, b], for integrands with endpoint singularities (densities of
//   the variance near 0).
#pragma once

#include <cmath>
#include <complex>
#include <functional>
#include <vector>

namespace reference {

using Complex = std::complex<double>;

struct HestonModel {
    double v0, theta, kappa, sigma, rho;
};

// ln E[exp(sum_j a[j] ln(S(t[j])/S(0)))] by Runge-Kutta with `steps` steps per interval.
inline Complex LogMomentByRungeKutta(const std::vector<Complex>& a, const std::vector<double>& t,
                                     double rate, double dividendYield, const HestonModel& m,
                                     int steps) {
    Complex u = 0.0, w = 0.0, constant = 0.0;
    for (int j = static_cast<int>(t.size()) - 1; j >= 0; --j) {
        u += a[j];
        const double tau = t[j] - (j > 0 ? t[j - 1] : 0.0);
        if (tau <= 0.0) continue;
        // y = (A, B); B' = (u^2 - u)/2 - (kappa - rho sigma u) B + sigma^2 B^2 / 2, A' = kappa
        // theta B.
        auto slope = [&](Complex b) {
            return 0.5 * (u * u - u) - (m.kappa - m.rho * m.sigma * u) * b +
                   0.5 * m.sigma * m.sigma * b * b;
        };
        const double h = tau / steps;
        Complex A = 0.0, B = w;
        for (int i = 0; i < steps; ++i) {
            const Complex k1 = slope(B);
            const Complex k2 = slope(B + 0.5 * h * k1);
            const Complex k3 = slope(B + 0.5 * h * k2);
            const Complex k4 = slope(B + h * k3);
            A += m.kappa * m.theta * h / 6.0 *
                 (B + 2.0 * (B + 0.5 * h * k1) + 2.0 * (B + 0.5 * h * k2) + (B + h * k3));
            B += h / 6.0 * (k1 + 2.0 * k2 + 2.0 * k3 + k4);
        }
        constant += u * (rate - dividendYield) * tau + A;
        w = B;
    }
    return constant + w * m.v0;
}

// Nodes and weights of the n-point Gauss-Legendre rule on [-1, 1] by Newton's method.
inline void GaussLegendre(int n, std::vector<double>& x, std::vector<double>& w) {
    x.resize(n);
    w.resize(n);
    for (int i = 0; i < n; ++i) {
        double z = std::cos(M_PI * (i + 0.75) / (n + 0.5));
        double derivative = 1.0;
        for (int iteration = 0; iteration < 100; ++iteration) {
            double p0 = 1.0, p1 = z;
            for (int k = 2; k <= n; ++k) {
                const double p2 = ((2.0 * k - 1.0) * z * p1 - (k - 1.0) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            derivative = n * (z * p1 - p0) / (z * z - 1.0);
            const double step = p1 / derivative;
            z -= step;
            if (std::fabs(step) < 1e-16) break;
        }
        x[i] = z;
        w[i] = 2.0 / ((1.0 - z * z) * derivative * derivative);
    }
}

// E[(exp(Y) - k)^+] for each k from ln E[exp(s Y)], alpha = 1: 25 panels of 32-point
// Gauss-Legendre on [0, 250] (the tail decays exponentially, not like a Gaussian).
inline std::vector<double> CallsByGaussLegendre(const std::function<Complex(Complex)>& logMoment,
                                                const std::vector<double>& ks) {
    std::vector<double> x, w;
    GaussLegendre(32, x, w);
    const double alpha = 1.0, upper = 250.0;
    const int panels = 25;
    std::vector<double> sums(ks.size(), 0.0);
    for (int p = 0; p < panels; ++p) {
        const double lo = upper * p / panels, hi = upper * (p + 1) / panels;
        for (int i = 0; i < 32; ++i) {
            const double u = 0.5 * (lo + hi) + 0.5 * (hi - lo) * x[i];
            const Complex z(alpha, u);
            const Complex moment = logMoment(z + 1.0);
            for (std::size_t j = 0; j < ks.size(); ++j) {
                const Complex term = std::exp(moment - z * std::log(ks[j])) / (z * (z + 1.0));
                sums[j] += 0.5 * (hi - lo) * w[i] * term.real() / M_PI;
            }
        }
    }
    return sums;
}

// integral of f over [a, b] by the tanh-sinh rule with step h, nodes while the weight matters.
inline double TanhSinh(const std::function<double(double)>& f, double a, double b, double h) {
    const double half = 0.5 * (b - a);
    double sum = 0.0;
    for (int i = -400; i <= 400; ++i) {
        const double t = i * h;
        const double s = 0.5 * M_PI * std::sinh(t);
        const double weight = 0.5 * M_PI * std::cosh(t) / (std::cosh(s) * std::cosh(s));
        if (weight < 1e-300) continue;
        const double x = std::tanh(s);
        // Distances from the ends without cancellation.
        const double fromEnd = 1.0 / (std::exp(std::fabs(s)) * std::cosh(s));  // 1 - |x|
        if (fromEnd <= 0.0) continue;
        const double point = x < 0 ? a + half * fromEnd : b - half * fromEnd;
        sum += weight * f(point);
    }
    return sum * half * h;
}

}  // namespace reference
