// Differential Evolution: the process-wide uniform generator, index selection, the ten trial
// generators, seeding and the generation loop.
#include "optimisation/DESolver.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

// State of the process-wide generator. It is shared by every solver and never reset, so
// successive searches continue one stream.
std::int32_t seed1 = 0;
std::int32_t seed2 = 123456789;
std::int32_t output = 0;
std::int32_t shuffleTable[32] = {};

constexpr double kNoCost = 1e20;

// Number of distinct member indices each strategy code draws.
constexpr int kIndexCount[10] = {2, 3, 2, 4, 5, 2, 3, 2, 4, 5};

void CopyVector(double* to, const double* from, int n) {
    for (int k = 0; k < n; ++k) to[k] = from[k];
}

}  // namespace

DESolver::DESolver(int dimension, int populationSize)
    : dimension(dimension),
      populationSize(populationSize),
      generationsRun(0),
      strategyCode(1),
      MakeTrial(nullptr),
      differentialWeight(0.7),
      crossoverRate(0.5),
      trialCost(0.0),
      bestCost(0.0),
      trialVector(nullptr),
      bestVector(nullptr),
      populationCost(nullptr),
      populationMatrix(nullptr) {
    // Allocate one by one so that a failure part-way leaves nothing behind.
    try {
        trialVector = new double[dimension];
        bestVector = new double[dimension];
        populationCost = new double[populationSize];
        // Both sizes are known non-negative here: a negative one has already thrown.
        populationMatrix = new double[static_cast<std::size_t>(populationSize) *
                                      static_cast<std::size_t>(dimension)];
    } catch (...) {
        delete[] trialVector;
        delete[] bestVector;
        delete[] populationCost;
        throw;
    }
}

DESolver::DESolver()
    : dimension(0),
      populationSize(0),
      generationsRun(0),
      strategyCode(1),
      MakeTrial(nullptr),
      differentialWeight(0.7),
      crossoverRate(0.5),
      trialCost(0.0),
      bestCost(0.0),
      trialVector(nullptr),
      bestVector(nullptr),
      populationCost(nullptr),
      populationMatrix(nullptr) {}

DESolver::~DESolver() {
    delete[] trialVector;
    delete[] bestVector;
    delete[] populationCost;
    delete[] populationMatrix;
    trialVector = nullptr;
    bestVector = nullptr;
    populationCost = nullptr;
    populationMatrix = nullptr;
}

double DESolver::UniformDraw(double lo, double hi) {
    constexpr std::int32_t kModulus1 = 2147483563;
    constexpr std::int32_t kModulus2 = 2147483399;
    // Only the very first call of the process sees output 0.
    if (output == 0) seed1 = 3;
    // Schrage's method: 40014 * seed1 mod kModulus1 without overflowing 32 bits.
    std::int32_t k = seed1 / 53668;
    seed1 = 40014 * (seed1 - k * 53668) - k * 12211;
    if (seed1 < 0) seed1 += kModulus1;
    k = seed2 / 52774;
    seed2 = 40692 * (seed2 - k * 52774) - k * 3791;
    if (seed2 < 0) seed2 += kModulus2;
    // The previous output picks the shuffle slot, which breaks up serial correlations.
    const int slot = output / 67108862;
    output = shuffleTable[slot] - seed2;
    shuffleTable[slot] = seed1;
    if (output < 1) output += kModulus1 - 1;
    double u = output * 4.656613057391769e-10;
    if (u > 0.99999988) u = 0.99999988;
    return lo + u * (hi - lo);
}

int DESolver::MinimumPopulation(int strategyCode) {
    if (strategyCode < 0 || strategyCode > 9) {
        throw std::invalid_argument("DESolver: strategy code " + std::to_string(strategyCode) +
                                    " is outside 0-9");
    }
    return kIndexCount[strategyCode] + 1;
}

void DESolver::PickDistinctIndices(int target, int* r1, int* r2, int* r3, int* r4, int* r5) {
    int* wanted[5] = {r1, r2, r3, r4, r5};
    int drawn[5];
    int count = 0;
    for (int* slot : wanted) {
        if (slot == nullptr) continue;
        int index;
        bool clash;
        do {
            index = static_cast<int>(UniformDraw(0.0, populationSize));
            clash = index == target;
            for (int k = 0; k < count && !clash; ++k) clash = index == drawn[k];
        } while (clash);
        drawn[count++] = index;
        *slot = index;
    }
}

