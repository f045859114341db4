#include "finitedifference/CraigSneydStepping.h"

#include <algorithm>

#include "finitedifference/WidestVectors.h"

namespace heston {
namespace finitedifference {

namespace {

constexpr double kTheta = 1.0 / 3.0;
// Graded periods: the first fifth of the steps are graded quadratically.
constexpr double kGradedFraction = 0.2;

// Stage vectors for the whole grid (one block) and row buffers for one variance row, allocated
// once per solve.
class Stepper {
  public:
    Stepper(const HestonOperator& op, const std::vector<double>* exercise)
        : op_(op),
          exercise_(exercise),
          size_(op.Size()),
          m_(op.SpotCount()),
          block_(4 * static_cast<std::size_t>(size_) + 4 * static_cast<std::size_t>(m_), 0.0),
          rhs_(block_.data()),
          stage_(rhs_ + size_),
          variancePart_(stage_ + size_),
          lambda_(variancePart_ + size_),
          rows_(lambda_ + size_) {}

    const double* Multiplier() const { return lambda_; }

    // Douglas, theta = 1, step h: (I - h A1)(I - h A2) form of backward Euler,
    //   Y0 = U + h (A U + lambda), Y1 = Y0 + h A1 (Y1 - U), Y2 = Y1 + h A2 (Y2 - U).
    // implicit.Coefficient() = h.
    void DouglasStep(double* u, const LineSolvers& implicit) {
        const double h = implicit.Coefficient();
        for (int j = 0; j < op_.VarianceCount(); ++j) {
            const int row = j * m_;
            ApplyRow(u, j);
            RunWidest([&] {
                DouglasRow(m_, h, u + row, lambda_ + row, w0(), w2(), rhs_ + row,
                           variancePart_ + row);
            });
        }
        implicit.SolveSpot(rhs_);
        implicit.SolveVariance(rhs_, variancePart_);
        RunWidest([&] { Exercise(u, rhs_, h); });
    }

    // Modified Craig-Sneyd, theta = 1/3, step dt; implicit.Coefficient() = dt / 3:
    //   Y0 = U + dt (A U + lambda), Yj = Y(j-1) + c Aj (Yj - U) (j = 1, 2),
    //   Z0 = Y0 + c A0 (Y2 - U) + (1/2 - theta) dt A (Y2 - U), Zj = Z(j-1) + c Aj (Zj - U).
    // The first pass keeps P = Y0 - c A0 U - (1/2 - theta) dt A U - c A1 U, so that the
    // right-hand side of Z1 is P + (c + (1/2 - theta) dt) A0 Y2 + (1/2 - theta) dt (A1 + A2) Y2.
    void CraigSneydStep(double* u, double dt, const LineSolvers& implicit) {
        const double c = implicit.Coefficient();
        const double half = (0.5 - kTheta) * dt;
        const int n = op_.VarianceCount();
        for (int j = 0; j < n; ++j) {
            const int row = j * m_;
            ApplyRow(u, j);
            RunWidest([&] {
                CraigSneydFirstRow(m_, dt, c, half, u + row, lambda_ + row, w0(), w1(), w2(),
                                   rhs_ + row, stage_ + row, variancePart_ + row);
            });
        }
        implicit.SolveSpot(rhs_);
        implicit.SolveVariance(rhs_, variancePart_);
        for (int j = 0; j < n; ++j) {
            ApplyRow(rhs_, j);
            RunWidest([&] {
                CraigSneydSecondRow(m_, c + half, half, w0(), w1(), w2(), stage_ + j * m_);
            });
        }
        implicit.SolveSpot(stage_);
        implicit.SolveVariance(stage_, variancePart_);
        RunWidest([&] { Exercise(u, stage_, dt); });
    }

  private:
    double* w0() { return rows_; }
    double* w1() { return rows_ + m_; }
    double* w2() { return rows_ + 2 * m_; }
    void ApplyRow(const double* u, int j) { op_.ApplyRow(u, j, w0(), w1(), w2(), rows_ + 3 * m_); }

    static void DouglasRow(int m, double h, const double* __restrict u,
                           const double* __restrict lambda, const double* __restrict w0,
                           const double* __restrict w2, double* __restrict rhs,
                           double* __restrict variancePart) {
        for (int i = 0; i < m; ++i) {
            rhs[i] = u[i] + h * (w0[i] + w2[i] + lambda[i]);
            variancePart[i] = w2[i];
        }
    }

