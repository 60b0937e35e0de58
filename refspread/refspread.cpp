#include "refspread/refspread.hpp"

#include <limits>
#include <string_view>

#include "common/numbers.hpp"
#include "common/fields.hpp"

namespace at::refspread {

namespace {

constexpr std::string_view unassigned_key = "unassigned";

// One "id:weight" piece of an entry list. A bare number is its own id and
// its own weight.
MappingEntry parse_entry(std::string_view piece) {
    const auto colon = piece.find(':');
    if (colon == std::string_view::npos) return {to_whole(piece), to_single(piece)};
    return {to_whole(piece.substr(0, colon)), to_single(piece.substr(colon + 1))};
}

// Counts are taken whole as 64-bit numbers; a sum that would leave that range
// stays at its end instead of wrapping round to the other sign.
std::int64_t add_counts(std::int64_t sum, std::int64_t count) {
    std::int64_t result = 0;
    if (!__builtin_add_overflow(sum, count, &result)) return result;
    return count < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
}

}  // namespace

void read_matrix(LineReader& reader, MappingTable& matrix) {
    std::string_view line;
    while (reader.next(line)) {
        const TwoColumnRow row = split_row(line);
        std::vector<MappingEntry>& entries = entry(matrix, row.key);
        entries.clear();
        std::string_view rest = row.value;
        std::string_view piece;
        while (next_piece(rest, ',', piece)) entries.push_back(parse_entry(piece));
    }
}

void read_abundance(LineReader& reader, const MappingTable& matrix, MapBack& map_back) {
    std::string_view line;
    while (reader.next(line)) {
        const TwoColumnRow row = split_row(line);
        const std::int64_t count = to_whole(row.value);
        const float single_count = static_cast<float>(count);

        const std::vector<MappingEntry>* entries = nullptr;
        if (row.key != unassigned_key) {
            const auto* found = matrix.find(row.key);
            if (found != nullptr && !found->empty()) entries = found;
        }
        if (entries == nullptr) {
            map_back.unassigned = add_counts(map_back.unassigned, count);
            map_back.grand_total += single_count;
            continue;
        }

        // The whole count goes to the first reference id, whatever its weight.
        std::int64_t& first = map_back.first_match[entries->front().reference_id];
        first = add_counts(first, count);

        for (const MappingEntry& mapped : *entries) {
            // A weight that is not a number fails this test and is passed over.
            if (!(static_cast<double>(mapped.weight) >= weight_threshold)) continue;
            const float share = mapped.weight * single_count;
            const auto [weighted, is_new] = map_back.weighted.insert(mapped.reference_id, share);
            if (!is_new) *weighted += share;
            map_back.grand_total += share;
        }
    }
}

void write_tables(const MapBack& map_back, OutputSet& outputs) {
    TextSink& one = outputs.create("otu_reflowONE.txt");
    for (const auto* row : sorted_entries(map_back.first_match)) {
        one.row(row->first, row->second);
    }
    one.row(unassigned_key, map_back.unassigned);

    TextSink& many = outputs.create("otu_reflowMANY.txt");
    for (const auto* row : sorted_entries(map_back.weighted)) {
        // Division first, then the scaling to percent, both in single precision.
        const float percentage = (row->second / map_back.grand_total) * 100.0f;
        many.row(row->first, percentage);
    }
    const double unassigned_percentage =
        static_cast<double>(map_back.unassigned) / static_cast<double>(map_back.grand_total) * 100.0;
    many.row(unassigned_key, static_cast<float>(unassigned_percentage));
}

}  // namespace at::refspread