void DESolver::BuildTrial(int target, Scheme scheme, bool binomial) {
    int r[5] = {0, 0, 0, 0, 0};
    switch (scheme) {
        case Scheme::BestOne:
        case Scheme::RandToBestOne:
            PickDistinctIndices(target, &r[0], &r[1], nullptr, nullptr, nullptr);
            break;
        case Scheme::RandOne:
            PickDistinctIndices(target, &r[0], &r[1], &r[2], nullptr, nullptr);
            break;
        case Scheme::BestTwo:
            PickDistinctIndices(target, &r[0], &r[1], &r[2], &r[3], nullptr);
            break;
        case Scheme::RandTwo:
            PickDistinctIndices(target, &r[0], &r[1], &r[2], &r[3], &r[4]);
            break;
    }
    int n = static_cast<int>(UniformDraw(0.0, dimension));
    const int D = dimension;
    CopyVector(trialVector, populationMatrix + target * D, D);

    const double F = differentialWeight;
    const double* x1 = populationMatrix + r[0] * D;
    const double* x2 = populationMatrix + r[1] * D;
    const double* x3 = populationMatrix + r[2] * D;
    const double* x4 = populationMatrix + r[3] * D;
    const double* x5 = populationMatrix + r[4] * D;
    const double* b = bestVector;
    double* t = trialVector;
    // Each component is changed at most once per trial, so t[n] on the right-hand side of
    // rand-to-best is still the target's own value.
    auto change = [&](int c) {
        switch (scheme) {
            case Scheme::BestOne:
                t[c] = b[c] + F * (x1[c] - x2[c]);
                break;
            case Scheme::RandOne:
                t[c] = x1[c] + F * (x2[c] - x3[c]);
                break;
            case Scheme::RandToBestOne:
                t[c] = t[c] + F * (b[c] - t[c]) + F * (x1[c] - x2[c]);
                break;
            case Scheme::BestTwo:
                t[c] = b[c] + F * (x1[c] + x2[c] - x3[c] - x4[c]);
                break;
            case Scheme::RandTwo:
                t[c] = x1[c] + F * (x2[c] + x3[c] - x4[c] - x5[c]);
                break;
        }
    };

    const double CR = crossoverRate;
    if (binomial) {
        // The last visited component always changes, so a trial never equals its target.
        for (int i = 0; i < D; ++i) {
            const double u = UniformDraw(0.0, 1.0);
            if (u < CR || i == D - 1) change(n);
            n = (n + 1) % D;
        }
    } else {
        // The draw precedes the count test: a trial takes (changed components + 1) draws.
        int i = 0;
        double u = UniformDraw(0.0, 1.0);
        while (u < CR && i < D) {
            change(n);
            n = (n + 1) % D;
            ++i;
            u = UniformDraw(0.0, 1.0);
        }
    }
}

void DESolver::BestOneExp(int target) {
    BuildTrial(target, Scheme::BestOne, false);
}
void DESolver::RandOneExp(int target) {
    BuildTrial(target, Scheme::RandOne, false);
}
void DESolver::RandToBestOneExp(int target) {
    BuildTrial(target, Scheme::RandToBestOne, false);
}
void DESolver::BestTwoExp(int target) {
    BuildTrial(target, Scheme::BestTwo, false);
}
void DESolver::RandTwoExp(int target) {
    BuildTrial(target, Scheme::RandTwo, false);
}
void DESolver::BestOneBin(int target) {
    BuildTrial(target, Scheme::BestOne, true);
}
void DESolver::RandOneBin(int target) {
    BuildTrial(target, Scheme::RandOne, true);
}
void DESolver::RandToBestOneBin(int target) {
    BuildTrial(target, Scheme::RandToBestOne, true);
}
void DESolver::BestTwoBin(int target) {
    BuildTrial(target, Scheme::BestTwo, true);
}
void DESolver::RandTwoBin(int target) {
    BuildTrial(target, Scheme::RandTwo, true);
}

void DESolver::Initialise(const double* lower, const double* upper, int strategyCode,
                          double differentialWeight, double crossoverRate) {
    // Check before touching anything, so a rejected call leaves the solver as it was. Index
    // selection would loop for ever without enough distinct members.
    const int minimum = MinimumPopulation(strategyCode);
    if (populationSize < minimum) {
        throw std::invalid_argument("DESolver: strategy " + std::to_string(strategyCode) +
                                    " needs a population of at least " + std::to_string(minimum) +
                                    ", got " + std::to_string(populationSize));
    }

    this->differentialWeight = differentialWeight;
    this->crossoverRate = crossoverRate;
    this->strategyCode = strategyCode;

    for (int i = 0; i < populationSize; ++i) {
        for (int j = 0; j < dimension; ++j) {
            populationMatrix[i * dimension + j] = UniformDraw(lower[j], upper[j]);
        }
        populationCost[i] = kNoCost;
    }
    for (int j = 0; j < dimension; ++j) bestVector[j] = 0.0;

    static constexpr void (DESolver::*kGenerators[10])(int) = {
        &DESolver::BestOneExp, &DESolver::RandOneExp,       &DESolver::RandToBestOneExp,
        &DESolver::BestTwoExp, &DESolver::RandTwoExp,       &DESolver::BestOneBin,
        &DESolver::RandOneBin, &DESolver::RandToBestOneBin, &DESolver::BestTwoBin,
        &DESolver::RandTwoBin};
    MakeTrial = kGenerators[strategyCode];
}

bool DESolver::Run(int maxGenerations, const heston::StopRequest& stopRequest) {
    if (MakeTrial == nullptr) {
        throw std::logic_error("DESolver: Run needs a successful Initialise first");
    }
    bool stop = false;
    bestCost = kNoCost;
    int g = 0;
    heston::StopPoll poll(stopRequest);
    while (g < maxGenerations && !stop) {
        // The whole population is tried even when a member asks to stop part-way.
        for (int m = 0; m < populationSize; ++m) {
            if (poll.Requested()) {
                generationsRun = g;
                throw heston::CalculationCancelled();
            }
            (this->*MakeTrial)(m);
            trialCost = Evaluate(trialVector, stop);
            // Strict comparisons: ties keep the incumbent and a NaN cost never enters.
            if (trialCost < populationCost[m]) {
                populationCost[m] = trialCost;
                CopyVector(populationMatrix + m * dimension, trialVector, dimension);
                if (trialCost < bestCost) {
                    bestCost = trialCost;
                    CopyVector(bestVector, trialVector, dimension);
                }
            }
        }
        ++g;
    }
    generationsRun = g;
    return stop;
}
