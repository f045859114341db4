// Heston: constructors and the class-wide calibration data.
#include "closedform/Heston.h"

CalibrationData Heston::calibrationData;

// Pricing objects never search, so their solver base owns nothing.
Heston::Heston() : DESolver(), evaluationCount(0) {}

Heston::Heston(int dimension, int populationSize)
    : DESolver(dimension, populationSize), evaluationCount(0) {}
