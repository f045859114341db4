// The batch of the contour pricer: groups of options sharing one line and one characteristic
// function per node.
#include "contour/ContourBatch.h"

#include <algorithm>
#include <cmath>

#include "contour/ContourIntegrands.h"
#include "contour/LogMoment.h"
#include "quadrature/SinhTrapezoid.h"

namespace heston {
namespace contour {

namespace {

constexpr double kInversePi = 0.318309886183790671537767526745;
constexpr std::size_t kLargestGroup = 32;

// Integrands of a group along s = nu - i v: per option, the price integrand and, with
// derivatives, its derivatives with respect to v0, theta, kappa, sigma and rho.
class GroupIntegrand {
  public:
    using Number = Derivatives<3>;  // d/dkappa, d/dsigma, d/drho

    GroupIntegrand(const ModelParameters& model, double maturity, double nu,
                   const std::vector<double>& k, bool derivatives)
        : model_(model), maturity_(maturity), nu_(nu), k_(k), derivatives_(derivatives) {}

    std::size_t Width() const { return derivatives_ ? 6 : 1; }

    void Evaluate(const double* v, int n, double* values, double* sizes) const {
        const std::size_t stride = Width() * k_.size();
        for (int j = 0; j < n; ++j) sizes[j] = (*this)(v[j], values + stride * j);
    }

    double operator()(double v, double* values) const {
        const Complex s{nu_, -v};
        const Complex inverseDenominator = 1.0 / (s * (s - 1.0));
        const std::size_t width = Width();
        double size = 0.0;
        if (!derivatives_) {
            const HestonExponent<Complex> x = HestonCharacteristicExponent(
                s, Complex{model_.kappa, 0.0}, Complex{model_.sigma, 0.0}, Complex{model_.rho, 0.0},
                Complex{maturity_, 0.0});
            const Complex logMoment = model_.theta * x.perTheta + model_.v0 * x.perV0;
            for (std::size_t i = 0; i < k_.size(); ++i) {
                const Complex kernel = Exp(-s * k_[i] + logMoment) * inverseDenominator;
                values[i] = kernel.re;
                size = std::max(size, std::sqrt(kernel.re * kernel.re + kernel.im * kernel.im));
            }
            return size;
        }
        const HestonExponent<Number> x =
            HestonCharacteristicExponent(s, Seeded<3>(model_.kappa, 0), Seeded<3>(model_.sigma, 1),
                                         Seeded<3>(model_.rho, 2), Seeded<3>(maturity_, -1));
        const Number logMoment = model_.theta * x.perTheta + model_.v0 * x.perV0;
        for (std::size_t i = 0; i < k_.size(); ++i) {
            const Complex kernel = Exp(-s * k_[i] + logMoment.v) * inverseDenominator;
            double* out = values + width * i;
            out[0] = kernel.re;
            out[1] = (kernel * x.perV0.v).re;
            out[2] = (kernel * x.perTheta.v).re;
            out[3] = (kernel * logMoment.d[0]).re;
            out[4] = (kernel * logMoment.d[1]).re;
            out[5] = (kernel * logMoment.d[2]).re;
            size = std::max(size, std::sqrt(kernel.re * kernel.re + kernel.im * kernel.im));
        }
        return size;
    }

