#include "refspread/refspread.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "common/fast/flat_map.hpp"
#include "common/taxonomy/ranks.hpp"
#include "common/text/arena.hpp"
#include "common/text/fields.hpp"
#include "common/text/numbers.hpp"

namespace at::refspread {

namespace {

// One "id:weight" entry of a matrix row.
struct MappingEntry {
    std::int64_t reference_id;
    float weight;
};

// The matrix, as the entry list of each OTU's row; a later row of an OTU
// replaces the earlier one. The entries of a row are read when its OTU is
// credited.
class MappingMatrix {
public:
    void add_row(std::string_view otu, std::string_view entry_list) { rows_[otu] = entry_lists_.keep(entry_list); }
    // The entry list of an OTU's row; none when it has no row.
    std::optional<std::string_view> entry_list(std::string_view otu) const {
        const std::string_view* entry_list = rows_.find(otu);
        if (entry_list == nullptr) return std::nullopt;
        return *entry_list;
    }

private:
    TextArena entry_lists_;
    fast::FlatMap<std::string_view> rows_;
};

// What the abundance table credits to one reference id.
struct Credit {
    std::int64_t first_match = 0;  // the counts of the OTUs whose row lists it first
    float weighted = 0.0f;         // count x weight of its entries that take a share
    bool in_first_match = false;
    bool in_weighted = false;
};

// An entry is "id:weight"; a bare number is its own id and its own weight.
MappingEntry parse_entry(std::string_view piece) {
    const auto colon = piece.find(':');
    if (colon == std::string_view::npos) return {to_whole(piece), to_single(piece)};
    return {to_whole(piece.substr(0, colon)), to_single(piece.substr(colon + 1))};
}

// A weight that is not a number fails the test.
bool takes_share(float weight) { return static_cast<double>(weight) >= weight_threshold; }

// Counts are 64-bit; a sum that would leave that range stays at its end
// instead of wrapping round to the other sign.
std::int64_t add_counts(std::int64_t sum, std::int64_t count) {
    constexpr std::int64_t highest = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    if (count > 0 && sum > highest - count) return highest;
    if (count < 0 && sum < lowest - count) return lowest;
    return sum + count;
}

void read_matrix(LineReader& lines, MappingMatrix& matrix) {
    std::string_view line;
    while (lines.next(line)) {
        const TwoColumnRow row = split_row(line);
        matrix.add_row(row.key, row.value);
    }
}

}  // namespace

void map_back(LineReader& matrix_lines, LineReader& abundance, OutputSet& outputs) {
    MappingMatrix matrix;
    read_matrix(matrix_lines, matrix);

    fast::FlatMap<Credit, std::int64_t> credits;
    // The "unassigned" rows and the OTUs without a row, or with an empty one.
    std::int64_t unassigned = 0;
    // Every unassigned count and every weighted share: the divisor of the
    // percentages.
    float grand_total = 0.0f;

    std::vector<MappingEntry> entries;  // of the row being credited
    std::string_view line;
    while (abundance.next(line)) {
        const TwoColumnRow row = split_row(line);
        const std::int64_t count = to_whole(row.value);
        const auto single_count = static_cast<float>(count);
        entries.clear();
        if (row.key != taxonomy::unassigned_key) {
            std::string_view rest = matrix.entry_list(row.key).value_or(std::string_view());
            std::string_view piece;
            while (next_piece(rest, ',', piece)) entries.push_back(parse_entry(piece));
        }
        if (entries.empty()) {
            unassigned = add_counts(unassigned, count);
            grand_total += single_count;
            continue;
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const MappingEntry& entry = entries[i];
            // The first entry takes the whole count, whatever its weight.
            const bool first = i == 0;
            const bool share = takes_share(entry.weight);
            if (!first && !share) continue;
            Credit& credit = credits[entry.reference_id];
            if (first) {
                credit.first_match = add_counts(credit.first_match, count);
                credit.in_first_match = true;
            }
            if (share) {
                const float amount = entry.weight * single_count;
                // An id's first share is taken as it is, so a share of -0 stays -0.
                credit.weighted = credit.in_weighted ? credit.weighted + amount : amount;
                credit.in_weighted = true;
                grand_total += amount;
            }
        }
    }

    // The credits in ascending order of reference id.
    std::vector<std::pair<std::int64_t, Credit>> by_id;
    by_id.reserve(credits.size());
    credits.for_each([&by_id](std::int64_t id, const Credit& credit) { by_id.emplace_back(id, credit); });
    std::sort(by_id.begin(), by_id.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    TextSink& one = outputs.create("otu_reflowONE.txt");
    for (const auto& [id, credit] : by_id) {
        if (credit.in_first_match) one.row(id, credit.first_match);
    }
    one.row(taxonomy::unassigned_key, unassigned);

    TextSink& many = outputs.create("otu_reflowMANY.txt");
    for (const auto& [id, credit] : by_id) {
        // The division first, then the scaling to percent, in single precision.
        if (credit.in_weighted) many.row(id, (credit.weighted / grand_total) * 100.0f);
    }
    const double unassigned_percentage =
        static_cast<double>(unassigned) / static_cast<double>(grand_total) * 100.0;
    many.row(taxonomy::unassigned_key, static_cast<float>(unassigned_percentage));
}

}  // namespace at::refspread