    static void CraigSneydFirstRow(int m, double dt, double c, double half,
                                   const double* __restrict u, const double* __restrict lambda,
                                   const double* __restrict w0, const double* __restrict w1,
                                   const double* __restrict w2, double* __restrict rhs,
                                   double* __restrict stage, double* __restrict variancePart) {
        for (int i = 0; i < m; ++i) {
            const double f = w0[i] + w1[i] + w2[i];
            const double y0 = u[i] + dt * (f + lambda[i]);
            rhs[i] = y0 - c * w1[i];
            stage[i] = y0 - c * (w0[i] + w1[i]) - half * f;
            variancePart[i] = w2[i];
        }
    }

    static void CraigSneydSecondRow(int m, double mixedWeight, double half,
                                    const double* __restrict w0, const double* __restrict w1,
                                    const double* __restrict w2, double* __restrict stage) {
        for (int i = 0; i < m; ++i) stage[i] += mixedWeight * w0[i] + half * (w1[i] + w2[i]);
    }

    // u <- the step's result y with the early-exercise split (or y as it is for European
    // exercise): u = max(y - h lambda, payoff), lambda <- max(0, lambda + (payoff - y) / h).
    void Exercise(double* __restrict u, const double* __restrict y, double h) {
        if (!exercise_) {
            for (int k = 0; k < size_; ++k) u[k] = y[k];
            return;
        }
        const double* __restrict payoff = exercise_->data();
        double* __restrict lambda = lambda_;
        const double inverse = 1.0 / h;
        for (int k = 0; k < size_; ++k) {
            const double continued = y[k] - h * lambda[k];
            u[k] = continued > payoff[k] ? continued : payoff[k];
            const double increased = lambda[k] + (payoff[k] - y[k]) * inverse;
            lambda[k] = increased > 0.0 ? increased : 0.0;
        }
    }

    const HestonOperator& op_;
    const std::vector<double>* exercise_;
    const int size_, m_;
    std::vector<double> block_;
    double *rhs_, *stage_, *variancePart_, *lambda_, *rows_;
};

void Knock(const HestonOperator& op, const KnockRule& rule, std::vector<double>& u) {
    const int m = op.SpotCount(), n = op.VarianceCount();
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < m; ++i) {
            const double alive = rule.alive[i];
            if (alive == 1.0) continue;
            double& value = u[op.Index(i, j)];
            value = alive * value + (1.0 - alive) * rule.rebate;
        }
    }
}

}  // namespace

std::vector<double> PeriodSteps(double length, int steps, bool graded) {
    std::vector<double> sizes(steps, length / steps);
    if (!graded) return sizes;
    // x = k / steps; t = c x^2 up to x0, then c x0 (2 x - x0), with c = length / (x0 (2 - x0)).
    const double x0 = kGradedFraction, c = length / (x0 * (2.0 - x0));
    const double linear = c * 2.0 * x0 / steps;
    for (int k = 0; k < steps; ++k) {
        const double x = double(k) / steps, next = double(k + 1) / steps;
        if (next <= x0) {
            sizes[k] = c * (next * next - x * x);
        } else if (x >= x0) {
            sizes[k] = linear;
        } else {
            sizes[k] = c * (x0 * (2.0 * next - x0) - x * x);
        }
    }
    return sizes;
}

SteppingResult StepBack(const HestonOperator& op, std::vector<double> terminal,
                        const SteppingPlan& plan, StopPoll& poll) {
    const int periods = std::max(1, plan.observations);
    const int stepsPerPeriod = std::max(1, (plan.steps + periods - 1) / periods);
    const std::vector<double> sizes =
        PeriodSteps(plan.maturity / periods, stepsPerPeriod, plan.graded);
    Stepper stepper(op, plan.exercise);
    LineSolvers damping(op), craigSneyd(op);

    double* u = terminal.data();
    for (int period = 0; period < periods; ++period) {
        if (period > 0) Knock(op, *plan.knock, terminal);
        for (int step = 0; step < stepsPerPeriod; ++step) {
            poll.ThrowIfRequested();
            const double dt = sizes[step];
            if (step == 0) {
                if (damping.Coefficient() != 0.25 * dt) damping.Factorise(0.25 * dt);
                for (int quarter = 0; quarter < 4; ++quarter) stepper.DouglasStep(u, damping);
            } else {
                if (craigSneyd.Coefficient() != kTheta * dt) craigSneyd.Factorise(kTheta * dt);
                stepper.CraigSneydStep(u, dt, craigSneyd);
            }
        }
    }
    SteppingResult result;
    result.multiplier.assign(stepper.Multiplier(), stepper.Multiplier() + op.Size());
    result.values = std::move(terminal);
    return result;
}

}  // namespace finitedifference
}  // namespace heston
