// The finite-difference benchmark cases, shared by finite_difference_bench.cpp (ours) and
// finite_difference_qlbench.cpp (QuantLib's FdHestonVanillaEngine and FdHestonBarrierEngine),
// with the references both sides' errors are measured against.
#pragma once

namespace fdbench {

struct Case {
    const char* name;
    bool call, american;
    double upOutBarrier;  // 0: none
    double spot, strike, maturity, rate;
    double v0, theta, kappa, sigma, rho;
    double reference;
};

// Oosterlee's American put, S = 10, v0 = 0.0625 (C. W. Oosterlee, Electron. Trans. Numer.
// Anal. 15, 2003): 0.520030.
constexpr Case kOosterleePut{"OosterleePut", false, true, 0.0, 10.0, 10.0,    0.25, 0.1,
                             0.0625,         0.16,  5.0,  0.9, 0.1,  0.520030};
// QuantLib's test put and up-and-out call (S = K = 100, T = 1, r = 0.05, v0 = theta = 0.04,
// kappa = 2.5, sigma = 0.66, rho = -0.8). References converged on our grids: the put on
// k x (50, 128, 64) for k = 1, 2, 4, 8 gives 5.674542, 5.675258, 5.675377, 5.675376; the
// up-and-out call on k x (100, 300, 40) gives 9.147881, 9.153750, 9.154844, 9.154989 (the
// differences falling 5 and 7 times per doubling), extrapolated 9.15501. QuantLib's test suite
// expects 5.66032 and 9.1530, coarse-grid values.
constexpr Case kLongPut{"LongPut", false, true, 0.0, 100.0, 100.0, 1.0,
                        0.05,      0.04,  0.04, 2.5, 0.66,  -0.8,  5.67538};
constexpr Case kUpOutCall{"UpOutCall", true, false, 135.0, 100.0, 100.0, 1.0,
                          0.05,        0.04, 0.04,  2.5,   0.66,  -0.8,  9.15501};

}  // namespace fdbench
