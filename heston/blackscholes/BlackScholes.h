// BlackScholes: European prices and vega with a continuous dividend yield, and the implied
// volatility of a price by Brent's method (van Wijngaarden-Dekker-Brent).
//
// The root search starts from the fixed points 0.01 and 2 without checking that they bracket a
// root. A price that no volatility in that range reaches ends the search at the nearer end of
// the range, which is returned as if it were a root; 0 means the iteration limit was reached.
// The search state lives in the object, so a second search continues where the first ended.
#pragma once

class BlackScholes {
  public:
    // Evaluates the price error at both starting points of the root search.
    BlackScholes(double S, double K, double r, double T, double targetPrice, int optionType,
                 double q);

    double CallPrice(double s) const;
    double PutPrice(double s) const;
    double Vega(double s) const;
    // Price at volatility s (call when optionType is 1, else put) minus the target price.
    double PriceError(double s) const;

    // The volatility whose price error is zero, to within tol; 0 after the iteration limit.
    double ImpliedVolatility(double tol);

  private:
    double xc;  // bracketing point opposite xb
    double xa;  // previous iterate
    double xb;  // current best estimate
    double fc;
    double fa;
    int iterationLimit;
    double S;
    double K;
    double r;
    double T;
    double targetPrice;
    int optionType;
    double q;
};

// The Black-Scholes implied volatility of OptionPrice (OptionType 1 = call, else put).
double heston_impliedVol(double StockPrice, double ExercisePrice, double InterestRate,
                         double TimeToMaturity, double OptionPrice, int OptionType,
                         double DividendYield, double xAccuracy);

// The Black-Scholes vega at the implied volatility (found to 1e-13) of OptionPrice; a weight for
// the calibrations.
double heston_weightBSvega(double StockPrice, double ExercisePrice, double InterestRate,
                           double TimeToMaturity, double OptionPrice, int OptionType,
                           double DividendYield);
