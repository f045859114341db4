// LogMoment: the logarithm of the moment generating function of the Heston model's log price,
// ln M(s) = ln E[exp(s X)] with X = ln(S_T / F) and F the forward, along the line
// s = nu - i v, with its gradient with respect to the model parameters and the maturity when
// it is wanted:
//     ln M(s) = theta * A(s) + v0 * B(s),
// evaluated so that it stays on the principal branch for every maturity and is exact in the
// limits sigma -> 0, kappa -> 0 and d -> 0.
//
// References:
//   S. Heston, "A closed-form solution for options with stochastic volatility with
//     applications to bond and currency options", Rev. Financial Studies 6 (1993) 327-343.
//   H. Albrecher, P. Mayer, W. Schoutens and J. Tistaert, "The little Heston trap",
//     Wilmott Magazine (2007) 83-92 (the form with exp(-d T), which needs no branch tracking).
//
// With beta = kappa - rho sigma s, a = s^2 - s, q = sigma^2, d = sqrt(beta^2 - q a) (real part
// >= 0), e = exp(-d T) and E = (1 - e)/d, the Riccati solutions of the little-trap form are
//     B = a E / (beta E + 1 + e),
//     A = kappa A',  A' = P (T - E log(1 + y)/y),   P = (beta - d)/q = a/(beta + d),
//     y = q P E / 2 = (1 - g e)/(1 - g) - 1,   g = (beta - d)/(beta + d).
// Written this way nothing is divided by sigma or d: E -> T as d -> 0, and log(1 + y)/y -> 1
// as sigma -> 0, where A and B become the deterministic-variance exponents. P uses whichever
// of its two forms does not cancel; E is a Taylor series where d T is small, and for |y| >= 1e-3
// (where sigma > 0) P E log(1 + y)/y is 2 log(1 + y)/q.
//
// The gradient: B and A' depend on the parameters only through beta, q and the maturity, so
// their derivatives are carried forward along the formula in those three directions (beta
// complex, as both are analytic in it) and combined at the end by the chain rule:
//     d/dv0 = B,  d/dtheta = A,  d/dkappa = theta A' + G_beta,
//     d/dsigma = -rho s G_beta + 2 sigma G_q,  d/drho = -sigma s G_beta,  d/dT = G_T,
// with G_x = theta kappa dA'/dx + v0 dB/dx.
//
// Lognormal jumps in the spot (Bates 1996; BatesParameters.h) add the compensated compound
// Poisson term
//     lambda T (phi(s) - 1 - s m),  phi(s) = exp(s muJ + s^2 deltaJ^2 / 2),  m = phi(1) - 1,
// whose gradient is T (phi - 1 - s m) in lambda, lambda T s (phi - 1 - m) in muJ,
// lambda T deltaJ s (s phi - 1 - m) in deltaJ and lambda (phi - 1 - s m) in T. It is finite
// for every s, so it leaves the strip of finite moments as it is.
//
// One formula serves every form: T is double (the scalar form, with the standard library's
// careful operations) or a vector of nodes (ComplexArithmetic.h), whose lanes the plain
// formulas cannot serve are cleared in `plain` and evaluated again in the scalar form.
#pragma once

#include <type_traits>

#include "model/BatesParameters.h"
#include "model/ModelParameters.h"
#include "vectormath/ComplexArithmetic.h"

