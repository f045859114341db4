// VectorOrder: how a two-dimensional range is laid out in a vector of doubles.
//
// Only RowMajor reads row by row; every other value, OneDimensional included, reads column
// by column. For a single row or column all orders give the same vector.
#pragma once

namespace xlf {

enum VectorOrder {
    OneDimensional = 0,  // accepts only a single row or a single column
    RowMajor = 1,
    ColumnMajor = 2,
};

}  // namespace xlf
