// Complex: complex arithmetic for the contour pricer's inner loops.
//
// std::complex multiplication and division recover from infinities and NaNs through a library
// call on every operation (C99 Annex G); the characteristic function never produces either, so
// this plain struct does the textbook arithmetic inline. Division scales by the larger
// component of the divisor so that it neither overflows nor underflows early.
#pragma once

#include <cmath>

namespace heston {

struct Complex {
    double re;
    double im;
};

inline Complex operator+(Complex a, Complex b) {
    return {a.re + b.re, a.im + b.im};
}
inline Complex operator-(Complex a, Complex b) {
    return {a.re - b.re, a.im - b.im};
}
inline Complex operator-(Complex a) {
    return {-a.re, -a.im};
}
inline Complex operator*(Complex a, Complex b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline Complex operator+(Complex a, double b) {
    return {a.re + b, a.im};
}
inline Complex operator+(double a, Complex b) {
    return {a + b.re, b.im};
}
inline Complex operator-(Complex a, double b) {
    return {a.re - b, a.im};
}
inline Complex operator-(double a, Complex b) {
    return {a - b.re, -b.im};
}
inline Complex operator*(Complex a, double b) {
    return {a.re * b, a.im * b};
}
inline Complex operator*(double a, Complex b) {
    return {a * b.re, a * b.im};
}
inline Complex operator/(Complex a, double b) {
    return {a.re / b, a.im / b};
}

inline Complex operator/(Complex a, Complex b) {
    if (std::fabs(b.re) >= std::fabs(b.im)) {
        const double ratio = b.im / b.re;
        const double denominator = b.re + b.im * ratio;
        return {(a.re + a.im * ratio) / denominator, (a.im - a.re * ratio) / denominator};
    }
    const double ratio = b.re / b.im;
    const double denominator = b.re * ratio + b.im;
    return {(a.re * ratio + a.im) / denominator, (a.im * ratio - a.re) / denominator};
}
inline Complex operator/(double a, Complex b) {
    return Complex{a, 0.0} / b;
}

inline double Abs(Complex a) {
    return std::hypot(a.re, a.im);
}

inline Complex Exp(Complex a) {
    const double magnitude = std::exp(a.re);
    return {magnitude * std::cos(a.im), magnitude * std::sin(a.im)};
}

// Principal square root (non-negative real part), without cancellation in either component.
inline Complex Sqrt(Complex a) {
    if (a.re == 0.0 && a.im == 0.0) return {0.0, 0.0};
    const double t = std::sqrt(0.5 * (std::fabs(a.re) + std::hypot(a.re, a.im)));
    if (a.re >= 0.0) return {t, a.im / (2.0 * t)};
    return {std::fabs(a.im) / (2.0 * t), std::copysign(t, a.im)};
}

// exp(a) - 1, accurate for small |a|.
inline Complex ExpM1(Complex a) {
    const double halfSin = std::sin(0.5 * a.im);
    return {std::expm1(a.re) * std::cos(a.im) - 2.0 * halfSin * halfSin,
            std::exp(a.re) * std::sin(a.im)};
}

// Principal log(1 + a), accurate for small |a|.
inline Complex Log1P(Complex a) {
    return {0.5 * std::log1p(a.re * (2.0 + a.re) + a.im * a.im), std::atan2(a.im, 1.0 + a.re)};
}

}  // namespace heston
