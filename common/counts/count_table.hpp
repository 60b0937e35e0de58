#pragma once
// The count table of the classifier's count.seqs: how many reads each
// unique sequence stands for, in all and in each sample. Two forms:
//   plain       Representative_Sequence<TAB>total<TAB>sample...
//               ID<TAB>total<TAB>count... (one count per sample)
//   compressed  "#" lines first, one of them the samples as
//               "1,name<TAB>2,name...", then the same header, then
//               ID<TAB>total<TAB>sample,count ... (zero counts left out)
// A table with only the column "total" names no samples.

#include "common/counts/read_counts.hpp"
#include "common/io/line_reader.hpp"

namespace at::counts {

// Reads a count table. A line that is not of its form (a count that is not
// a whole number of digits, a total that is not the sum of the line's sample
// counts, a read listed twice, ...) is rejected, naming the line.
ReadCounts read_count_table(LineReader& table, std::string file);

}  // namespace at::counts
