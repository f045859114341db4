#include "finitedifference/ConcentratedMesh.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace heston {
namespace finitedifference {

namespace {

class Stretching {
  public:
    explicit Stretching(const std::vector<ConcentrationPoint>& points) : points_(points) {}

    // xi(x): uniform nodes in xi are the mesh.
    double Xi(double x) const {
        if (points_.empty()) return x;
        double xi = 0.0;
        for (const ConcentrationPoint& p : points_) xi += std::asinh((x - p.location) / p.width);
        return xi;
    }

    double Density(double x) const {
        if (points_.empty()) return 1.0;
        double d = 0.0;
        for (const ConcentrationPoint& p : points_) {
            const double t = (x - p.location) / p.width;
            d += 1.0 / (p.width * std::sqrt(1.0 + t * t));
        }
        return d;
    }

    // The x in [a, b] with Xi(x) = target, Xi(a) <= target <= Xi(b): Newton's method from the
    // Newton step off a, kept inside a shrinking bracket, bisecting when a step would leave it.
    double Inverse(double target, double a, double b) const {
        double x = a + (target - Xi(a)) / Density(a);
        if (!(x > a && x < b)) x = 0.5 * (a + b);
        for (int iteration = 0; iteration < 200; ++iteration) {
            const double f = Xi(x) - target;
            if (f > 0.0)
                b = x;
            else
                a = x;
            double next = x - f / Density(x);
            if (!(next > a && next < b)) next = 0.5 * (a + b);
            if (std::fabs(next - x) <= 1e-15 * (std::fabs(x) + (b - a))) return next;
            x = next;
        }
        return x;
    }

  private:
    const std::vector<ConcentrationPoint>& points_;
};

}  // namespace

std::vector<double> ConcentratedMesh(double lower, double upper, int intervals,
                                     const std::vector<ConcentrationPoint>& points,
                                     std::vector<double> required) {
    if (!(upper > lower)) throw std::invalid_argument("mesh: upper end not above lower end");
    for (const ConcentrationPoint& p : points) {
        if (!(p.width > 0.0)) throw std::invalid_argument("mesh: concentration width not positive");
    }
    std::vector<double> ends{lower};
    std::sort(required.begin(), required.end());
    for (double x : required) {
        if (x > lower && x < upper && x > ends.back()) ends.push_back(x);
    }
    ends.push_back(upper);
    const int pieces = static_cast<int>(ends.size()) - 1;
    if (intervals < pieces) throw std::invalid_argument("mesh: fewer intervals than pieces");

    const Stretching stretching(points);
    std::vector<double> xi(ends.size());
    for (std::size_t k = 0; k < ends.size(); ++k) xi[k] = stretching.Xi(ends[k]);
    const double total = xi.back() - xi.front();

    // Every piece gets one interval, the rest go by largest remainder of the proportional share.
    std::vector<int> counts(pieces, 1);
    std::vector<double> remainders(pieces);
    int spare = intervals - pieces;
    const int free = spare;
    for (int p = 0; p < pieces; ++p) {
        const double share = free * (xi[p + 1] - xi[p]) / total;
        const int whole = static_cast<int>(std::floor(share));
        counts[p] += whole;
        spare -= whole;
        remainders[p] = share - whole;
    }
    while (spare > 0) {
        int best = 0;
        for (int p = 1; p < pieces; ++p) {
            if (remainders[p] > remainders[best]) best = p;
        }
        ++counts[best];
        remainders[best] = -1.0;
        --spare;
    }

    std::vector<double> nodes;
    nodes.reserve(intervals + 1);
    nodes.push_back(lower);
    for (int p = 0; p < pieces; ++p) {
        double previous = ends[p];
        for (int m = 1; m < counts[p]; ++m) {
            const double target = xi[p] + (xi[p + 1] - xi[p]) * m / counts[p];
            previous = stretching.Inverse(target, previous, ends[p + 1]);
            nodes.push_back(previous);
        }
        nodes.push_back(ends[p + 1]);
    }
    return nodes;
}

}  // namespace finitedifference
}  // namespace heston
