#include "blackscholes/BlackScholes.h"

#include <algorithm>
#include <cmath>

#include "blackscholes/NormalDistribution.h"

BlackScholes::BlackScholes(double S, double K, double r, double T, double targetPrice,
                           int optionType, double q)
    : xc(2.0),
      xa(0.01),
      xb(0.0),
      fc(0.0),
      fa(0.0),
      iterationLimit(99999),
      S(S),
      K(K),
      r(r),
      T(T),
      targetPrice(targetPrice),
      optionType(optionType),
      q(q) {
    // The market data must be in place before the errors at the start points can be priced.
    fc = PriceError(xc);
    fa = PriceError(xa);
}

double BlackScholes::CallPrice(double s) const {
    const double sqrtT = std::pow(T, 0.5);
    const double L = std::log(S / K);
    const double d1 = (L + T * ((r - q) + s * s * 0.5)) / (sqrtT * s);
    const double d2 = (L + T * ((r - q) - s * s * 0.5)) / (s * sqrtT);
    return std::exp(-q * T) * (NormalCdf(d1) * S) - std::exp(-r * T) * (NormalCdf(d2) * K);
}

double BlackScholes::PutPrice(double s) const {
    const double sqrtT = std::pow(T, 0.5);
    const double L = std::log(S / K);
    const double d1 = (L + T * ((r - q) + s * s * 0.5)) / (sqrtT * s);
    const double d2 = (L + T * ((r - q) - s * s * 0.5)) / (s * sqrtT);
    return std::exp(-r * T) * (NormalCdf(-d2) * K) - std::exp(-q * T) * (NormalCdf(-d1) * S);
}

double BlackScholes::Vega(double s) const {
    const double sqrtT = std::pow(T, 0.5);
    const double d1 = (std::log(S / K) + T * ((r - q) + s * s * 0.5)) / (sqrtT * s);
    return sqrtT * (std::exp(-q * T) * NormalDensity(d1) * S);
}

double BlackScholes::PriceError(double s) const {
    return (optionType == 1 ? CallPrice(s) : PutPrice(s)) - targetPrice;
}

double BlackScholes::ImpliedVolatility(double tol) {
    xb = xc;
    double fb = fc;
    double e = 0.0;
    double d = 0.0;
    for (int iteration = 0; iteration <= iterationLimit; ++iteration) {
        // Keep the root between xb and xc: when they no longer straddle it, fall back to xa.
        if ((fb > 0.0 && fc > 0.0) || (fb < 0.0 && fc < 0.0)) {
            xc = xa;
            fc = fa;
            e = d = xb - xa;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            xa = xb;
            xb = xc;
            xc = xa;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol1 = std::fabs(xb) * 2e-14 + 0.5 * tol;
        const double xm = 0.5 * (xc - xb);
        if (std::fabs(xm) <= tol1 || fb == 0.0) return xb;

        if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
            const double u = fb / fa;
            double p;
            double w;
            if (xa == xc) {
                p = 2.0 * xm * u;  // secant step
                w = 1.0 - u;
            } else {
                w = fa / fc;  // inverse quadratic interpolation
                const double t = fb / fc;
                p = u * (2.0 * xm * w * (w - t) - (xb - xa) * (t - 1.0));
                w = (w - 1.0) * (t - 1.0) * (u - 1.0);
            }
            if (p > 0.0) w = -w;
            p = std::fabs(p);
            // Accept the interpolation only while it stays inside the bracket and shrinks
            // faster than bisection would; otherwise bisect.
            if (2.0 * p < std::min(3.0 * xm * w - std::fabs(tol1 * w), std::fabs(e * w))) {
                e = d;
                d = p / w;
            } else {
                d = xm;
                e = d;
            }
        } else {
            d = xm;
            e = d;
        }
        xa = xb;
        fa = fb;
        if (std::fabs(d) > tol1) {
            xb += d;
        } else {
            xb += CopySign(tol1, xm);
        }
        fb = PriceError(xb);
    }
    return 0.0;
}

double heston_impliedVol(double StockPrice, double ExercisePrice, double InterestRate,
                         double TimeToMaturity, double OptionPrice, int OptionType,
                         double DividendYield, double xAccuracy) {
    BlackScholes option(StockPrice, ExercisePrice, InterestRate, TimeToMaturity, OptionPrice,
                        OptionType, DividendYield);
    return option.ImpliedVolatility(xAccuracy);
}

double heston_weightBSvega(double StockPrice, double ExercisePrice, double InterestRate,
                           double TimeToMaturity, double OptionPrice, int OptionType,
                           double DividendYield) {
    BlackScholes option(StockPrice, ExercisePrice, InterestRate, TimeToMaturity, OptionPrice,
                        OptionType, DividendYield);
    return option.Vega(option.ImpliedVolatility(1e-13));
}
