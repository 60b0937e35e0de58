#pragma once
// sharescale --columns: the values of a table of several columns, such as
// readtally's X.samples.txt, as percentages of their own column's sum.

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"

namespace at::sharescale {

// Reads a header line (a name, then a TAB and a name for each column) and
// rows of a key and one value for each column, all TAB-separated, and
// writes normalized.txt: the header as read, then each key in byte order
// with each of its last row's values as a percentage of the sum of its
// column over every row, as normalize() does for one column. A row with
// another number of values than the header has columns is rejected, naming
// its line.
void normalize_columns(LineReader& table, OutputSet& outputs);

}  // namespace at::sharescale
