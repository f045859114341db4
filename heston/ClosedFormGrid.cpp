// ClosedFormGrid: the characteristic exponent on the closed-form price's grids, shared across
// strikes, and the one-pass price of a single option.
#include "ClosedFormGrid.h"

#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

#include "BooleRule.h"
#include "Heston.h"

namespace heston_detail {

namespace {

// A complex number as two doubles: the arithmetic below is written out so that it compiles to
// plain multiplications instead of the general routines that guard every complex product and
// quotient against overflow.
struct Cx {
    double re;
    double im;
};

using StdComplex = std::complex<double>;

// Magnitudes (squared) inside which the plain formulas neither overflow nor lose precision to
// underflow; anything outside goes through the standard library's careful routines.
constexpr double kTiny = 1e-290;
constexpr double kHuge = 1e290;
constexpr double kOperandLow = 1e-140;
constexpr double kOperandHigh = 1e140;
constexpr double kSmallestNormal = 2.2250738585072014e-308;

bool Plain(double squaredMagnitude) {
    return squaredMagnitude > kTiny && squaredMagnitude < kHuge;
}

Cx FromStd(const StdComplex& z) {
    return {z.real(), z.imag()};
}

Cx Mul(const Cx& a, const Cx& b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

// Smith's quotient, with the operations in the order of the compiler's general routine (which
// adds only scaling for operands near the ends of the range, sent there instead). The naive
// formula is cheaper but loses digits to cancellation that the prices would show.
Cx Div(const Cx& a, const Cx& b) {
    const double c = b.re;
    const double d = b.im;
    const double big = std::fmax(std::fabs(c), std::fabs(d));
    if (big > kOperandLow && big < kOperandHigh && std::fabs(a.re) < kOperandHigh &&
        std::fabs(a.im) < kOperandHigh && std::fabs(a.re) + std::fabs(a.im) > kOperandLow) {
        if (std::fabs(c) < std::fabs(d)) {
            const double ratio = c / d;
            const double denom = (c * ratio) + d;
            if (std::fabs(ratio) > kSmallestNormal) {
                return {((a.re * ratio) + a.im) / denom, ((a.im * ratio) - a.re) / denom};
            }
            return {((c * (a.re / d)) + a.im) / denom, ((c * (a.im / d)) - a.re) / denom};
        }
        const double ratio = d / c;
        const double denom = (d * ratio) + c;
        if (std::fabs(ratio) > kSmallestNormal) {
            return {((a.im * ratio) + a.re) / denom, (a.im - (a.re * ratio)) / denom};
        }
        return {((d * (a.im / c)) + a.re) / denom, (a.im - (d * (a.re / c))) / denom};
    }
    return FromStd(StdComplex(a.re, a.im) / StdComplex(b.re, b.im));
}

// Principal square root (non-negative real part), without cancellation in either part.
Cx Sqrt(const Cx& z) {
    const double m2 = z.re * z.re + z.im * z.im;
    if (!Plain(m2)) return FromStd(std::sqrt(StdComplex(z.re, z.im)));
    const double m = std::sqrt(m2);
    if (z.re >= 0.0) {
        const double t = std::sqrt(0.5 * (m + z.re));
        return {t, z.im / (2.0 * t)};
    }
    const double t = std::sqrt(0.5 * (m - z.re));
    return {std::fabs(z.im) / (2.0 * t), std::copysign(t, z.im)};
}

// Principal logarithm (imaginary part in (-pi, pi]).
Cx Log(const Cx& z) {
    const double m2 = z.re * z.re + z.im * z.im;
    if (!Plain(m2)) return FromStd(std::log(StdComplex(z.re, z.im)));
    return {0.5 * std::log(m2), std::atan2(z.im, z.re)};
}

// Constants of the characteristic exponent for one parameter set and maturity; index 0 is
// probability 1 (share measure), index 1 probability 2 (risk-neutral).
struct Exponent {
    double tau;
    double v;
    double sigma2;
    double aOverSigma2;
    double rhoSigma;
    double b[2];
    double twoU[2];

    Exponent(double tau, double rho, double kappa, double theta, double lambda, double sigma,
             double v)
        : tau(tau),
          v(v),
          sigma2(sigma * sigma),
          aOverSigma2((kappa * theta) / (sigma * sigma)),
          rhoSigma(rho * sigma),
          b{kappa + lambda - rho * sigma, kappa + lambda},
          twoU{1.0, -1.0} {}

    // A_j(phi) = C_j + D_j v without the drift term r phi tau i, which belongs to the phase.
    Cx At(int j, double phi) const {
        const Parts p = PartsAt(j, phi);
        return {p.re, p.imC + p.imDv};
    }

    // Re(C_j + D_j v), and the imaginary parts of C_j (without the drift) and of D_j v apart,
    // so that a single price can add the drift and spot phases in HestonIntegrand's order.
    struct Parts {
        double re;
        double imC;
        double imDv;
    };

    // The steps and their order are those of HestonIntegrand.
    Parts PartsAt(int j, double phi) const {
        const double qIm = rhoSigma * phi;  // q = i rho sigma phi
        const double bj = b[j];
        // (q - b)^2 - sigma^2 (2 u phi i - phi^2)
        const double mb = 0.0 - bj;
        const double squareRe = mb * mb - qIm * qIm;
        const double squareIm = mb * qIm + qIm * mb;
        const double uTerm = twoU[j] * phi;
        const double phi2 = 0.0 - phi * phi;
        const Cx d = Sqrt({squareRe - sigma2 * phi2, squareIm - sigma2 * uTerm});

        const Cx bqMinusD{bj - d.re, (0.0 - qIm) - d.im};
        const Cx bqPlusD{bj + d.re, (0.0 - qIm) + d.im};
        // With exp(-d tau) and g = (b - q - d) / (b - q + d), |g exp(-d tau)| < 1 and the
        // logarithm stays on its principal branch for long maturities.
        const Cx g = Div(bqMinusD, bqPlusD);
        const double eMagnitude = std::exp((-d.re) * tau);
        const double eAngle = (-d.im) * tau;
        const Cx E{eMagnitude * std::cos(eAngle), eMagnitude * std::sin(eAngle)};
        const Cx gE = Mul(g, E);
        const Cx oneMinusGE{1.0 - gE.re, 0.0 - gE.im};
        const Cx oneMinusG{1.0 - g.re, 0.0 - g.im};
        const Cx L = Log(Div(oneMinusGE, oneMinusG));
        const Cx C{aOverSigma2 * (bqMinusD.re * tau - 2.0 * L.re),
                   aOverSigma2 * (bqMinusD.im * tau - 2.0 * L.im)};
        const Cx scaled{bqMinusD.re / sigma2, bqMinusD.im / sigma2};
        const Cx D = Div(Mul(scaled, {1.0 - E.re, 0.0 - E.im}), oneMinusGE);
        return {C.re + D.re * v, C.im, D.im * v};
    }
};

// Once a sample falls below this in magnitude, every later sample of its integral is 0.
constexpr double kCutOff = 1e-45;
// A point where |exp(A_j)| / phi is below this gives a sample below the cut-off for every
// strike (|sample| <= |exp(A_j)| / phi), with a margin for rounding.
constexpr double kSurelyCut = 1e-46;

double Pi() {
    return 4.0 * std::atan(1.0);
}

// The price from the two probabilities' integrals (tail and head pieces).
double PriceFromIntegrals(const double (&tail)[2], const double (&head)[2], double S, double K,
                          double tau, double r, int optionType) {
    const double pi = Pi();
    double P[2];
    for (int j = 0; j < 2; ++j) P[j] = (tail[j] + head[j]) * (1.0 / pi) + 0.5;
    const double Kd = K * std::exp(-(tau * r));
    const double call = S * P[0] - Kd * P[1];
    if (optionType == 1) return call;
    // The put comes from the call's own probabilities by parity, never from its own integrals.
    return (call + Kd) - S;
}

}  // namespace

ClosedFormGrid::ClosedFormGrid(double lowerLimit, double upperLimit)
    : head_{lowerLimit, (kHeadEnd - lowerLimit) / kHeadIntervals, kHeadIntervals, 0},
      tail_{kTailStart, (upperLimit - kTailStart) / kTailIntervals, kTailIntervals,
            kHeadIntervals + 1},
      computed_{{0, 0}, {0, 0}} {
    for (const Segment* s : {&head_, &tail_}) {
        for (int k = 0; k <= s->intervals; ++k) phi_[s->offset + k] = s->lower + k * s->h;
    }
}

bool ClosedFormGrid::Factorable(double S, double K) {
    return S > 0.0 && K > 0.0 && std::isfinite(S) && std::isfinite(K);
}

void ClosedFormGrid::SetMaturity(double tau, double rho, double kappa, double theta, double lambda,
                                 double sigma, double v) {
    tau_ = tau;
    const Exponent exponent(tau, rho, kappa, theta, lambda, sigma, v);
    const Segment* segments[2] = {&head_, &tail_};
    for (int s = 0; s < 2; ++s) {
        const Segment& segment = *segments[s];
        for (int j = 0; j < 2; ++j) {
            double* wRe = wRe_[j] + segment.offset;
            double* wIm = wIm_[j] + segment.offset;
            const double* phi = phi_ + segment.offset;
            int k = 0;
            while (k <= segment.intervals) {
                const Cx A = exponent.At(j, phi[k]);
                const double scale = std::exp(A.re) / phi[k];
                wRe[k] = scale * std::cos(A.im);
                wIm[k] = scale * std::sin(A.im);
                ++k;
                if (std::fabs(scale) < kSurelyCut) break;
            }
            computed_[s][j] = k;
        }
    }
}

double ClosedFormGrid::Probability(int j, const Segment& segment, const double* cosine,
                                   const double* sine) const {
    const int n = segment.intervals;
    const int available = computed_[&segment == &head_ ? 0 : 1][j];
    const double* wRe = wRe_[j] + segment.offset;
    const double* wIm = wIm_[j] + segment.offset;
    double y[kTailIntervals + 1];
    int k = 0;
    for (; k <= n && k < available; ++k) {
        if (k >= 1 && std::fabs(y[k - 1]) < kCutOff) break;
        // Im(exp(A_j) exp(i phi x)) / phi.
        y[k] = wRe[k] * sine[k] + wIm[k] * cosine[k];
    }
    for (; k <= n; ++k) y[k] = 0.0;
    return BooleSum(y, n, segment.h);
}

double ClosedFormGrid::Price(double S, double K, double r, int optionType) const {
    const double x = (std::log(S) - std::log(K)) + r * tau_;
    double integral[2][2];  // [segment][j]
    const Segment* segments[2] = {&head_, &tail_};
    // exp(i phi x) at the grid points: an exact anchor every kBlock points, times powers of
    // exp(i h x) between anchors, so that no error builds up along the grid.
    constexpr int kBlock = 16;
    double cosine[kTailIntervals + 1];
    double sine[kTailIntervals + 1];
    for (int s = 0; s < 2; ++s) {
        const Segment& segment = *segments[s];
        const int needed = computed_[s][0] > computed_[s][1] ? computed_[s][0] : computed_[s][1];
        const double* phi = phi_ + segment.offset;
        Cx step[kBlock];
        step[0] = {1.0, 0.0};
        step[1] = {std::cos(segment.h * x), std::sin(segment.h * x)};
        for (int b = 2; b < kBlock; ++b) step[b] = Mul(step[b - 1], step[1]);
        for (int start = 0; start < needed; start += kBlock) {
            const double angle = phi[start] * x;
            const Cx anchor{std::cos(angle), std::sin(angle)};
            const int end = start + kBlock < needed ? start + kBlock : needed;
            for (int k = start; k < end; ++k) {
                const Cx e = Mul(anchor, step[k - start]);
                cosine[k] = e.re;
                sine[k] = e.im;
            }
        }
        for (int j = 0; j < 2; ++j) integral[s][j] = Probability(j, segment, cosine, sine);
    }
    const double tail[2] = {integral[1][0], integral[1][1]};
    const double head[2] = {integral[0][0], integral[0][1]};
    return PriceFromIntegrals(tail, head, S, K, tau_, r, optionType);
}

double ClosedFormGrid::DirectPrice(double S, double K, double tau, double r, double rho,
                                   double kappa, double theta, double lambda, double sigma,
                                   double v, double lowerLimit, double upperLimit, int optionType) {
    const Exponent exponent(tau, rho, kappa, theta, lambda, sigma, v);
    const double lnS = std::log(S);
    const double lnK = std::log(K);
    const Segment segments[2] = {
        {lowerLimit, (kHeadEnd - lowerLimit) / kHeadIntervals, kHeadIntervals, 0},
        {kTailStart, (upperLimit - kTailStart) / kTailIntervals, kTailIntervals, 0}};
    double integral[2][2];
    double y[2][kTailIntervals + 1];
    for (int s = 0; s < 2; ++s) {
        const Segment& segment = segments[s];
        const int n = segment.intervals;
        // Both probabilities on one pass; each stops evaluating at its own cut-off.
        bool cut[2] = {false, false};
        for (int k = 0; k <= n; ++k) {
            const double phi = segment.lower + k * segment.h;
            for (int j = 0; j < 2; ++j) {
                if (!cut[j] && k >= 1 && std::fabs(y[j][k - 1]) < kCutOff) cut[j] = true;
                if (cut[j]) {
                    y[j][k] = 0.0;
                    continue;
                }
                // Re[f_j exp(-i phi ln K) / (i phi)] = exp(Re A_j) sin(angle) / phi, the angle
                // being that of f_j less phi ln K. Both phases are summed in HestonIntegrand's
                // order, so that their rounding is the same as there.
                const Exponent::Parts A = exponent.PartsAt(j, phi);
                const double angleF = (((r * phi) * tau + A.imC) + A.imDv) + phi * lnS;
                y[j][k] = std::exp(A.re) * std::sin(angleF - phi * lnK) / phi;
            }
            if (cut[0] && cut[1]) {
                for (int rest = k + 1; rest <= n; ++rest) y[0][rest] = y[1][rest] = 0.0;
                break;
            }
        }
        for (int j = 0; j < 2; ++j) integral[s][j] = BooleSum(y[j], n, segment.h);
    }
    const double tail[2] = {integral[1][0], integral[1][1]};
    const double head[2] = {integral[0][0], integral[0][1]};
    return PriceFromIntegrals(tail, head, S, K, tau, r, optionType);
}

void ClosedFormPrices(double spot, const double* strike, const double* maturity, const double* rate,
                      const double* optionType, int count, double rho, double kappa, double theta,
                      double lambda, double sigma, double v, double lowerLimit, double* prices) {
    const double upperLimit = 100.0;
    // Option types arrive as doubles; values an int cannot hold are puts.
    auto code = [&](int i) { return std::trunc(optionType[i]) == 1.0 ? 1 : 2; };
    std::vector<bool> done(static_cast<std::size_t>(count > 0 ? count : 0), false);
    ClosedFormGrid grid(lowerLimit, upperLimit);
    Heston straightforward;
    for (int i = 0; i < count; ++i) {
        if (done[i]) continue;
        // A NaN maturity equals nothing, not even itself: it is priced on its own.
        const double tau = maturity[i];
        grid.SetMaturity(tau, rho, kappa, theta, lambda, sigma, v);
        for (int k = i; k < count; ++k) {
            if (done[k] || !(k == i || maturity[k] == tau)) continue;
            done[k] = true;
            prices[k] = ClosedFormGrid::Factorable(spot, strike[k])
                            ? grid.Price(spot, strike[k], rate[k], code(k))
                            : straightforward.ClosedFormPrice(spot, strike[k], maturity[k], rate[k],
                                                              rho, kappa, theta, lambda, sigma, v,
                                                              lowerLimit, upperLimit, code(k));
        }
    }
}

}  // namespace heston_detail
