#include "refspread/refspread.hpp"

#include <cstdint>
#include <limits>
#include <map>
#include <vector>

#include "common/fast/flat_map.hpp"
#include "common/taxonomy/ranks.hpp"
#include "common/text/fields.hpp"
#include "common/text/numbers.hpp"

namespace at::refspread {

namespace {

// One "id:weight" entry of a matrix row.
struct MappingEntry {
    std::int64_t reference_id;
    float weight;
};

// The entries of each OTU's row, in the order the row lists them.
using MappingMatrix = fast::FlatMap<std::vector<MappingEntry>>;

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

MappingMatrix read_matrix(LineReader& matrix_lines) {
    MappingMatrix matrix;
    std::string_view line;
    while (matrix_lines.next(line)) {
        const TwoColumnRow row = split_row(line);
        std::vector<MappingEntry> entries;
        std::string_view rest = row.value;
        std::string_view piece;
        while (next_piece(rest, ',', piece)) entries.push_back(parse_entry(piece));
        // A later row of an OTU replaces the earlier one.
        matrix[row.key] = std::move(entries);
    }
    return matrix;
}

}  // namespace

void map_back(LineReader& matrix_lines, LineReader& abundance, OutputSet& outputs) {
    const MappingMatrix matrix = read_matrix(matrix_lines);

    // Each OTU's whole count at the first id of its row.
    std::map<std::int64_t, std::int64_t> first_match;
    // count x weight at every id of its row whose weight takes a share.
    std::map<std::int64_t, float> weighted;
    // The "unassigned" rows and the OTUs without a row, or with an empty one.
    std::int64_t unassigned = 0;
    // Every unassigned count and every weighted share: the divisor of the
    // percentages.
    float grand_total = 0.0f;

    std::string_view line;
    while (abundance.next(line)) {
        const TwoColumnRow row = split_row(line);
        const std::int64_t count = to_whole(row.value);
        const auto single_count = static_cast<float>(count);
        const std::vector<MappingEntry>* entries =
            row.key == taxonomy::unassigned_key ? nullptr : matrix.find(row.key);
        if (entries == nullptr || entries->empty()) {
            unassigned = add_counts(unassigned, count);
            grand_total += single_count;
            continue;
        }
        std::int64_t& first = first_match[entries->front().reference_id];
        first = add_counts(first, count);
        for (const MappingEntry& entry : *entries) {
            if (!takes_share(entry.weight)) continue;
            const float share = entry.weight * single_count;
            // An id's first share is taken as it is, so a share of -0 stays -0.
            const auto [total, is_new] = weighted.try_emplace(entry.reference_id, share);
            if (!is_new) total->second += share;
            grand_total += share;
        }
    }

    TextSink& one = outputs.create("otu_reflowONE.txt");
    for (const auto& [reference_id, count] : first_match) one.row(reference_id, count);
    one.row(taxonomy::unassigned_key, unassigned);

    TextSink& many = outputs.create("otu_reflowMANY.txt");
    for (const auto& [reference_id, share] : weighted) {
        // The division first, then the scaling to percent, in single precision.
        many.row(reference_id, (share / grand_total) * 100.0f);
    }
    const double unassigned_percentage =
        static_cast<double>(unassigned) / static_cast<double>(grand_total) * 100.0;
    many.row(taxonomy::unassigned_key, static_cast<float>(unassigned_percentage));
}

}  // namespace at::refspread
