// DemoLayout: the "DAX" sheet of the demonstration workbook, block by block, and where each
// block's cells are, for the charts, the summary and the Read me sheet.
//
// Blocks are stacked top to bottom. xllhost evaluates row by row, left to right, so an
// add-in formula may refer to input cells anywhere but to other formulas only above it or to
// its left: the fits (near the top) read the quotes below them, which are plain numbers, and
// the quotes' model prices read the fits above them. A new block goes below the last one and
// may use everything above it: write a function that fills its rows from a given row and
// records a Block with its title and description (the Read me sheet lists them), then call it
// at the end of BuildDemoLayout.
#pragma once

#include <string>
#include <vector>

#include "DaxQuotes.h"
#include "SheetModel.h"

namespace demo {

// A block of the sheet as the Read me sheet describes it.
struct Block {
    std::string title;
    std::string description;
    int firstRow = 0;
    int lastRow = 0;
};

// One calibration: its formula (an array over the five parameters), its inputs and outputs,
// and its columns in the quote table and the smile grid.
struct FitCells {
    std::string shortName;  // "DE"
    std::string name;       // "Differential Evolution"
    Position parameters;    // first of the five fitted parameters (v, theta, kappa, sigma, rho)
    Position iterations;    // its iteration limit
    Position rmsePrice;     // root mean square of model minus observed price
    Position rmseVol;       // the same in implied volatility
    int priceColumn = 0;    // quote table: model price, its implied vol, and the two errors
    int volColumn = 0;
    int priceErrorColumn = 0;
    int volErrorColumn = 0;
    int smilePriceColumn = 0;  // smile grid: model price and its implied vol
    int smileVolColumn = 0;
};

// A calibration as the demonstration's one-screen summary shows it, in cells of the sheet.
struct FitSummary {
    std::string heading[2];  // the column's heading, on two lines
    Position formula;        // the calibration's formula; the summary shows its time
    Position parameters;     // first of v, theta, kappa, sigma, rho, one below the other
    Position rmsePrice;      // root mean square of model minus observed price
    Position rmseVol;        // the same in implied volatility
    Position iterations;     // a count: generations, at most so many evaluations, evaluations
    std::string iterationsUnit;
    Position status{-1, -1};  // a text the calibration gives of itself, where it has one
};

// The quotes of one maturity in the quote table, and its rows of the smile grid.
struct MaturityRows {
    double maturity = 0.0;
    int firstQuoteRow = 0;
    int lastQuoteRow = 0;
    int firstSmileRow = 0;
    int lastSmileRow = 0;
};

// Columns of the quote table.
struct QuoteColumns {
    static constexpr int kStrike = 0, kMaturity = 1, kType = 2, kObserved = 3, kRate = 4,
                         kWeight = 5, kVega = 6, kObservedVol = 7;
};

// Columns of the smile grid (the fits' columns are in FitCells).
struct SmileColumns {
    static constexpr int kStrike = 0, kMaturity = 1, kType = 2, kRate = 3;
};

// heston_Calibrate's two fits in the contour pricer's block: the first cell of each column of
// eight (v0, theta, kappa, sigma, rho, RMSE, evaluations, status). The pricing functions take
// such a column whole.
struct ContourFitCells {
    Position inPrices;
    Position inVols;
};

// American and down-and-out puts beside the European one, one row per strike, and the
// American puts' Greeks below them.
struct ExerciseBarrierCells {
    static constexpr int kStrike = 0, kEuropean = 1, kAmerican = 2, kPremium = 3, kDownOut = 4,
                         kDiscount = 5;
    int firstRow = 0;
    int lastRow = 0;
    Position greeks;  // heston_Greeks: a column of labels, then one column per strike
};

// The Asian smile (one row per strike) and the forward smile (one row per moneyness).
struct PathDependentCells {
    Position rate;         // of both smiles
    Position firstFixing;  // the Asians' fixing times, in one row
    Position lastFixing;
    static constexpr int kStrike = 0, kAsian = 1, kStandardError = 2, kEuropean = 3, kAveraging = 4;
    int firstAsianRow = 0;
    int lastAsianRow = 0;
    static constexpr int kMoneyness = 0, kForwardStart = 1, kPerUnitSpot = 2, kForwardVol = 3,
                         kSpotStartVol = 4, kVolDifference = 5;
    int firstForwardRow = 0;
    int lastForwardRow = 0;
};

// heston_Calibrate's Bates fit (Model "Bates", in implied vols) and what the charts draw of
// it: per quote its implied vol error, and the model's smile on the rows of the smile grid
// (row r of the grid is row r + smileRowOffset here).
struct BatesCells {
    Position fit;  // first of its eleven cells: v0 ... rho, lambda, muJ, deltaJ, RMSE, ...
    int firstQuoteRow = 0;
    int lastQuoteRow = 0;
    int strikeColumn = 0;
    int volErrorColumn = 0;
    int smileRowOffset = 0;
    int smileVolColumn = 0;
};

struct DemoLayout {
    std::string sheetName = "DAX";
    SheetModel sheet;
    std::vector<Block> blocks;
    Position spot;
    std::vector<std::string> parameterNames;  // v, theta, kappa, sigma, rho
    std::vector<FitCells> fits;               // Differential Evolution, Levenberg-Marquardt
    std::vector<FitSummary> summary;          // the best fit first: heston_Calibrate in vols
    int firstQuoteRow = 0;
    int lastQuoteRow = 0;
    std::vector<MaturityRows> maturities;  // in increasing maturity
    ContourFitCells contourFits;
    ExerciseBarrierCells exerciseBarrier;
    PathDependentCells pathDependent;
    BatesCells bates;
    std::vector<int> columnWidths;  // characters, per column from A
};

// The sheet for these quotes (in any order; the table sorts them by maturity, then strike).
DemoLayout BuildDemoLayout(const std::vector<Quote>& quotes, double spot);

}  // namespace demo
