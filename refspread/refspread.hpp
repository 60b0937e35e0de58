#pragma once
// refspread: carries the read counts of an OTU abundance table over onto
// reference OTUs through a mapping matrix, once by first match (whole counts)
// and once spread by weight (percentages of a grand total).

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
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
//
// Kept compact, as the table is built once and then only looked up: the OTU
// names one after the other in one string, the entries one after the other
// in one array, each row as where its name and its entries end, and an index
// of 4 bytes per slot (at most half full) from the hash of a name to its row.
class MappingMatrix {
public:
    // Rows are entered into the index `rows_at_a_time` at a time (and at the
    // end): the index is then made large enough for them at once instead of
    // doubling on the way there, and each row asks for its slot a few rows
    // ahead. Rows waiting take 8 bytes each.
    static constexpr std::size_t default_rows_at_a_time = std::size_t{1} << 17;
    explicit MappingMatrix(std::size_t rows_at_a_time = default_rows_at_a_time)
        : rows_at_a_time_(rows_at_a_time == 0 ? 1 : rows_at_a_time) {}

    // Makes room for the rows of a matrix file of about `bytes` bytes, so
    // that the arrays are not moved, and their pages touched twice, as they
    // grow. Only address space is reserved: memory is used as rows come.
    void expect_bytes(std::uint64_t bytes);
    // Takes the row of an OTU; a later row of an OTU replaces its earlier one.
    void add_row(std::string_view otu, std::string_view entry_list);
    // Takes the rows of a block of lines from LineReader::next_block, cut
    // while their entries are read.
    void add_lines(std::string_view block);
    // Ranks the reference ids; call once, after the last row.
    void finish();

    // The entries of an OTU's row in the order the row lists them, without
    // those after the first whose weight is below the threshold (or not a
    // number), which can never count; empty when the OTU has no row or an
    // empty one.
    std::span<const MappedEntry> row(std::string_view otu) const { return row(otu, hash_of(otu)); }
    // The same in steps, so that the lookups of many OTUs can overlap their
    // waits for memory: the hash, then a request for its slot, for the row's
    // ends, and for its name and entries, each a step after the one before.
    static std::uint64_t hash_of(std::string_view otu) { return StringHash{}(otu); }
    void prefetch_slot(std::uint64_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[position_of(hash)]);
    }
    void prefetch_ends(std::uint64_t hash) const;
    void prefetch_contents(std::uint64_t hash) const;
    std::span<const MappedEntry> row(std::string_view otu, std::uint64_t hash) const;
    // The same, after finish(), for a name of at most short_name bytes at the
    // start of a block of that many: compared with the names of the rows in
    // one step of short_name bytes instead of a call to memcmp.
    static constexpr std::size_t short_name = 16;
    std::span<const MappedEntry> row_of_short_name(const char* name, std::size_t size, std::uint64_t hash) const;

    // Frees the rows and their index once every lookup is done, so that the
    // tables are written in their room; the ids of the ranks stay.
    void forget_rows();

    // The reference id of a rank, and the number of ranks.
    std::int64_t reference_id(std::uint32_t rank) const {
        if (ids_by_rank_.empty()) return static_cast<std::int64_t>(ranked_base_ + distances_by_rank_[rank]);
        return ids_by_rank_[rank];
    }
    std::size_t reference_count() const { return distances_by_rank_.size() + ids_by_rank_.size(); }

