#pragma once
// sharescale: the values of a two-column table as percentages of the sum of
// every value read.

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"

namespace at::sharescale {

// Reads the rows "key<TAB>value" of a table and writes normalized.txt: each
// key in byte order with its last value as a percentage of the sum of every
// row's value, rows of a repeated key included.
void normalize(LineReader& table, OutputSet& outputs);

}  // namespace at::sharescale
