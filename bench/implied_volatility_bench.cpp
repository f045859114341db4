// Cost of one Black-Scholes implied-volatility inversion (heston::BlackImpliedVolatility), over
// a mixed set of calls and puts: volatilities 0.05-1.5, maturities one week to five years,
// standardised moneyness -3 to 3, in and out of the money. The per_inversion counter is the
// time of one inversion.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "contour/ContourPricer.h"

namespace {

struct Quote {
    int type;
    double price, spot, strike, maturity, rate, dividendYield;
};

double Cdf(double z) {
    return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

std::vector<Quote> MixedQuotes() {
    std::vector<Quote> quotes;
    const double spot = 100.0, rate = 0.03, dividendYield = 0.01;
    for (double vol : {0.05, 0.2, 0.6, 1.5}) {
        for (double T : {7.0 / 365, 0.25, 1.0, 5.0}) {
            for (double k : {-3.0, -1.0, 0.0, 1.0, 3.0}) {
                for (int type : {1, 2}) {
                    const double s = vol * std::sqrt(T);
                    const double forward = spot * std::exp((rate - dividendYield) * T);
                    const double strike = forward * std::exp(-k * s);
                    const double d1 = k + 0.5 * s, d2 = k - 0.5 * s;
                    const double discount = std::exp(-rate * T);
                    const double call = discount * (forward * Cdf(d1) - strike * Cdf(d2));
                    const double put = discount * (strike * Cdf(-d2) - forward * Cdf(-d1));
                    quotes.push_back(
                        {type, type == 1 ? call : put, spot, strike, T, rate, dividendYield});
                }
            }
        }
    }
    return quotes;
}

void Run(benchmark::State& state, const std::vector<Quote>& quotes) {
    for (auto _ : state) {
        for (const Quote& q : quotes) {
            benchmark::DoNotOptimize(heston::BlackImpliedVolatility(
                q.type, q.price, q.spot, q.strike, q.maturity, q.rate, q.dividendYield));
        }
    }
    state.counters["per_inversion"] = benchmark::Counter(
        static_cast<double>(quotes.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_BlackImpliedVolatility_Mixed(benchmark::State& state) {
    Run(state, MixedQuotes());
}
BENCHMARK(BM_BlackImpliedVolatility_Mixed)->Unit(benchmark::kMicrosecond);

// A single at-the-money one-year call.
void BM_BlackImpliedVolatility_AtTheMoney(benchmark::State& state) {
    Run(state, {{1, 7.965567455405798, 100.0, 100.0, 1.0, 0.0, 0.0}});
}
BENCHMARK(BM_BlackImpliedVolatility_AtTheMoney)->Unit(benchmark::kNanosecond);

}  // namespace
