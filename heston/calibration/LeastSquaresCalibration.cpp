// Calibration of the Heston parameters by Levenberg-Marquardt least squares (MINPACK lmdif)
// within bounds, through the change of variables of BoundedParameter.cpp.
#include <cminpack.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "calibration/Calibration.h"
#include "closedform/ClosedFormGrid.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"

namespace {

constexpr int kParameterCount = heston::kModelParameterCount;

// What lmdif hands back to its callback: the calibrating object and the stop poll.
struct LeastSquaresRun {
    Heston* model;
    heston::StopPoll* poll;
};

// lmdif's callback: counts the evaluation on the calibrating object, then computes the
// residuals. It returns a negative value, which makes lmdif stop at once, only when the stop
// poll asks for it; an exception cannot pass through lmdif.
int LeastSquaresCallback(void* p, int m, int n, const double* x, double* fvec, int iflag) {
    LeastSquaresRun& run = *static_cast<LeastSquaresRun*>(p);
    if (run.poll->Requested()) return -1;
    ++run.model->evaluationCount;
    CalibrationResiduals(m, n, x, fvec, iflag, *run.model->runner);
    return 0;
}

bool StrictlyInside(double lower, double upper, double p) {
    // Equal bounds, a guess on or beyond a bound, or NaN all fail here; otherwise the free
    // variable would be infinite or NaN and the minimiser would return NaN parameters.
    const bool inside = std::min(lower, upper) < p && p < std::max(lower, upper);
    return inside && std::isfinite(ToFreeVariable(upper, lower, p));
}

}  // namespace

void CalibrationResiduals(int m, int n, const double* x, double* fvec, int& iflag) {
    CalibrationResiduals(m, n, x, fvec, iflag, heston::Serial());
}

void CalibrationResiduals(int m, int /*n*/, const double* x, double* fvec, int& /*iflag*/,
                          heston::ParallelFor& runner) {
    const CalibrationData& data = Heston::calibrationData;
    // This runs inside lmdif, which cannot pass an exception on; a table too short for m
    // gives NaN residuals instead of being read past its end.
    const std::size_t stored =
        std::min({data.strike.size(), data.maturity.size(), data.optionType.size(),
                  data.observed.size(), data.rate.size(), data.weight.size()});
    const bool boundsStored = data.lower.size() >= static_cast<std::size_t>(kParameterCount) &&
                              data.upper.size() >= static_cast<std::size_t>(kParameterCount);
    if (!boundsStored || static_cast<std::size_t>(std::max(m, 0)) > stored) {
        std::fill(fvec, fvec + std::max(m, 0), std::numeric_limits<double>::quiet_NaN());
        return;
    }

    double bounded[kParameterCount];
    for (int j = 0; j < kParameterCount; ++j) {
        bounded[j] = ToBoundedParameter(data.upper[j], data.lower[j], x[j]);
    }
    const heston::ModelParameters p = heston::FromCalibrationVector(bounded);
    const double feller = heston::FellerMargin(p);

    // fvec holds the prices first: options of one maturity share the strike-independent part
    // of the integrand, and the maturities are the runner's tasks. Option types are truncated
    // toward zero, 1 a call and anything else a put.
    heston::closedform::ClosedFormPrices(data.spot, data.strike.data(), data.maturity.data(),
                                         data.rate.data(), data.optionType.data(), m, p, 0.0, 1e-13,
                                         fvec, runner);
    for (int i = 0; i < m; ++i) {
        const double price = fvec[i];
        fvec[i] = std::pow(data.weight[i], 0.5) * (price - data.observed[i]);
        // Breaking the Feller condition is allowed but made expensive: the sum of squares
        // grows fourfold, which steers the minimiser back towards 2 kappa theta > sigma^2.
        if (feller <= 0.0) fvec[i] = 2.0 * fvec[i];
    }
}

