#pragma once
// sharescale: turns the values of a two-column table into percentages of the
// sum of every value read.

#include "common/ordered_rows.hpp"
#include "common/line_reader.hpp"
#include "common/output_set.hpp"

namespace at::sharescale {

struct Shares {
    // The last value read for each key, in single precision.
    OrderedRows<float> values;
    // Every row's value added in file order, one single-precision addition per
    // row, rows of a repeated key included.
    float value_sum = 0.0f;
};

// Reads the rows "key<TAB>value" of a two-column table into the shares.
void read_values(LineReader& table, Shares& shares);

// Writes normalized.txt: each key in byte order with (100 x value) / sum,
// computed in single precision.
void write_percentages(const Shares& shares, OutputSet& outputs);

}  // namespace at::sharescale