// Four-lane vectors pass between these inline functions only inside AVX2 code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston {
namespace contour {

// The entries of the gradient: the model parameters in calibration order (ModelParameters.h,
// then the jumps' of BatesParameters.h), then the maturity.
enum GradientEntry {
    kV0Entry,
    kThetaEntry,
    kKappaEntry,
    kSigmaEntry,
    kRhoEntry,
    kLambdaEntry,
    kMuJEntry,
    kDeltaJEntry,
    kMaturityEntry,
    kGradientSize
};
static_assert(kLambdaEntry == kModelParameterCount && kMaturityEntry == kBatesParameterCount,
              "one entry per model parameter");

// How much of the gradient a caller wants.
enum class Gradient {
    kNone,        // ln M only
    kParameters,  // and d ln M / d (v0, theta, kappa, sigma, rho)
    kFull,        // and d ln M / d maturity
};

// The constants of ln M along one line s = nu - i v. Without jumps (lambda = 0) ln M is
// Heston's alone, computed exactly as if the jumps did not exist.
struct MomentLine {
    ModelParameters model;
    double maturity;
    double nu;
    JumpParameters jumps = kNoJumps;
};

template <class T>
struct LogMomentAt {
    vmath::ComplexParts<T> value;
    vmath::ComplexParts<T> gradient[kGradientSize];  // the entries asked for
};

// ln M at s = nu - i v, and the gradient entries that kWanted asks for.
template <Gradient kWanted, class T>
HESTON_VMATH_INLINE LogMomentAt<T> HestonLogMoment(const MomentLine& line, T v,
                                                   vmath::PlainMask<T>& plain) {
    using C = vmath::ComplexParts<T>;
    using M = vmath::PlainMask<T>;
    using vmath::Add;
    using vmath::Broadcast;
    using vmath::DivByNorm;
    using vmath::Mul;
    using vmath::Norm;
    using vmath::Pick;
    using vmath::Real;
    using vmath::Scale;
    using vmath::Sub;
    const ModelParameters& model = line.model;
    const double kappa = model.kappa, sigma = model.sigma, rho = model.rho;
    const double sigma2 = sigma * sigma;
    const T zero = Broadcast<T>(0.0), one = Broadcast<T>(1.0);
    const T maturity = Broadcast<T>(line.maturity), nu = Broadcast<T>(line.nu);
    // a = s^2 - s = s (s - 1), beta = kappa - rho sigma s.
    const C a{nu * nu - nu - v * v, v * (one - (nu + nu))};
    const C beta{Broadcast<T>(kappa) - Broadcast<T>(rho * sigma) * nu,
                 Broadcast<T>(rho * sigma) * v};
    const C discriminant = Sub(Mul(beta, beta), Scale(a, Broadcast<T>(sigma2)));
    const C d = vmath::Sqrt(discriminant, plain);
    const C dT = Scale(d, maturity);
    const C e = vmath::PolarOrZero(vmath::RealExp(zero - dT.re), zero - dT.im, plain);
    // E = (1 - e)/d, by the series where d T is small.
    const M smallDT = Norm(dT) < Broadcast<T>(0.01);
    C E = DivByNorm(Pick(smallDT, Real<T>(1.0), C{one - e.re, zero - e.im}),
                    Pick(smallDT, Real<T>(1.0), d), plain);
    if (vmath::AnyLane(smallDT)) {
        E = Pick(smallDT, Scale(vmath::ExpM1OverXSeries(C{zero - dT.re, zero - dT.im}), maturity),
                 E);
    }
    // B = a E / (beta E + 1 + e).
    C denominator = Mul(beta, E);
    denominator.re = denominator.re + one + e.re;
    denominator.im = denominator.im + e.im;
    const C B = DivByNorm(Mul(a, E), denominator, plain);
    // P = a / (beta + d) or (beta - d) / sigma^2, whichever does not cancel.
    const C sum = Add(beta, d);
    const C difference = Sub(beta, d);
    const T sumNorm = Norm(sum);
    plain &= sumNorm > zero;
    const M useSum = sumNorm >= Norm(difference);
    const C viaSum =
        DivByNorm(Pick(useSum, a, Real<T>(1.0)), Pick(useSum, sum, Real<T>(1.0)), plain);
    const T inverseSigma2 = Broadcast<T>(sigma2 > 0.0 ? 1.0 / sigma2 : 0.0);
    const C P = Pick(useSum, viaSum, Scale(difference, inverseSigma2));
    // A' = P (T - E log(1 + y)/y), y = sigma^2 P E / 2.
    const C y = Scale(Mul(P, E), Broadcast<T>(0.5 * sigma2));
    const M smallY = Norm(y) < Broadcast<T>(1e-6);
    const T twoOverSigma2 = Broadcast<T>(sigma2 > 0.0 ? 2.0 / sigma2 : 0.0);
    const C logarithm = vmath::Log1P(Pick(smallY, Real<T>(1.0), y), plain);
    const C logTerm = Scale(logarithm, twoOverSigma2);
    C perKappa{P.re * maturity - logTerm.re, P.im * maturity - logTerm.im};
    C logOverY{};  // log(1 + y)/y where y is small
    if (vmath::AnyLane(smallY)) {
        logOverY = vmath::Log1POverXSeries(y);
        const C EL = Mul(E, logOverY);
        perKappa = Pick(smallY, Mul(P, C{maturity - EL.re, zero - EL.im}), perKappa);
    }
    // kappa = sigma = 0 (beta + d = 0): no mean reversion, so no theta term. The vector form
    // has cleared such lanes above; the scalar form sets A' = 0.
    const bool noReversion = std::is_same<T, double>::value && vmath::AnyLane(sumNorm == zero);
    if (noReversion) perKappa = Real<T>(0.0);
    const C A = Scale(perKappa, Broadcast<T>(kappa));
    const T theta = Broadcast<T>(model.theta), v0 = Broadcast<T>(model.v0);
    LogMomentAt<T> result;
    result.value = {theta * A.re + v0 * B.re, theta * A.im + v0 * B.im};
    if constexpr (kWanted == Gradient::kNone) {
        return result;
    } else {
        // The derivatives of d, E, B, P, y and A' in the directions beta (a unit complex
        // change of beta), q = sigma^2 and T.
        const C inverseD = DivByNorm(Real<T>(1.0), d, plain);
        const C dBeta = Mul(beta, inverseD);                       // dd/dbeta = beta / d
        const C dQ = Scale(Mul(a, inverseD), Broadcast<T>(-0.5));  // dd/dq = -a / (2 d)
        // dE/dd: (T e - E)/d, or -T^2 f'(-d T) with f(z) = (exp(z) - 1)/z where d T is small;
        // dE/dT = e on both branches.
        C slopeE = Mul(Sub(Scale(e, maturity), E), inverseD);
        if (vmath::AnyLane(smallDT)) {
            const C series = vmath::ExpM1OverXSlopeSeries(C{zero - dT.re, zero - dT.im});
            slopeE = Pick(smallDT, Scale(series, zero - maturity * maturity), slopeE);
        }
        const C inverseDenominator = DivByNorm(Real<T>(1.0), denominator, plain);
        const C inverseSum = DivByNorm(Real<T>(1.0), sum, plain);
        const C inverseOnePlusY = DivByNorm(Real<T>(1.0), C{one + y.re, y.im}, plain);
        const T halfSigma2 = Broadcast<T>(0.5 * sigma2);
        // The derivatives in one direction from those of beta, d, q and T (betaDot is 1 or 0).
        auto direction = [&](const C& betaDot, const C& dDot, T qDot, T tDot, C& bDot,
                             C& perKappaDot) {
            // e' = -e (d' T + d T'), E' = E_d d' + e T', denominator' = beta' E + beta E' + e'.
            const C eDot = Mul(e, C{zero - (dDot.re * maturity + d.re * tDot),
                                    zero - (dDot.im * maturity + d.im * tDot)});
            const C eCapDot = Add(Mul(slopeE, dDot), Scale(e, tDot));
            const C denominatorDot = Add(Add(Mul(betaDot, E), Mul(beta, eCapDot)), eDot);
            // B' = (a E' - B denominator') / denominator.
            bDot = Mul(Sub(Mul(a, eCapDot), Mul(B, denominatorDot)), inverseDenominator);
            // P' = -P (beta' + d') / (beta + d), or (beta' - d' - P q') / q.
            const C viaSumDot = Mul(Mul(P, Add(betaDot, dDot)), inverseSum);
            const C viaDifferenceDot =
                Scale(Sub(Sub(betaDot, dDot), Scale(P, qDot)), inverseSigma2);
            const C pDot =
                Pick(useSum, C{zero - viaSumDot.re, zero - viaSumDot.im}, viaDifferenceDot);
            // y' = (q' P E + q P' E + q P E') / 2.
            const C yDot = Add(Scale(Mul(P, E), Broadcast<T>(0.5) * qDot),
                               Scale(Add(Mul(pDot, E), Mul(P, eCapDot)), halfSigma2));
            // A' = P T - 2 log(1 + y) / q:  P' T + P T' - 2 y' / ((1 + y) q) + 2 q' log / q^2.
            const C logSlope = Scale(Mul(yDot, inverseOnePlusY), twoOverSigma2);
            const T qTerm = qDot * twoOverSigma2 * inverseSigma2;
            perKappaDot = {pDot.re * maturity + P.re * tDot - logSlope.re + qTerm * logarithm.re,
                           pDot.im * maturity + P.im * tDot - logSlope.im + qTerm * logarithm.im};
            if (vmath::AnyLane(smallY)) {
                // A' = P (T - E L(y)), L(y) = log(1 + y)/y:
                //     P' (T - E L) + P (T' - E' L - E L'(y) y').
                const C EL = Mul(E, logOverY);
                const C inner =
                    Add(Mul(eCapDot, logOverY), Mul(E, Mul(vmath::Log1POverXSlopeSeries(y), yDot)));
                const C series = Add(Mul(pDot, C{maturity - EL.re, zero - EL.im}),
                                     Mul(P, C{tDot - inner.re, zero - inner.im}));
                perKappaDot = Pick(smallY, series, perKappaDot);
            }
            if (noReversion) perKappaDot = Real<T>(0.0);
        };
        const T thetaKappa = Broadcast<T>(model.theta * kappa);
        auto combined = [&](const C& bDot, const C& perKappaDot) {
            return Add(Scale(perKappaDot, thetaKappa), Scale(bDot, v0));
        };
        C bDot, perKappaDot;
        direction(Real<T>(1.0), dBeta, zero, zero, bDot, perKappaDot);
        const C gBeta = combined(bDot, perKappaDot);
        direction(Real<T>(0.0), dQ, one, zero, bDot, perKappaDot);
        const C gQ = combined(bDot, perKappaDot);
        // dbeta/dsigma = -rho s, dbeta/drho = -sigma s, dq/dsigma = 2 sigma.
        const C minusS{zero - nu, v};
        const T twoSigma = Broadcast<T>(2.0 * sigma);
        result.gradient[kV0Entry] = B;
        result.gradient[kThetaEntry] = A;
        result.gradient[kKappaEntry] = Add(Scale(perKappa, theta), gBeta);
        result.gradient[kSigmaEntry] =
            Add(Mul(gBeta, Scale(minusS, Broadcast<T>(rho))), Scale(gQ, twoSigma));
        result.gradient[kRhoEntry] = Mul(gBeta, Scale(minusS, Broadcast<T>(sigma)));
        if constexpr (kWanted == Gradient::kFull) {
            direction(Real<T>(0.0), Real<T>(0.0), zero, one, bDot, perKappaDot);
            result.gradient[kMaturityEntry] = combined(bDot, perKappaDot);
        }
        return result;
    }
}

// Adds the jump term to ln M at s = nu - i v, and, when kWanted asks for a gradient, its
// entries: those of lambda, muJ and deltaJ (set) and the maturity's (added to).
template <Gradient kWanted, class T>
HESTON_VMATH_INLINE void AddJumps(const MomentLine& line, T v, LogMomentAt<T>& logMoment,
                                  vmath::PlainMask<T>& plain) {
    using C = vmath::ComplexParts<T>;
    using vmath::Broadcast;
    using vmath::Mul;
    const JumpParameters& j = line.jumps;
    const double nu = line.nu, delta2 = j.deltaJ * j.deltaJ;
    const double meanJump = MeanJumpSize(j);
    // s muJ + s^2 deltaJ^2 / 2 with s^2 = nu^2 - v^2 - 2 i nu v.
    const T exponentRe =
        Broadcast<T>(nu * j.muJ + 0.5 * nu * nu * delta2) - Broadcast<T>(0.5 * delta2) * v * v;
    const T exponentIm = Broadcast<T>(0.0) - v * Broadcast<T>(j.muJ + nu * delta2);
    const C phi = vmath::PolarOrZero(vmath::RealExp(exponentRe), exponentIm, plain);
    plain &= vmath::FiniteLanes(phi.re);
    // phi - 1 - s m, s = nu - i v.
    const C term{phi.re - Broadcast<T>(1.0 + nu * meanJump), phi.im + v * Broadcast<T>(meanJump)};
    const T lambdaT = Broadcast<T>(j.lambda * line.maturity);
    if (j.lambda != 0.0) {
        logMoment.value.re = logMoment.value.re + lambdaT * term.re;
        logMoment.value.im = logMoment.value.im + lambdaT * term.im;
    }
    if constexpr (kWanted != Gradient::kNone) {
        const C s{Broadcast<T>(nu), Broadcast<T>(0.0) - v};
        const T onePlusMean = Broadcast<T>(1.0 + meanJump);
        // phi - (1 + m) and s phi - (1 + m).
        const C shifted{phi.re - onePlusMean, phi.im};
        const C sPhi = Mul(s, phi);
        const C sShifted{sPhi.re - onePlusMean, sPhi.im};
        const T maturity = Broadcast<T>(line.maturity);
        logMoment.gradient[kLambdaEntry] = vmath::Scale(term, maturity);
        logMoment.gradient[kMuJEntry] = vmath::Scale(Mul(s, shifted), lambdaT);
        logMoment.gradient[kDeltaJEntry] =
            vmath::Scale(Mul(s, sShifted), lambdaT * Broadcast<T>(j.deltaJ));
        if constexpr (kWanted == Gradient::kFull) {
            const T lambda = Broadcast<T>(j.lambda);
            C& g = logMoment.gradient[kMaturityEntry];
            g = {g.re + lambda * term.re, g.im + lambda * term.im};
        }
    }
}

// ln M with the jumps where the line has them (lambda != 0) or where their gradient is asked
// for (withJumpGradient); without either, HestonLogMoment's very bits.
template <Gradient kWanted, bool kWithJumpGradient, class T>
HESTON_VMATH_INLINE LogMomentAt<T> LogMoment(const MomentLine& line, T v,
                                             vmath::PlainMask<T>& plain) {
    LogMomentAt<T> logMoment = HestonLogMoment<kWanted>(line, v, plain);
    if (kWithJumpGradient || line.jumps.lambda != 0.0) {
        AddJumps<kWanted>(line, v, logMoment, plain);
    }
    return logMoment;
}

}  // namespace contour
}  // namespace heston

#pragma GCC diagnostic pop
