#pragma once
// refspread: carries the read counts of an OTU abundance table over onto
// reference OTUs through a mapping matrix, once by first match (whole counts)
// and once spread by weight (percentages of a grand total).

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"

namespace at::refspread {

// The least weight with which a reference id takes a share of an OTU's count.
// Compared in double precision, so a weight written 0.01 (a little less in
// single precision) stays below it.
constexpr double weight_threshold = 0.01;

// Reads the mapping matrix ("OTU<TAB>id:weight,id:weight,...") and then the
// abundance table ("OTU<TAB>count"), and writes otu_reflowONE.txt and
// otu_reflowMANY.txt, each in ascending order of reference id and closed by
// its unassigned row.
void map_back(LineReader& matrix, LineReader& abundance, OutputSet& outputs);

}  // namespace at::refspread