std::vector<double> Heston::CalibrateLeastSquares(
    std::vector<double> lowerBound, std::vector<double> upperbound,
    std::vector<double> initialGuess, std::vector<double> strikeArray,
    std::vector<double> maturityArray, std::vector<double> callTypeArray,
    std::vector<double> observedPriceArray, double currentSpot,
    std::vector<double> interestRateArray, std::vector<double> weights, int maxIterations,
    const heston::StopRequest& stop) {
    // The residuals read every observation array up to the observed-price count, so all six
    // must agree in length.
    const std::size_t count = observedPriceArray.size();
    if (strikeArray.size() != count || maturityArray.size() != count ||
        callTypeArray.size() != count || interestRateArray.size() != count ||
        weights.size() != count) {
        throw "Mismatch in the observation data";
    }
    if (lowerBound.size() != kParameterCount || upperbound.size() != kParameterCount ||
        initialGuess.size() != kParameterCount) {
        throw "Mismatch in the heston parameter inputs.";
    }
    for (int j = 0; j < kParameterCount; ++j) {
        if (!StrictlyInside(lowerBound[j], upperbound[j], initialGuess[j])) {
            throw "Initial guess must lie strictly inside its bounds";
        }
    }

    SetCalibrationData(lowerBound, upperbound, strikeArray, maturityArray, callTypeArray,
                       observedPriceArray, currentSpot, interestRateArray, weights);
    const int m = static_cast<int>(count);
    const int n = kParameterCount;

    std::vector<double> x(n);
    for (int j = 0; j < n; ++j)
        x[j] = ToFreeVariable(upperbound[j], lowerBound[j], initialGuess[j]);

    std::vector<double> fvec(m);
    std::vector<double> diag(n);
    std::vector<double> fjac(static_cast<std::size_t>(m) * n);
    std::vector<int> ipvt(n);
    std::vector<double> qtf(n);
    std::vector<double> wa1(n);
    std::vector<double> wa2(n);
    std::vector<double> wa3(n);
    std::vector<double> wa4(m);
    int nfev = 0;

    // Settings:
    //  ftol, xtol, gtol 1e-4: observed prices carry a few significant digits and the prices
    //    come from a fixed quadrature, so a relative accuracy of 1e-4 in the sum of squares,
    //    the parameters and the gradient cosine is all the data can support.
    //  maxfev = maxIterations: the caller's cost control; every evaluation prices the whole
    //    table, and each Jacobian takes five of them.
    //  epsfcn 1e-4: forward differences step 1% of each free variable (0.01 at zero), well
    //    above the quadrature's noise, which a step near machine precision would amplify.
    //  mode 1, diag set by lmdif: the free variables differ in sensitivity by orders of
    //    magnitude, so lmdif scales them itself from the Jacobian column norms.
    //  factor 1.0: a cautious first step bound; tanh flattens out beyond |x| of a few units.
    //  nprint 0: no progress calls.
    //  ldfjac m: fjac is stored densely, one column of m entries per parameter.
    evaluationCount = 0;
    heston::StopPoll poll(stop);
    LeastSquaresRun run{this, &poll};
    lmdif(LeastSquaresCallback, &run, m, n, x.data(), fvec.data(), 1e-4, 1e-4, 1e-4, maxIterations,
          1e-4, diag.data(), 1, 1.0, 0, &nfev, fjac.data(), m, ipvt.data(), qtf.data(), wa1.data(),
          wa2.data(), wa3.data(), wa4.data());
    if (poll.Stopped()) throw heston::CalculationCancelled();

    std::vector<double> result(n);
    for (int j = 0; j < n; ++j) result[j] = ToBoundedParameter(upperbound[j], lowerBound[j], x[j]);
    return result;
}

std::vector<double> heston_CalibrateLevMar(
    std::vector<double> lowerBound, std::vector<double> upperbound,
    std::vector<double> initialGuess, std::vector<double> strikeArray,
    std::vector<double> maturityArray, std::vector<double> callTypeArray,
    std::vector<double> observedPriceArray, double currentSpot,
    std::vector<double> interestRateArray, std::vector<double> weights, int maxIterations,
    const heston::StopRequest& stop, heston::ParallelFor& runner) {
    Heston model;
    model.runner = &runner;
    return model.CalibrateLeastSquares(
        std::move(lowerBound), std::move(upperbound), std::move(initialGuess),
        std::move(strikeArray), std::move(maturityArray), std::move(callTypeArray),
        std::move(observedPriceArray), currentSpot, std::move(interestRateArray),
        std::move(weights), maxIterations, stop);
}
