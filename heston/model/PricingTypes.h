// PricingTypes: what the pricers share with their callers: the option type codes, one option
// of a batch, and the price with its Greeks.
#pragma once

namespace heston {

// Option types of the pricers.
constexpr int kCall = 1;
constexpr int kPut = 2;

// One option of a batch on a common spot and parameter set.
struct BatchOption {
    int optionType;  // kCall or kPut
    double strike;
    double maturity;
    double rate;           // continuously compounded, per year
    double dividendYield;  // continuously compounded, per year
};

// A price and its sensitivities. theta = -d price/d maturity; rho = d/d rate;
// dividendRho = d/d dividendYield; dV0 ... dRho: derivatives with respect to the five model
// parameters.
struct Greeks {
    double price, delta, gamma, theta, rho, dividendRho, dV0, dTheta, dKappa, dSigma, dRho;
};

// The same under the Bates model, with the derivatives with respect to the three jump
// parameters (BatesParameters.h).
struct BatesGreeks {
    Greeks heston;
    double dLambda, dMuJ, dDeltaJ;
};

}  // namespace heston
