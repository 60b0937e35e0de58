#pragma once
// refspread: carries the read counts of an OTU abundance table over onto
// reference OTUs through a mapping matrix, once by first match (whole counts)
// and once spread by weight (percentages of a grand total).

#include <cstdint>
#include <vector>

#include "common/count_table.hpp"
#include "common/line_reader.hpp"
#include "common/output_set.hpp"

namespace at::refspread {

// The least weight with which a reference id takes a share of an OTU's count.
// Compared in double precision, so a weight written 0.01 (a little less in
// single precision) stays below it.
constexpr double weight_threshold = 0.01;

struct MappingEntry {
    std::int64_t reference_id = 0;
    float weight = 0.0f;
};

// The matrix row of each OTU, entries in the order the row lists them.
using MappingTable = StringMap<std::vector<MappingEntry>>;

struct MapBack {
    // Whole counts credited to the first reference id of each OTU's row.
    IdMap<std::int64_t> first_match;
    // count x weight of every entry at or above the threshold, per reference id.
    IdMap<float> weighted;
    // Counts of the "unassigned" rows and of OTUs without a matrix row.
    std::int64_t unassigned = 0;
    // Every unassigned count and every weighted share: the divisor of the
    // percentages.
    float grand_total = 0.0f;
};

// Reads a mapping matrix; a later row of an OTU replaces its earlier one.
void read_matrix(LineReader& reader, MappingTable& matrix);

// Credits every row of an OTU abundance table, in file order.
void read_abundance(LineReader& reader, const MappingTable& matrix, MapBack& map_back);

// Writes otu_reflowONE.txt and otu_reflowMANY.txt, each closed by its
// unassigned row.
void write_tables(const MapBack& map_back, OutputSet& outputs);

}  // namespace at::refspread
