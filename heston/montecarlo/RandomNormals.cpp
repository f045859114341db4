// Standard normal numbers by the polar form of the Box-Muller transformation.
#include <cmath>
#include <cstddef>
#include <vector>

#include "closedform/Heston.h"
#include "montecarlo/PolarNormals.h"
#include "montecarlo/RuntimeRand.h"

namespace heston {
namespace montecarlo {

void FillPolarNormals(double* out, int n) {
    int i = 0;
    // n / 2 + 1 pairs: one pair more than needed when n is even. The surplus draws are still
    // consumed so that the stream advances the same way on every build.
    for (int pair = 0; pair <= n / 2; ++pair) {
        double u1;
        double u2;
        double w;
        do {
            u1 = RuntimeRand() / 32767.0 * 2.0 - 1.0;
            u2 = RuntimeRand() / 32767.0 * 2.0 - 1.0;
            w = u2 * u2 + u1 * u1;
        } while (w >= 1.0);
        const double m = std::sqrt(std::log(w) * (-2.0) / w);
        if (i < n) {
            out[i++] = m * u1;
            if (i < n) out[i++] = m * u2;
        }
    }
}

}  // namespace montecarlo
}  // namespace heston

std::vector<double> Heston::RandomNormals(int n) {
    // A negative n converts to a size beyond max_size(), so the vector throws the runtime's
    // length error before anything is drawn.
    std::vector<double> normals(static_cast<std::size_t>(n));
    heston::montecarlo::FillPolarNormals(normals.data(), n);
    return normals;
}

std::vector<double> heston_RandomVars(int n) {
    Heston model;
    return model.RandomNormals(n);
}
