// DESolver: a general minimiser by Differential Evolution over a fixed number of real unknowns.
//
// A population of candidate vectors is kept; each generation builds one trial per member by
// one of ten mutation-and-crossover schemes (strategy codes 0-9) and keeps the trial when it
// is strictly cheaper than the member it challenges. The cost function is supplied by a
// derived class through Evaluate. Bounds only shape the initial population: a cost function
// that wants bounds must penalise violations itself.
//
// Reference: R. Storn, K. Price, "Differential Evolution - a simple and efficient heuristic
// for global optimization over continuous spaces", J. Global Optimization 11 (1997).
// The uniform generator is L'Ecuyer's combined generator with a Bays-Durham shuffle.
//
// Warning: all random numbers come from one process-wide uniform generator (UniformDraw),
// unlocked, so only one solver may draw at a time. Successive runs continue the same stream.
#pragma once

#include "execution/StopRequest.h"

class DESolver {
  public:
    DESolver(int dimension, int populationSize);
    // An empty solver that owns no arrays; for objects that only price and never search.
    DESolver();
    ~DESolver();  // not virtual: owners never delete through a DESolver pointer

    DESolver(const DESolver&) = delete;
    DESolver& operator=(const DESolver&) = delete;

    // Runs up to maxGenerations generations; returns whether Evaluate asked to stop.
    // Throws std::logic_error when no successful Initialise has chosen a trial generator.
    // Polls stop before each trial; when it answers yes, throws heston::CalculationCancelled
    // with every member whole and GenerationsRun() counting the finished generations.
    virtual bool Run(int maxGenerations, const heston::StopRequest& stop = heston::StopRequest());
    virtual double Evaluate(const double* candidate, bool& stop) = 0;

    // Seeds the population uniformly between lower[j] and upper[j] (D values each) and picks
    // the trial generator. Throws std::invalid_argument for a strategy code outside 0-9 or a
    // population too small to supply the strategy's distinct indices.
    void Initialise(const double* lower, const double* upper, int strategyCode,
                    double differentialWeight, double crossoverRate);

    // Draws distinct population indices different from target; a null pointer is not wanted.
    void PickDistinctIndices(int target, int* r1, int* r2, int* r3, int* r4, int* r5);

    // The process-wide uniform generator: lo + u * (hi - lo) with u in (0, 1).
    static double UniformDraw(double lo, double hi);

    // Smallest population a strategy code (0-9) can work with: one more than its indices.
    static int MinimumPopulation(int strategyCode);

    int Dimension() const { return dimension; }
    int PopulationSize() const { return populationSize; }
    int GenerationsRun() const { return generationsRun; }
    int StrategyCode() const { return strategyCode; }
    double BestCost() const { return bestCost; }
    double TrialCost() const { return trialCost; }
    const double* BestVector() const { return bestVector; }
    const double* PopulationCost() const { return populationCost; }
    const double* PopulationMatrix() const { return populationMatrix; }
    const double* TrialVector() const { return trialVector; }

  protected:
    int dimension;
    int populationSize;
    int generationsRun;
    int strategyCode;
    void (DESolver::*MakeTrial)(int target);
    double differentialWeight;
    double crossoverRate;
    double trialCost;
    double bestCost;
    double* trialVector;
    double* bestVector;
    double* populationCost;
    double* populationMatrix;

  private:
    // The ten trial generators, in strategy-code order.
    void BestOneExp(int target);
    void RandOneExp(int target);
    void RandToBestOneExp(int target);
    void BestTwoExp(int target);
    void RandTwoExp(int target);
    void BestOneBin(int target);
    void RandOneBin(int target);
    void RandToBestOneBin(int target);
    void BestTwoBin(int target);
    void RandTwoBin(int target);

    // The mutation schemes shared by the exponential and binomial variants.
    enum class Scheme { BestOne, RandOne, RandToBestOne, BestTwo, RandTwo };
    // Draws the indices and start component, copies the target and crosses it over.
    void BuildTrial(int target, Scheme scheme, bool binomial);
};
