// InverseNormal: the standard normal quantile Phi^-1(p) on vectors of doubles, to about
// 1e-16 relative, with the same bits on every IEEE platform (the logarithm is the library's
// own, vectormath/VectorMath.h; square roots are correctly rounded everywhere).
//
// Reference:
//   M. J. Wichura, "Algorithm AS 241: The percentage points of the normal distribution",
//     Applied Statistics 37 (1988) 477-484 (PPND16: rational approximations of degree 7 in
//     the centre, |p - 1/2| <= 0.425, and in r = sqrt(-ln min(p, 1 - p)) beyond, split at
//     r = 5).
//
// Every lane computes both the central and the tail approximation and keeps the one its p
// needs, so that all lanes run the same instructions. Domain: 0 < p < 1. The result for 1 - p
// is exactly minus the result for p whenever 1 - p is exact.
//
// Tested in tests/numerics/path_random_numbers_test.cpp.
#pragma once

#include "vectormath/VectorMath.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston {

// The central approximation, |p - 1/2| <= 0.425, at q = p - 1/2.
template <class Vd>
HESTON_VMATH_INLINE Vd CentralNormalQuantile(Vd q) {
    using vmath::Splat;
    const Vd r = Splat<Vd>(0.180625) - q * q;
    const Vd centralNumerator =
        ((((((Splat<Vd>(2509.0809287301226727) * r + Splat<Vd>(33430.575583588128105)) * r +
             Splat<Vd>(67265.770927008700853)) *
                r +
            Splat<Vd>(45921.953931549871457)) *
               r +
           Splat<Vd>(13731.693765509461125)) *
              r +
          Splat<Vd>(1971.5909503065514427)) *
             r +
         Splat<Vd>(133.14166789178437745)) *
            r +
        Splat<Vd>(3.387132872796366608);
    const Vd centralDenominator =
        ((((((Splat<Vd>(5226.495278852545925) * r + Splat<Vd>(28729.085735721942674)) * r +
             Splat<Vd>(39307.89580009271061)) *
                r +
            Splat<Vd>(21213.794301586595867)) *
               r +
           Splat<Vd>(5394.1960214247511077)) *
              r +
          Splat<Vd>(687.1870074920579083)) *
             r +
         Splat<Vd>(42.313330701600911252)) *
            r +
        Splat<Vd>(1.0);
    return q * centralNumerator / centralDenominator;
}

template <class Vd>
HESTON_VMATH_INLINE Vd InverseNormal(Vd p) {
    using vmath::Select;
    using vmath::Splat;
    const Vd half = Splat<Vd>(0.5);
    const Vd q = p - half;
    const auto central = vmath::Abs(q) <= Splat<Vd>(0.425);

    const Vd centralValue = CentralNormalQuantile(q);

    // Tails: r = sqrt(-ln(min(p, 1 - p))); the central lanes take r of 1/2 (never used).
    const Vd smaller = Select(central, half, vmath::Min(p, Splat<Vd>(1.0) - p));
    const Vd s = vmath::Sqrt(Splat<Vd>(0.0) - vmath::Log(smaller));
    const auto near = s <= Splat<Vd>(5.0);
    auto pick = [&](double nearCoefficient, double farCoefficient) {
        return Select(near, Splat<Vd>(nearCoefficient), Splat<Vd>(farCoefficient));
    };
    const Vd t = s - pick(1.6, 5.0);
    const Vd tailNumerator = ((((((pick(7.7454501427834140764e-4, 2.01033439929228813265e-7) * t +
                                   pick(0.0227238449892691845833, 2.71155556874348757815e-5)) *
                                      t +
                                  pick(0.24178072517745061177, 0.0012426609473880784386)) *
                                     t +
                                 pick(1.27045825245236838258, 0.026532189526576123093)) *
                                    t +
                                pick(3.64784832476320460504, 0.29656057182850489123)) *
                                   t +
                               pick(5.7694972214606914055, 1.7848265399172913358)) *
                                  t +
                              pick(4.6303378461565452959, 5.4637849111641143699)) *
                                 t +
                             pick(1.42343711074968357734, 6.6579046435011037772);
    const Vd tailDenominator =
        ((((((pick(1.05075007164441684324e-9, 2.04426310338993978564e-15) * t +
              pick(5.475938084995344946e-4, 1.4215117583164458887e-7)) *
                 t +
             pick(0.0151986665636164571966, 1.8463183175100546818e-5)) *
                t +
            pick(0.14810397642748007459, 7.868691311456132591e-4)) *
               t +
           pick(0.68976733498510000455, 0.0148753612908506148525)) *
              t +
          pick(1.6763848301838038494, 0.13692988092273580531)) *
             t +
         pick(2.05319162663775882187, 0.59983220655588793769)) *
            t +
        Splat<Vd>(1.0);
    const Vd tailMagnitude = tailNumerator / tailDenominator;
    const Vd tailValue = Select(q < Splat<Vd>(0.0), Splat<Vd>(0.0) - tailMagnitude, tailMagnitude);
    return Select(central, centralValue, tailValue);
}

// The same values, bit for bit, skipping the tail approximation when every lane is central (in
// about 70% of pairs of lanes).
template <class Vd>
HESTON_VMATH_INLINE Vd InverseNormalSkippingTails(Vd p) {
    const Vd q = p - vmath::Splat<Vd>(0.5);
    const auto central = vmath::Abs(q) <= vmath::Splat<Vd>(0.425);
    bool allCentral = true;
    for (int lane = 0; lane < vmath::kLanes<Vd>; ++lane) allCentral = allCentral && central[lane];
    return allCentral ? CentralNormalQuantile(q) : InverseNormal(p);
}

}  // namespace heston

#pragma GCC diagnostic pop
