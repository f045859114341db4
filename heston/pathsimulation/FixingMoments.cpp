// The joint moment of the log spot at several dates by backward recursion over the dates.
#include "pathsimulation/FixingMoments.h"

#include <cmath>

namespace heston {

namespace {

// (1 - exp(-z)) / z, equal to 1 at z = 0. The series to z^11 is exact to rounding for
// |z| < 0.1.
ComplexNumber OneMinusExpOverX(ComplexNumber z) {
    if (std::abs(z) < 0.1) {
        // sum over n >= 0 of (-z)^n / (n + 1)!
        ComplexNumber sum = 0.0;
        double factorial = 479001600.0;  // 12!
        for (int n = 11; n >= 0; --n) {
            sum = sum * (-z) + 1.0 / factorial;
            factorial /= n + 1;
        }
        return sum;
    }
    return (1.0 - std::exp(-z)) / z;
}

// log(1 + z) / z on the principal branch, equal to 1 at z = 0; the series to z^17 is exact to
// rounding for |z| < 0.1.
ComplexNumber Log1POverX(ComplexNumber z) {
    if (std::abs(z) < 0.1) {
        ComplexNumber sum = 0.0;
        for (int n = 17; n >= 0; --n) sum = sum * z + (n % 2 == 0 ? 1.0 : -1.0) / (n + 1.0);
        return sum;
    }
    return std::log(1.0 + z) / z;
}

}  // namespace

AffineExponent HestonRiccatiSolution(ComplexNumber u, ComplexNumber w, double tau,
                                     const ModelParameters& model) {
    const double sigma2 = model.sigma * model.sigma;
    const ComplexNumber a = u * u - u;
    const ComplexNumber beta = model.kappa - model.rho * model.sigma * u;
    const ComplexNumber d = std::sqrt(beta * beta - sigma2 * a);
    const ComplexNumber sum = beta + d;
    const ComplexNumber difference = beta - d;
    // The small root in whichever form does not cancel.
    ComplexNumber x;
    if (std::abs(sum) >= std::abs(difference)) {
        x = std::abs(sum) > 0.0 ? a / sum : ComplexNumber(0.0);
    } else {
        x = difference / sigma2;
    }
    const ComplexNumber dTau = d * tau;
    const ComplexNumber e = std::exp(-dTau);
    const ComplexNumber E = tau * OneMinusExpOverX(dTau);
    const ComplexNumber offset = w - x;
    const ComplexNumber y = -0.5 * sigma2 * offset * E;
    AffineExponent result;
    result.b = x + offset * e / (1.0 + y);
    result.a = model.kappa * model.theta * (x * tau + offset * E * Log1POverX(y));
    return result;
}

ComplexNumber JumpLogMoment(ComplexNumber u, double tau, const JumpParameters& jumps) {
    const double halfVariance = 0.5 * jumps.deltaJ * jumps.deltaJ;
    return jumps.lambda * tau *
           (std::exp(u * (jumps.muJ + halfVariance * u)) - 1.0 - u * MeanJumpSize(jumps));
}

ComplexNumber LogMomentOfFixings(const ComplexNumber* coefficients, const double* times, int count,
                                 double rate, double dividendYield, const BatesParameters& model) {
    const bool jumps = model.jumps.lambda > 0.0;
    ComplexNumber u = 0.0;         // coefficient of ln S at the current date
    ComplexNumber w = 0.0;         // coefficient of the variance at the current date
    ComplexNumber constant = 0.0;  // what the later intervals contributed
    for (int j = count - 1; j >= 0; --j) {
        u += coefficients[j];
        const double tau = times[j] - (j > 0 ? times[j - 1] : 0.0);
        if (tau > 0.0) {
            const AffineExponent step = HestonRiccatiSolution(u, w, tau, model.heston);
            constant += u * ((rate - dividendYield) * tau) + step.a;
            if (jumps) constant += JumpLogMoment(u, tau, model.jumps);
            w = step.b;
        }
    }
    return constant + w * model.heston.v0;
}

ComplexNumber LogMomentOfFixings(const ComplexNumber* coefficients, const double* times, int count,
                                 double rate, double dividendYield, const ModelParameters& model) {
    return LogMomentOfFixings(coefficients, times, count, rate, dividendYield,
                              BatesParameters{model, kNoJumps});
}

}  // namespace heston