private:
    // Where a row's name and entries end; the row before ends where they begin.
    struct RowEnds {
        std::uint32_t key_end;
        std::uint32_t entries_end;
    };

    // A slot of four bytes holds the number of a row (counted from 1; 0 is
    // an empty slot) in its low row_bits_, and above them the same bits of
    // the lower half of the name's hash, a tag that tells most names apart
    // without their text. The slot's place follows from the upper half.
    std::size_t position_of(std::uint64_t hash) const { return static_cast<std::size_t>(hash >> 32) & mask_; }
    std::uint32_t tag_of(std::uint64_t hash) const { return static_cast<std::uint32_t>(hash) & ~row_mask_; }
    std::uint32_t row_of(std::uint32_t slot) const { return slot & row_mask_; }
    std::span<const MappedEntry> entries_of(std::uint32_t row) const {
        const std::uint32_t begin = ends_[row - 1].entries_end;
        return std::span<const MappedEntry>(entries_.data() + begin, ends_[row].entries_end - begin);
    }
    std::string_view key_of(std::uint32_t row) const {
        return std::string_view(keys_).substr(ends_[row - 1].key_end, ends_[row].key_end - ends_[row - 1].key_end);
    }
    // The first slot from the place of `hash` that is empty, or whose tag
    // is that of `hash` and whose row `named(row)` takes for the name's.
    template <class Named>
    std::size_t probe(std::uint64_t hash, Named named) const;
    // The first slot that may hold the row of `hash`, or 0.
    std::uint32_t likely_row(std::uint64_t hash) const;
    // The slot of `otu`, or the empty slot where it would go.
    std::size_t slot_of(std::string_view otu, std::uint64_t hash) const;
    void begin_row(std::size_t name_size);
    template <bool to_newline>
    const char* add_entries(const char* at, const char* end);
    void end_row(std::string_view otu);
    void index_waiting_rows();
    void grow_index(std::size_t rows, std::size_t greatest_row);
    void drop_replaced_rows();
    void finish_dense(std::uint64_t base, std::uint64_t span);
    void finish_sorted(std::uint64_t base);
    void finish_wide();

    // The reference id of entry i until the ids are ranked.
    std::uint64_t id_at(std::size_t i) const { return wide_ids_ ? ids_[i] : entries_[i].rank; }
    void add_entry(std::int64_t id, float weight) {
        least_id_ = std::min(least_id_, id);
        most_id_ = std::max(most_id_, id);
        if (!wide_ids_ && id >= 0 && id <= std::numeric_limits<std::uint32_t>::max()) {
            entries_.push_back({static_cast<std::uint32_t>(id), weight});
            return;
        }
        add_wide_entry(id, weight);
    }
    void add_wide_entry(std::int64_t id, float weight);

    std::string keys_;
    // ends_[0] is where the first row begins; row r (from 1) ends at ends_[r].
    std::vector<RowEnds> ends_{RowEnds{0, 0}};
    std::vector<std::uint32_t> slots_;
    std::size_t mask_ = 0;
    std::uint32_t row_mask_ = 0;
    std::size_t live_rows_ = 0;
    // The hashes of the last rows, not yet in the index.
    std::vector<std::uint64_t> waiting_;
    std::size_t rows_at_a_time_;
    // Where the entries of the row being read begin.
    std::size_t row_first_entry_ = 0;
    // Every entry parsed. Until the ids are ranked, an entry's rank holds its
    // id while every id fits in 32 bits without a sign (as reference
    // databases number their sequences); after the first that does not, the
    // ids (their two's complement bits) are kept alongside. Names and entries
    // of replaced rows stay until they are as many as the live ones.
    std::vector<MappedEntry> entries_;
    std::vector<std::uint64_t> ids_;
    bool wide_ids_ = false;
    // The least and greatest id of all entries read.
    std::int64_t least_id_ = std::numeric_limits<std::int64_t>::max();
    std::int64_t most_id_ = std::numeric_limits<std::int64_t>::min();
    // Bytes held by replaced rows: their ends, names and entries.
    std::size_t replaced_bytes_ = 0;
    // The ids by rank: where they span less than 2^32 (as the sequence
    // numbers of a reference database do), as four-byte distances from the
    // least; else whole.
    std::uint64_t ranked_base_ = 0;
    std::vector<std::uint32_t> distances_by_rank_;
    std::vector<std::int64_t> ids_by_rank_;
};

// Reads a mapping matrix and ranks its reference ids.
void read_matrix(LineReader& reader, MappingMatrix& matrix);

// What the abundance table credits to the reference ids, by rank. Kept as
// separate arrays, so that the one the weights go to, the busiest, is a
// quarter the size of a whole record and stays in the processor's cache.
struct MapBack {
    // The whole counts of the OTUs whose row lists the id first.
    std::vector<std::int64_t> first_match;
    // count x weight of every entry of the id at or above the threshold,
    // summed from -0, to which adding any first share gives that share
    // itself (a first share of -0 stays -0).
    std::vector<float> weighted;
    // A bit per rank: whether the id was credited in each of the two at all.
    std::vector<std::uint64_t> first_credited;
    std::vector<std::uint64_t> weighted_credited;
    // Counts of the "unassigned" rows and of OTUs without a matrix row.
    std::int64_t unassigned = 0;
    // Every unassigned count and every weighted share: the divisor of the
    // percentages.
    float grand_total = 0.0f;

    // Zero counts and no credit for each of `ranks` reference ids.
    void reset(std::size_t ranks);
};

// Credits every row of an OTU abundance table, in file order.
void read_abundance(LineReader& reader, const MappingMatrix& matrix, MapBack& map_back);

// Writes otu_reflowONE.txt and otu_reflowMANY.txt, each in ascending order of
// reference id and closed by its unassigned row.
void write_tables(const MappingMatrix& matrix, const MapBack& map_back, OutputSet& outputs);

}  // namespace at::refspread
