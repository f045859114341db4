// ContourIntegrands: the integrands of the contour pricer along the line s = nu - i v, for
// IntegrateSinhTrapezoid: the price alone, and the price with its nine derivatives.
//
// Both give as the integrand's size |exp(-s k) M(s) / (s (s - 1))| and take the value and the
// size from the same vector kernel (ContourKernel.h), so that a price computed with its
// Greeks equals the price alone to the last bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "contour/ContourKernel.h"
#include "contour/ContourPricing.h"
#include "contour/LogMoment.h"
#include "quadrature/OscillatoryTail.h"
#include "quadrature/SinhTrapezoid.h"

namespace heston {
namespace contour {

// exp(-s k) M(s) / (s (s - 1)) from ln M, and its modulus.
inline Complex Kernel(Complex s, double k, Complex logMoment, double* size) {
    const Complex z = -s * k + logMoment;
    const Complex kernel = Exp(z) / (s * (s - 1.0));
    *size = std::sqrt(kernel.re * kernel.re + kernel.im * kernel.im);
    return kernel;
}

class PriceIntegrand {
  public:
    PriceIntegrand(const ModelParameters& model, double maturity, const Contour& contour, double k)
        : line_{model, maturity, contour.nu, k} {}

    void Evaluate(const double* v, int n, double* values, double* sizes) const {
        PriceKernels(line_, v, n, values, sizes);
    }

  private:
    KernelLine line_;
};

class GreeksIntegrand {
  public:
    using Number = Derivatives<4>;  // d/dkappa, d/dsigma, d/drho, d/dmaturity

    GreeksIntegrand(const ModelParameters& model, double maturity, const Contour& contour, double k)
        : model_(model),
          kappa_(Seeded<4>(model.kappa, 0)),
          sigma_(Seeded<4>(model.sigma, 1)),
          rho_(Seeded<4>(model.rho, 2)),
          maturity_(Seeded<4>(maturity, 3)),
          nu_(contour.nu),
          k_(k),
          line_{model, maturity, contour.nu, k} {}

    void Evaluate(const double* v, int n, double* values, double* sizes) const {
        double kernelValues[kQuadratureBatch];
        PriceKernels(line_, v, n, kernelValues, sizes);
        for (int j = 0; j < n; ++j) {
            DerivativeIntegrands(v[j], values + kIntegralCount * j);
            values[kIntegralCount * j + kValue] = kernelValues[j];
        }
    }

  private:
    // The derivatives' integrands; the value's slot gets the scalar kernel, which Evaluate
    // replaces by the vector kernel's.
    void DerivativeIntegrands(double v, double* values) const {
        const Complex s{nu_, -v};
        const HestonExponent<Number> x =
            HestonCharacteristicExponent(s, kappa_, sigma_, rho_, maturity_);
        const Number logMoment = model_.theta * x.perTheta + model_.v0 * x.perV0;
        double size;
        const Complex kernel = Kernel(s, k_, logMoment.v, &size);
        const Complex dk = -s * kernel;
        values[kValue] = kernel.re;
        values[kDk] = dk.re;
        values[kDk2] = (-s * dk).re;
        values[kDMaturity] = (kernel * logMoment.d[3]).re;
        values[kDV0] = (kernel * x.perV0.v).re;
        values[kDTheta] = (kernel * x.perTheta.v).re;
        values[kDKappa] = (kernel * logMoment.d[0]).re;
        values[kDSigma] = (kernel * logMoment.d[1]).re;
        values[kDRho] = (kernel * logMoment.d[2]).re;
    }

    ModelParameters model_;
    Number kappa_, sigma_, rho_, maturity_;
    double nu_, k_;
    KernelLine line_;
};

// The integrals of f along the option's line: the sinh-trapezoid rule at the contour's
// scale, or, where that does not converge, at the width of the integrand's bell; and where the
// integrand's tail keeps oscillating so that neither converges, the oscillatory-tail rule if its
// own error estimate is the smaller. values and work as for IntegrateSinhTrapezoid.
template <typename Integrand>
void IntegrateAlongContour(Integrand& f, const ModelParameters& model, double maturity,
                           const Contour& contour, double k, double absoluteTolerance,
                           std::size_t count, double* sums, double* values, double* work) {
    QuadratureReport report =
        IntegrateSinhTrapezoid(f, contour.scale, absoluteTolerance, count, sums, values, work);
    if (report.converged) return;
    if (contour.width != contour.scale) {
        report =
            IntegrateSinhTrapezoid(f, contour.width, absoluteTolerance, count, sums, values, work);
        if (report.converged) return;
    }
    const Tail tail = ChooseTail(model, maturity, contour, k);
    if (!(tail.tailFrequency > 0.0)) return;
    std::vector<double> tailSums(count);
    const double change = IntegrateOscillatoryTail(f, tail.tailStart, tail.bulkPanel,
                                                   tail.tailFrequency, count, tailSums.data());
    if (change < report.change) std::copy(tailSums.begin(), tailSums.end(), sums);
}

}  // namespace contour
}  // namespace heston
