#pragma once
// refspread: carries the read counts of an OTU abundance table over onto
// reference OTUs through a mapping matrix, once by first match (whole counts)
// and once spread by weight (percentages of a grand total).

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/count_table.hpp"
#include "common/line_reader.hpp"
#include "common/output_set.hpp"

namespace at::refspread {

// The least weight with which a reference id takes a share of an OTU's count.
// Compared in double precision, so a weight written 0.01 (a little less in
// single precision) stays below it.
constexpr double weight_threshold = 0.01;

// One "id:weight" entry of a matrix row. The reference id is kept as its
// rank: its place among all reference ids of the matrix in ascending order,
// so that the totals per reference id are plain arrays, already in the order
// in which they are written.
struct MappedEntry {
    std::uint32_t rank = 0;
    float weight = 0.0f;
};

// The matrix rows of the OTUs.
class MappingMatrix {
public:
    // Takes the row of an OTU; a later row of an OTU replaces its earlier one.
    void add_row(std::string_view otu, std::string_view entry_list);
    // Ranks the reference ids; call once, after the last row.
    void finish();

    // The entries of an OTU's row in the order the row lists them; empty when
    // the OTU has no row or an empty one.
    std::span<const MappedEntry> row(std::string_view otu) const;
    // The reference id of a rank, and the number of ranks.
    std::int64_t reference_id(std::uint32_t rank) const { return ids_by_rank_[rank]; }
    std::size_t reference_count() const { return ids_by_rank_.size(); }

private:
    void finish_dense(std::uint64_t base, std::uint64_t span);
    void finish_sorted(std::uint64_t base);
    void finish_wide();

    struct Span {
        std::size_t begin = 0;
        std::uint32_t size = 0;
        std::uint32_t capacity = 0;
    };
    StringMap<Span> rows_;
    // Every entry parsed; the ids (their two's complement bits) only until
    // they are ranked.
    std::vector<MappedEntry> entries_;
    std::vector<std::uint64_t> ids_;
    std::vector<std::int64_t> ids_by_rank_;
};

// Reads a mapping matrix and ranks its reference ids.
void read_matrix(LineReader& reader, MappingMatrix& matrix);

struct MapBack {
    // By rank: whole counts credited to the first reference id of each OTU's
    // row, and count x weight of every entry at or above the threshold.
    std::vector<std::int64_t> first_match;
    std::vector<float> weighted;
    // By rank: which of the two tables credited the reference id at all.
    std::vector<std::uint8_t> credited;
    // Counts of the "unassigned" rows and of OTUs without a matrix row.
    std::int64_t unassigned = 0;
    // Every unassigned count and every weighted share: the divisor of the
    // percentages.
    float grand_total = 0.0f;
};

// Credits every row of an OTU abundance table, in file order.
void read_abundance(LineReader& reader, const MappingMatrix& matrix, MapBack& map_back);

// Writes otu_reflowONE.txt and otu_reflowMANY.txt, each in ascending order of
// reference id and closed by its unassigned row.
void write_tables(const MappingMatrix& matrix, const MapBack& map_back, OutputSet& outputs);

}  // namespace at::refspread
