#include "finitedifference/CraigSneydStepping.h"

#include <algorithm>

namespace heston {
namespace finitedifference {

namespace {

constexpr double kTheta = 1.0 / 3.0;

class Stepper {
  public:
    Stepper(const HestonOperator& op, const std::vector<double>* exercise)
        : op_(op),
          exercise_(exercise),
          size_(op.Size()),
          w0_(size_),
          w1_(size_),
          w2_(size_),
          y0_(size_),
          y_(size_),
          z0_(size_),
          z1_(size_),
          z2_(size_),
          lambda_(size_, 0.0) {}

    std::vector<double>& Multiplier() { return lambda_; }

    // Douglas, theta = 1, step h: (I - h A1)(I - h A2) form of backward Euler.
    void DouglasStep(std::vector<double>& u, double h, const LineSolvers& implicit) {
        op_.Apply(u.data(), w0_.data(), w1_.data(), w2_.data());
        for (int k = 0; k < size_; ++k) {
            const double f = w0_[k] + w1_[k] + w2_[k] + lambda_[k];
            y_[k] = u[k] + h * f - h * w1_[k];
        }
        implicit.SolveSpot(y_.data());
        for (int k = 0; k < size_; ++k) y_[k] -= h * w2_[k];
        implicit.SolveVariance(y_.data());
        Exercise(u, h);
    }

    // Modified Craig-Sneyd, theta = 1/3, step dt; implicit.Coefficient() = dt / 3.
    void CraigSneydStep(std::vector<double>& u, double dt, const LineSolvers& implicit) {
        const double c = implicit.Coefficient();
        op_.Apply(u.data(), w0_.data(), w1_.data(), w2_.data());
        for (int k = 0; k < size_; ++k) {
            y0_[k] = u[k] + dt * (w0_[k] + w1_[k] + w2_[k] + lambda_[k]);
            y_[k] = y0_[k] - c * w1_[k];
        }
        implicit.SolveSpot(y_.data());
        for (int k = 0; k < size_; ++k) y_[k] -= c * w2_[k];
        implicit.SolveVariance(y_.data());
        op_.Apply(y_.data(), z0_.data(), z1_.data(), z2_.data());
        const double half = (0.5 - kTheta) * dt;
        for (int k = 0; k < size_; ++k) {
            const double w = w0_[k] + w1_[k] + w2_[k];
            const double z = z0_[k] + z1_[k] + z2_[k];
            y_[k] = y0_[k] + c * (z0_[k] - w0_[k]) + half * (z - w) - c * w1_[k];
        }
        implicit.SolveSpot(y_.data());
        for (int k = 0; k < size_; ++k) y_[k] -= c * w2_[k];
        implicit.SolveVariance(y_.data());
        Exercise(u, dt);
    }

  private:
    // u <- the step's result with the early-exercise split (or as it is for European exercise).
    void Exercise(std::vector<double>& u, double h) {
        if (!exercise_) {
            u.swap(y_);
            return;
        }
        const std::vector<double>& payoff = *exercise_;
        for (int k = 0; k < size_; ++k) {
            const double continued = y_[k] - h * lambda_[k];
            if (continued >= payoff[k]) {
                u[k] = continued;
                lambda_[k] = 0.0;
            } else {
                u[k] = payoff[k];
                lambda_[k] += (payoff[k] - y_[k]) / h;
            }
        }
    }

    const HestonOperator& op_;
    const std::vector<double>* exercise_;
    const int size_;
    std::vector<double> w0_, w1_, w2_, y0_, y_, z0_, z1_, z2_, lambda_;
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

SteppingResult StepBack(const HestonOperator& op, std::vector<double> terminal,
                        const SteppingPlan& plan, StopPoll& poll) {
    const int periods = std::max(1, plan.observations);
    const int stepsPerPeriod = std::max(1, (plan.steps + periods - 1) / periods);
    const double dt = plan.maturity / periods / stepsPerPeriod;
    Stepper stepper(op, plan.exercise);
    const LineSolvers damping(op, 0.25 * dt);
    const LineSolvers craigSneyd(op, kTheta * dt);

    std::vector<double>& u = terminal;
    for (int period = 0; period < periods; ++period) {
        if (period > 0) Knock(op, *plan.knock, u);
        for (int step = 0; step < stepsPerPeriod; ++step) {
            poll.ThrowIfRequested();
            if (step == 0) {
                for (int quarter = 0; quarter < 4; ++quarter)
                    stepper.DouglasStep(u, 0.25 * dt, damping);
            } else {
                stepper.CraigSneydStep(u, dt, craigSneyd);
            }
        }
    }
    SteppingResult result;
    result.values = std::move(u);
    result.multiplier = std::move(stepper.Multiplier());
    return result;
}

}  // namespace finitedifference
}  // namespace heston
