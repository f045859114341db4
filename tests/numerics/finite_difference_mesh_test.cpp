// The concentrated meshes of the finite-difference grid: ends and required points on nodes,
// nodes dense near the concentration points, neighbouring cells of similar size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "finitedifference/ConcentratedMesh.h"

namespace {

using heston::finitedifference::ConcentratedMesh;

TEST(ConcentratedMesh, EndsAndRequiredPointsAreNodes) {
    const std::vector<double> mesh =
        ConcentratedMesh(0.0, 40.0, 99, {{10.0, 1.0}, {12.5, 1.0}}, {12.5, 10.0, 9.87654, 50.0});
    ASSERT_EQ(mesh.size(), 100u);
    EXPECT_EQ(mesh.front(), 0.0);
    EXPECT_EQ(mesh.back(), 40.0);
    for (double x : {9.87654, 10.0, 12.5})
        EXPECT_TRUE(std::find(mesh.begin(), mesh.end(), x) != mesh.end()) << x;
    EXPECT_TRUE(std::is_sorted(mesh.begin(), mesh.end()));
    EXPECT_EQ(std::adjacent_find(mesh.begin(), mesh.end()), mesh.end());
}

TEST(ConcentratedMesh, DenseNearTheConcentrationPointsWithSmoothlyGrowingCells) {
    const std::vector<double> mesh = ConcentratedMesh(0.0, 5.0, 60, {{0.0, 0.05}}, {0.3});
    const double first = mesh[1] - mesh[0], last = mesh[60] - mesh[59];
    EXPECT_LT(first, 0.01);
    EXPECT_GT(last, 20 * first);
    // Away from the piece joint at the required point, neighbouring cells differ by a bounded
    // ratio.
    for (std::size_t i = 1; i + 1 < mesh.size(); ++i) {
        const double ratio = (mesh[i + 1] - mesh[i]) / (mesh[i] - mesh[i - 1]);
        EXPECT_GT(ratio, 0.5) << i;
        EXPECT_LT(ratio, 2.0) << i;
    }
    // Without concentration points the nodes are uniform.
    const std::vector<double> uniform = ConcentratedMesh(1.0, 2.0, 4, {}, {});
    for (int i = 0; i <= 4; ++i) EXPECT_NEAR(uniform[i], 1.0 + 0.25 * i, 1e-15);
}

TEST(ConcentratedMesh, RefusesEmptyRangesAndTooFewIntervals) {
    EXPECT_THROW(ConcentratedMesh(1.0, 1.0, 10, {}, {}), std::invalid_argument);
    EXPECT_THROW(ConcentratedMesh(0.0, 1.0, 2, {}, {0.2, 0.4, 0.6}), std::invalid_argument);
    EXPECT_THROW(ConcentratedMesh(0.0, 1.0, 10, {{0.5, 0.0}}, {}), std::invalid_argument);
}

}  // namespace
