// OptionArguments: the arguments of the contour pricer's worksheet functions, read from
// Excel values into options, model parameters and result shapes.
//
// Conventions shared by heston_Price, heston_Greeks, heston_ModelImpliedVol,
// heston_BlackImpliedVol and heston_Calibrate:
// - An option type is 1, "C" or "Call" for a call and 2, "P" or "Put" for a put, texts in any
//   letter case.
// - Model parameters are the first five numbers of their argument, in the order v0, theta,
//   kappa, sigma, rho (cells that are not numbers are passed over, so a calibration's whole
//   output column can be given).
// - Every per-option argument may be one value or a range. Shapes combine as arrays do:
//   equal dimensions stay, a dimension of 1 stretches to the other's size. So arguments of
//   one shape give that shape, and a column of strikes with a row of maturities gives a
//   strikes x maturities matrix. Shapes that cannot combine are refused with a text naming
//   both arguments.
// - An element that cannot be read is reported as a text naming the argument and the
//   problem; the functions show that text for a single-cell result and #NUM! in an array.
//
// Reads go through the layer's cell-matrix conversion, which allocates nothing from the
// temporary pool, so the thread-safe functions may use them; a reference to a cell not yet
// calculated throws the layer's exception, after which Excel calls again.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "CellMatrix.h"
#include "XlfOper.h"
#include "contour/ContourPricer.h"
#include "model/BatesParameters.h"
#include "model/ModelParameters.h"

namespace addin {

// The error value of an element that could not be computed.
constexpr std::uint32_t kNumError = xlerrNum;

// One argument as a rectangle of cells; a single value is 1 x 1.
struct GridArgument {
    const char* name = "";
    xlf::CellMatrix cells;

    std::uint32_t Rows() const { return cells.Rows(); }
    std::uint32_t Columns() const { return cells.Columns(); }
    std::size_t Count() const { return std::size_t(Rows()) * Columns(); }
    bool IsSingle() const { return Rows() == 1 && Columns() == 1; }
    // The cell for (row, column) of a combined shape: a dimension of 1 stretches.
    const xlf::MatrixCell& At(std::uint32_t row, std::uint32_t column) const {
        return cells.Cell(Rows() == 1 ? 0 : row, Columns() == 1 ? 0 : column);
    }
    // The k-th cell, row by row.
    const xlf::MatrixCell& Element(std::size_t k) const {
        return cells.Cell(static_cast<std::uint32_t>(k / Columns()),
                          static_cast<std::uint32_t>(k % Columns()));
    }
};

// An argument's value record (a value, an array or a reference) as a grid. An omitted
// argument is one empty cell.
GridArgument ReadGrid(void* record, const char* name);

// A grid that was omitted altogether or holds nothing but empty cells.
bool IsOmitted(const GridArgument& argument);

struct Shape {
    std::uint32_t rows = 1;
    std::uint32_t columns = 1;
};

// The shape the arguments combine to; throws std::invalid_argument naming the first two
// that cannot be combined.
Shape CombinedShape(std::initializer_list<const GridArgument*> arguments);

// Element reads: true with the value, or false with a text naming the argument and the
// problem.
bool ReadNumber(const xlf::MatrixCell& cell, const char* name, double& value, std::string& problem);
bool ReadOptionType(const xlf::MatrixCell& cell, const char* name, int& type, std::string& problem);

// The first five numbers of the argument as model parameters; throws std::invalid_argument
// naming the argument when it holds fewer, or an error value before its fifth number.
heston::ModelParameters ReadParameters(const GridArgument& argument);

// The same for the eight numbers of a Bates parameter set, in the order v0, theta, kappa,
// sigma, rho, lambda, muJ, deltaJ (a Bates calibration's vectors and output column).
heston::BatesParameters ReadBatesParameters(const GridArgument& argument);

// The per-option arguments of the pricing functions, combined into one shape, and, for the
// Black inversion, the option prices.
class OptionGrid {
  public:
    // price may be null (no prices).
    OptionGrid(GridArgument optionType, GridArgument strike, GridArgument maturity,
               GridArgument rate, GridArgument dividendYield, const GridArgument* price = nullptr);

    const Shape& ResultShape() const { return shape_; }
    bool IsSingle() const { return shape_.rows == 1 && shape_.columns == 1; }

    // The option at (row, column), or false with the problem of its first bad argument.
    bool OptionAt(std::uint32_t row, std::uint32_t column, heston::BatchOption& option,
                  std::string& problem) const;
    bool PriceAt(std::uint32_t row, std::uint32_t column, double& price,
                 std::string& problem) const;

    // The only option of a single-cell grid; throws std::invalid_argument with the problem.
    heston::BatchOption SingleOption() const;
    double SinglePrice() const;

  private:
    GridArgument optionType_, strike_, maturity_, rate_, dividendYield_, price_;
    bool hasPrice_;
    Shape shape_;
};

// A grid of results: every cell #NUM! until set.
xlf::CellMatrix ErrorCells(const Shape& shape);

}  // namespace addin