  private:
    ModelParameters model_;
    double maturity_, nu_;
    const std::vector<double>& k_;
    bool derivatives_;
};

bool Joins(const Contour& first, double firstMaturity, const BatchMember& m,
           std::size_t groupSize) {
    const Contour& c = m.contour;
    if (groupSize >= kLargestGroup || m.market.maturity != firstMaturity ||
        c.callSide != first.callSide || c.middle != first.middle) {
        return false;
    }
    const double pole = first.callSide ? 1.0 : 0.0;
    return std::fabs(c.nu - first.nu) <= 0.25 * std::fabs(first.nu - pole) &&
           c.scale <= 1.5 * first.scale && first.scale <= 1.5 * c.scale;
}

}  // namespace

void PriceBatch(const ModelParameters& model, std::vector<BatchMember>& members,
                double (*absoluteTolerance)(const Market&), double* prices,
                double* parameterDerivatives, ParallelFor& runner) {
    std::sort(members.begin(), members.end(), [](const BatchMember& a, const BatchMember& b) {
        if (a.market.maturity != b.market.maturity) return a.market.maturity < b.market.maturity;
        if (a.contour.callSide != b.contour.callSide) return a.contour.callSide;
        if (a.contour.middle != b.contour.middle) return a.contour.middle;
        return a.contour.nu < b.contour.nu;
    });
    const bool derivatives = parameterDerivatives != nullptr;
    // The groups first, members[start[g] .. start[g + 1] - 1]; then each group as a task of
    // the runner, with its own scratch, writing only its own members' slots.
    std::vector<std::size_t> start;
    for (std::size_t first = 0; first < members.size();) {
        start.push_back(first);
        const Contour& line = members[first].contour;
        const double maturity = members[first].market.maturity;
        std::size_t end = first + 1;
        while (end < members.size() && Joins(line, maturity, members[end], end - first)) ++end;
        first = end;
    }
    start.push_back(members.size());

    auto priceGroup = [&](int g) {
        const std::size_t first = start[g], end = start[g + 1];
        const Contour line = members[first].contour;
        const double maturity = members[first].market.maturity;
        std::vector<double> k;
        double tolerance = absoluteTolerance(members[first].market);
        for (std::size_t i = first; i < end; ++i) {
            k.push_back(members[i].market.logMoneyness);
            tolerance = std::min(tolerance, absoluteTolerance(members[i].market));
        }
        GroupIntegrand integrand(model, maturity, line.nu, k, derivatives);
        const std::size_t width = integrand.Width(), components = width * k.size();
        std::vector<double> sums(components, 0.0), values(kQuadratureBatch * components, 0.0),
            work(kQuadratureWork * components, 0.0);
        const QuadratureReport report =
            IntegrateSinhTrapezoid(integrand, line.scale, tolerance, components, sums.data(),
                                   values.data(), work.data(), false);
        for (std::size_t i = first; i < end; ++i) {
            const BatchMember& m = members[i];
            double integrals[kIntegralCount] = {};
            if (!report.converged) {
                // A tail the shared rule cannot resolve: the option alone on its own line,
                // with the single-option functions' fallback.
                const double k = m.market.logMoneyness;
                const double tolerance = absoluteTolerance(m.market);
                double greekValues[kQuadratureBatch * kIntegralCount],
                    greekWork[kQuadratureWork * kIntegralCount];
                if (derivatives) {
                    GreeksIntegrand own(model, maturity, m.contour, k);
                    IntegrateAlongContour(own, model, maturity, m.contour, k, tolerance,
                                          kIntegralCount, integrals, greekValues, greekWork);
                } else {
                    PriceIntegrand own(model, maturity, m.contour, k);
                    IntegrateAlongContour(own, model, maturity, m.contour, k, tolerance, 1,
                                          integrals, greekValues, greekWork);
                }
                for (double& x : integrals) x *= kInversePi;
                const Greeks g = GreeksFromIntegrals(m.optionType, m.market, m.contour, integrals);
                prices[m.index] = g.price;
                if (derivatives) {
                    const double d[5] = {g.dV0, g.dTheta, g.dKappa, g.dSigma, g.dRho};
                    for (int j = 0; j < 5; ++j) parameterDerivatives[5 * m.index + j] = d[j];
                }
                continue;
            }
            const double* J = sums.data() + width * (i - first);
            integrals[kValue] = J[0] * kInversePi;
            if (derivatives) {
                integrals[kDV0] = J[1] * kInversePi;
                integrals[kDTheta] = J[2] * kInversePi;
                integrals[kDKappa] = J[3] * kInversePi;
                integrals[kDSigma] = J[4] * kInversePi;
                integrals[kDRho] = J[5] * kInversePi;
            }
            const Greeks g = GreeksFromIntegrals(m.optionType, m.market, line, integrals);
            prices[m.index] = g.price;
            if (derivatives) {
                double* d = parameterDerivatives + 5 * m.index;
                d[0] = g.dV0;
                d[1] = g.dTheta;
                d[2] = g.dKappa;
                d[3] = g.dSigma;
                d[4] = g.dRho;
            }
        }
    };
    runner.ForEach(static_cast<int>(start.size()) - 1, priceGroup);
}

}  // namespace contour
}  // namespace heston
