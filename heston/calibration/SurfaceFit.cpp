// The residuals of a surface and their Jacobian under a model given by its pricers.
#include "calibration/SurfaceFit.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>

#include "blackscholes/BlackImpliedVolatility.h"
#include "blackscholes/BlackVega.h"

namespace heston {
namespace calibration {

namespace {

// The Black-Scholes vega of an option of the table.
double Vega(const BatchOption& o, double spot, double volatility) {
    return BlackVega(spot, o.strike, o.maturity, o.rate, o.dividendYield, volatility);
}

}  // namespace

std::string OptionText(std::size_t i) {
    return "option " + std::to_string(i + 1);
}

SurfaceFit::SurfaceFit(double spot, const std::vector<CalibrationQuote>& quotes,
                       CalibrationErrorMeasure measure, const SurfaceModel& model,
                       ParallelFor& runner)
    : spot_(spot), measure_(measure), model_(model), count_(quotes.size()), runner_(&runner) {
    options_.reserve(count_);
    for (const CalibrationQuote& quote : quotes) {
        options_.push_back(quote.option);
        observed_.push_back(quote.price);
        root_weights_.push_back(std::sqrt(quote.weight));
    }
    prices_.resize(count_);
    derivatives_.resize(count_ * model_.parameters);
    if (measure_ == CalibrationErrorMeasure::Vol) {
        for (std::size_t i = 0; i < count_; ++i) {
            const BatchOption& o = options_[i];
            double volatility = 0.0;
            try {
                volatility = BlackImpliedVolatility(o.optionType, observed_[i], spot_, o.strike,
                                                    o.maturity, o.rate, o.dividendYield);
            } catch (const std::exception&) {
                throw std::invalid_argument(
                    OptionText(i) +
                    ": the price lies outside the no-arbitrage bounds, so it has no implied "
                    "volatility");
            }
            observed_volatilities_.push_back(volatility);
            // A floor keeps the fallback error finite for options with next to no vega.
            observed_vegas_.push_back(std::max(Vega(o, spot_, volatility), 1e-12));
        }
    }
}

SurfaceFit SurfaceFit::OnThisThread() const {
    SurfaceFit copy = *this;
    copy.runner_ = &Serial();
    copy.poll_ = nullptr;
    return copy;
}

bool SurfaceFit::Evaluate(const double* x, double* residuals, double* jacobian) {
    if (poll_ != nullptr) poll_->ThrowIfRequested();
    const int n = model_.parameters;
    try {
        model_.prices(spot_, x, options_.data(), count_, prices_.data(),
                      jacobian != nullptr ? derivatives_.data() : nullptr, *runner_);
    } catch (const std::exception&) {
        return false;
    }
    for (std::size_t i = 0; i < count_; ++i) {
        double factor = root_weights_[i];  // d residual / d price
        double error = prices_[i] - observed_[i];
        if (measure_ == CalibrationErrorMeasure::Relative) {
            factor /= observed_[i];
            error /= observed_[i];
        } else if (measure_ == CalibrationErrorMeasure::Vol) {
            const BatchOption& o = options_[i];
            double vega = observed_vegas_[i];
            error /= vega;
            try {
                const double volatility = BlackImpliedVolatility(
                    o.optionType, prices_[i], spot_, o.strike, o.maturity, o.rate, o.dividendYield);
                const double modelVega = Vega(o, spot_, volatility);
                if (modelVega > 1e-12) {
                    vega = modelVega;
                    error = volatility - observed_volatilities_[i];
                }
            } catch (const std::exception&) {
                // The price difference over the observed vega stands in.
            }
            factor /= vega;
        }
        residuals[i] = root_weights_[i] * error;
        if (jacobian != nullptr) {
            for (int j = 0; j < n; ++j) jacobian[i * n + j] = factor * derivatives_[i * n + j];
        }
    }
    return true;
}

ResidualsAndJacobian SurfaceFit::Evaluator() {
    return [this](const double* x, double* residuals, double* jacobian) {
        return Evaluate(x, residuals, jacobian);
    };
}

double SurfaceFit::SumOfSquares(const double* x) {
    std::vector<double> residuals(count_);
    if (!Evaluate(x, residuals.data(), nullptr)) return std::numeric_limits<double>::infinity();
    double sum = 0.0;
    for (double r : residuals) sum += r * r;
    return std::isfinite(sum) ? sum : std::numeric_limits<double>::infinity();
}

void SurfaceFit::CheckOptions(const double* x) {
    std::vector<double> residuals(count_);
    Evaluate(x, residuals.data(), nullptr);
    for (std::size_t i = 0; i < count_; ++i) {
        if (std::isfinite(prices_[i])) continue;
        try {
            model_.price(spot_, x, options_[i]);
        } catch (const std::exception& error) {
            throw std::invalid_argument(OptionText(i) + ": " + error.what());
        }
        throw std::invalid_argument(OptionText(i) + ": the pricer gives no price");
    }
}

}  // namespace calibration
}  // namespace heston
