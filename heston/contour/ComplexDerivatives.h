// ComplexDerivatives: complex numbers that carry their first derivatives with respect to a
// few real inputs (forward-mode differentiation), for the analytic Greeks of the contour
// pricer.
//
// Every operation applies the chain rule exactly, so a formula written once for Complex gives,
// when instantiated with Derivatives<N>, the derivatives of its value with respect to the N
// inputs that were seeded with unit derivatives. The elementary functions that the
// characteristic function needs (square root, exponential, (exp(z) - 1)/z and log(1 + z)/z)
// are here in both forms, with series where the closed expressions of the derivative cancel.
#pragma once

#include "vectormath/Complex.h"

namespace heston {

// (exp(z) - 1) / z, equal to 1 at z = 0.
inline Complex ExpM1OverX(Complex z) {
    if (Abs(z) < 1e-3) {
        // 1 + z/2 + z^2/6 + z^3/24 + z^4/120: the next term is below 1e-17.
        return 1.0 + z * (0.5 + z * (1.0 / 6.0 + z * (1.0 / 24.0 + z * (1.0 / 120.0))));
    }
    return ExpM1(z) / z;
}

// log(1 + z) / z on the principal branch, equal to 1 at z = 0.
inline Complex Log1POverX(Complex z) {
    if (Abs(z) < 1e-3) {
        return 1.0 + z * (-0.5 + z * (1.0 / 3.0 + z * (-0.25 + z * (0.2 - z * (1.0 / 6.0)))));
    }
    return Log1P(z) / z;
}

// Derivative of ExpM1OverX: (exp(z) - (exp(z) - 1)/z) / z.
inline Complex ExpM1OverXDerivative(Complex z, Complex value) {
    if (Abs(z) < 0.1) {
        // sum over n >= 1 of n z^(n-1) / (n+1)!, to n = 11.
        Complex sum{0.0, 0.0};
        double factorial = 479001600.0;  // 12!
        for (int n = 11; n >= 1; --n) {
            sum = sum * z + n / factorial;
            factorial /= n + 1;
        }
        return sum;
    }
    return (Exp(z) - value) / z;
}

// Derivative of Log1POverX: (1/(1 + z) - log(1 + z)/z) / z.
inline Complex Log1POverXDerivative(Complex z, Complex value) {
    if (Abs(z) < 0.1) {
        // sum over n >= 1 of (-1)^n n z^(n-1) / (n+1), to n = 17.
        Complex sum{0.0, 0.0};
        for (int n = 17; n >= 1; --n) sum = sum * z + (n % 2 == 0 ? 1.0 : -1.0) * n / (n + 1.0);
        return sum;
    }
    return (1.0 / (1.0 + z) - value) / z;
}

template <int N>
struct Derivatives {
    Complex v;     // value
    Complex d[N];  // derivatives with respect to the seeded inputs
};

// A real input with a unit derivative in direction `seed` (or a constant when seed < 0).
template <int N>
Derivatives<N> Seeded(double value, int seed) {
    Derivatives<N> x{{value, 0.0}, {}};
    for (int i = 0; i < N; ++i) x.d[i] = Complex{i == seed ? 1.0 : 0.0, 0.0};
    return x;
}

template <int N>
Derivatives<N> Constant(Complex value) {
    Derivatives<N> x{value, {}};
    for (int i = 0; i < N; ++i) x.d[i] = Complex{0.0, 0.0};
    return x;
}

template <int N>
Derivatives<N> Chain(Complex value, Complex slope, const Derivatives<N>& a) {
    Derivatives<N> r{value, {}};
    for (int i = 0; i < N; ++i) r.d[i] = slope * a.d[i];
    return r;
}

template <int N>
Derivatives<N> operator+(const Derivatives<N>& a, const Derivatives<N>& b) {
    Derivatives<N> r{a.v + b.v, {}};
    for (int i = 0; i < N; ++i) r.d[i] = a.d[i] + b.d[i];
    return r;
}
template <int N>
Derivatives<N> operator-(const Derivatives<N>& a, const Derivatives<N>& b) {
    Derivatives<N> r{a.v - b.v, {}};
    for (int i = 0; i < N; ++i) r.d[i] = a.d[i] - b.d[i];
    return r;
}
template <int N>
Derivatives<N> operator*(const Derivatives<N>& a, const Derivatives<N>& b) {
    Derivatives<N> r{a.v * b.v, {}};
    for (int i = 0; i < N; ++i) r.d[i] = a.d[i] * b.v + a.v * b.d[i];
    return r;
}
template <int N>
Derivatives<N> operator/(const Derivatives<N>& a, const Derivatives<N>& b) {
    // The value is divided exactly as Complex divides, so that a formula gives bit for bit the
    // same value in both instantiations.
    const Complex q = a.v / b.v;
    const Complex inverse = 1.0 / b.v;
    Derivatives<N> r{q, {}};
    for (int i = 0; i < N; ++i) r.d[i] = (a.d[i] - q * b.d[i]) * inverse;
    return r;
}
template <int N, typename S>
Derivatives<N> operator+(const Derivatives<N>& a, S b) {
    Derivatives<N> r = a;
    r.v = a.v + b;
    return r;
}
template <int N, typename S>
Derivatives<N> operator-(const Derivatives<N>& a, S b) {
    Derivatives<N> r = a;
    r.v = a.v - b;
    return r;
}
template <int N, typename S>
Derivatives<N> operator-(S a, const Derivatives<N>& b) {
    Derivatives<N> r{a - b.v, {}};
    for (int i = 0; i < N; ++i) r.d[i] = -b.d[i];
    return r;
}
template <int N, typename S>
Derivatives<N> operator*(const Derivatives<N>& a, S b) {
    Derivatives<N> r{a.v * b, {}};
    for (int i = 0; i < N; ++i) r.d[i] = a.d[i] * b;
    return r;
}
template <int N, typename S>
Derivatives<N> operator*(S a, const Derivatives<N>& b) {
    return b * a;
}

template <int N, typename S>
Derivatives<N> operator/(S a, const Derivatives<N>& b) {
    const Complex q = a / b.v;
    const Complex inverse = 1.0 / b.v;
    Derivatives<N> r{q, {}};
    for (int i = 0; i < N; ++i) r.d[i] = -(q * b.d[i]) * inverse;
    return r;
}

template <int N>
Derivatives<N> Sqrt(const Derivatives<N>& a) {
    const Complex root = Sqrt(a.v);
    return Chain(root, 0.5 / root, a);
}
template <int N>
Derivatives<N> Exp(const Derivatives<N>& a) {
    const Complex e = Exp(a.v);
    return Chain(e, e, a);
}
template <int N>
Derivatives<N> ExpM1OverX(const Derivatives<N>& a) {
    const Complex value = ExpM1OverX(a.v);
    return Chain(value, ExpM1OverXDerivative(a.v, value), a);
}
template <int N>
Derivatives<N> Log1POverX(const Derivatives<N>& a) {
    const Complex value = Log1POverX(a.v);
    return Chain(value, Log1POverXDerivative(a.v, value), a);
}

inline Complex ValueOf(Complex a) {
    return a;
}
template <int N>
Complex ValueOf(const Derivatives<N>& a) {
    return a.v;
}

}  // namespace heston
