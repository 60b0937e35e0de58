#include "refspread/refspread.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "common/fields.hpp"
#include "common/numbers.hpp"

namespace at::refspread {

namespace {

constexpr std::string_view unassigned_key = "unassigned";

constexpr std::uint8_t credited_first = 1;
constexpr std::uint8_t credited_weighted = 2;

// One "id:weight" piece of an entry list. A bare number is its own id and
// its own weight.
void parse_entry(std::string_view piece, std::int64_t& id, float& weight) {
    const auto colon = piece.find(':');
    if (colon == std::string_view::npos) {
        id = to_whole(piece);
        weight = to_single(piece);
        return;
    }
    id = to_whole(piece.substr(0, colon));
    weight = to_single(piece.substr(colon + 1));
}

// Counts are taken whole as 64-bit numbers; a sum that would leave that range
// stays at its end instead of wrapping round to the other sign.
std::int64_t add_counts(std::int64_t sum, std::int64_t count) {
    std::int64_t result = 0;
    if (!__builtin_add_overflow(sum, count, &result)) return result;
    return count < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
}

// Least significant digit radix sort of 64-bit keys, a byte at a time,
// skipping the bytes in which all keys agree: reference ids of real matrices
// span a few bytes.
void radix_sort(std::vector<std::uint64_t>& keys) {
    if (keys.size() < 2) return;
    std::uint64_t differing = 0;
    for (const std::uint64_t key : keys) differing |= key ^ keys.front();
    std::vector<std::uint64_t> other(keys.size());
    for (unsigned shift = 0; shift < 64; shift += 8) {
        if (((differing >> shift) & 0xff) == 0) continue;
        std::array<std::size_t, 256> start{};
        for (const std::uint64_t key : keys) ++start[(key >> shift) & 0xff];
        std::size_t total = 0;
        for (std::size_t& count : start) total += std::exchange(count, total);
        for (const std::uint64_t key : keys) other[start[(key >> shift) & 0xff]++] = key;
        keys.swap(other);
    }
}

unsigned bit_width(std::uint64_t value) { return value == 0 ? 0 : 64 - static_cast<unsigned>(__builtin_clzll(value)); }

}  // namespace

void MappingMatrix::add_row(std::string_view otu, std::string_view entry_list) {
    // The new entries go to the end; a row that fits where the OTU's earlier
    // row was is moved there, so that repeated rows do not pile up.
    const std::size_t begin = entries_.size();
    std::string_view rest = entry_list;
    std::string_view piece;
    while (next_piece(rest, ',', piece)) {
        std::int64_t id = 0;
        float weight = 0.0f;
        parse_entry(piece, id, weight);
        // Entries are numbered in 32 bits: 4 billion, far beyond any matrix
        // that fits in memory, but never wrapped round.
        if (entries_.size() == std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("the mapping matrix has more than 4294967295 entries");
        }
        entries_.push_back({0, weight});
        ids_.push_back(static_cast<std::uint64_t>(id));
    }
    const auto size = static_cast<std::uint32_t>(entries_.size() - begin);
    const auto [span, is_new] = rows_.insert(otu);
    if (!is_new && size <= span->capacity) {
        std::copy(entries_.begin() + static_cast<std::ptrdiff_t>(begin), entries_.end(),
                  entries_.begin() + static_cast<std::ptrdiff_t>(span->begin));
        std::copy(ids_.begin() + static_cast<std::ptrdiff_t>(begin), ids_.end(),
                  ids_.begin() + static_cast<std::ptrdiff_t>(span->begin));
        entries_.resize(begin);
        ids_.resize(begin);
        span->size = size;
        return;
    }
    *span = Span{begin, size, size};
}

void MappingMatrix::finish() {
    ids_by_rank_.clear();
    if (ids_.empty()) return;
    const auto signed_less = [](std::uint64_t a, std::uint64_t b) {
        return static_cast<std::int64_t>(a) < static_cast<std::int64_t>(b);
    };
    const auto [least, most] = std::minmax_element(ids_.begin(), ids_.end(), signed_less);
    const std::uint64_t base = *least;
    const std::uint64_t span = *most - base;
    // Ids close together (as reference databases number their sequences)
    // are ranked through a bit per possible id, at most 8 bytes per entry;
    // ids further apart are sorted.
    if (span / 64 < ids_.size()) {
        finish_dense(base, span);
    } else if (bit_width(span) + std::max(1u, bit_width(ids_.size() - 1)) <= 64) {
        finish_sorted(base);
    } else {
        finish_wide();
    }
    std::vector<std::uint64_t>().swap(ids_);
}

// A bit for every id from the least to the greatest, set where an entry has
// it; the rank of an id is the number of bits set before its own.
void MappingMatrix::finish_dense(std::uint64_t base, std::uint64_t span) {
    const std::size_t words = static_cast<std::size_t>(span / 64) + 1;
    std::vector<std::uint64_t> present(words);
    for (const std::uint64_t id : ids_) {
        const std::uint64_t distance = id - base;
        present[distance / 64] |= std::uint64_t{1} << (distance % 64);
    }
    std::vector<std::uint32_t> set_before(words);
    std::uint32_t total = 0;
    for (std::size_t word = 0; word < words; ++word) {
        set_before[word] = total;
        total += static_cast<std::uint32_t>(__builtin_popcountll(present[word]));
    }
    ids_by_rank_.reserve(total);
    for (std::size_t word = 0; word < words; ++word) {
        for (std::uint64_t bits = present[word]; bits != 0; bits &= bits - 1) {
            ids_by_rank_.push_back(static_cast<std::int64_t>(base + word * 64 + static_cast<unsigned>(__builtin_ctzll(bits))));
        }
    }
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        const std::uint64_t distance = ids_[i] - base;
        const std::uint64_t below = (std::uint64_t{1} << (distance % 64)) - 1;
        entries_[i].rank = set_before[distance / 64] +
                           static_cast<std::uint32_t>(__builtin_popcountll(present[distance / 64] & below));
    }
}

// Each id becomes one 64-bit sort key: its distance from the least id above
// the bits of its entry's position. Sorting these keys sorts the entries by
// id, and each key still tells which entry it came from.
void MappingMatrix::finish_sorted(std::uint64_t base) {
    const unsigned position_bits = std::max(1u, bit_width(ids_.size() - 1));
    const std::uint64_t position_mask = (std::uint64_t{1} << position_bits) - 1;
    std::vector<std::uint64_t> keys(ids_.size());
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = (ids_[i] - base) << position_bits | i;
    radix_sort(keys);
    std::uint64_t previous = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::uint64_t distance = keys[i] >> position_bits;
        if (i == 0 || distance != previous) {
            ids_by_rank_.push_back(static_cast<std::int64_t>(base + distance));
            previous = distance;
        }
        entries_[keys[i] & position_mask].rank = static_cast<std::uint32_t>(ids_by_rank_.size() - 1);
    }
}

// Ids spread so far apart that distance and position do not fit in 64 bits
// (ids near both ends of the range): sorted as pairs instead.
void MappingMatrix::finish_wide() {
    std::vector<std::pair<std::int64_t, std::uint32_t>> pairs(ids_.size());
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        pairs[i] = {static_cast<std::int64_t>(ids_[i]), static_cast<std::uint32_t>(i)};
    }
    std::sort(pairs.begin(), pairs.end());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i == 0 || pairs[i].first != pairs[i - 1].first) ids_by_rank_.push_back(pairs[i].first);
        entries_[pairs[i].second].rank = static_cast<std::uint32_t>(ids_by_rank_.size() - 1);
    }
}

std::span<const MappedEntry> MappingMatrix::row(std::string_view otu) const {
    const Span* span = rows_.find(otu);
    if (span == nullptr) return {};
    return std::span<const MappedEntry>(entries_).subspan(span->begin, span->size);
}

void read_matrix(LineReader& reader, MappingMatrix& matrix) {
    std::string_view line;
    while (reader.next(line)) {
        const TwoColumnRow row = split_row(line);
        matrix.add_row(row.key, row.value);
    }
    matrix.finish();
}

void read_abundance(LineReader& reader, const MappingMatrix& matrix, MapBack& map_back) {
    const std::size_t ranks = matrix.reference_count();
    map_back.first_match.assign(ranks, 0);
    map_back.weighted.assign(ranks, 0.0f);
    map_back.credited.assign(ranks, 0);

    std::string_view line;
    while (reader.next(line)) {
        const TwoColumnRow row = split_row(line);
        const std::int64_t count = to_whole(row.value);
        const float single_count = static_cast<float>(count);

        std::span<const MappedEntry> entries;
        if (row.key != unassigned_key) entries = matrix.row(row.key);
        if (entries.empty()) {
            map_back.unassigned = add_counts(map_back.unassigned, count);
            map_back.grand_total += single_count;
            continue;
        }

        // The whole count goes to the first reference id, whatever its weight.
        const std::uint32_t first = entries.front().rank;
        map_back.first_match[first] = add_counts(map_back.first_match[first], count);
        map_back.credited[first] |= credited_first;

        for (const MappedEntry& mapped : entries) {
            // A weight that is not a number fails this test and is passed over.
            if (!(static_cast<double>(mapped.weight) >= weight_threshold)) continue;
            const float share = mapped.weight * single_count;
            // The first share of a reference id is taken as it is, later ones
            // are added to it: a first share of -0 stays -0.
            if (map_back.credited[mapped.rank] & credited_weighted) {
                map_back.weighted[mapped.rank] += share;
            } else {
                map_back.weighted[mapped.rank] = share;
                map_back.credited[mapped.rank] |= credited_weighted;
            }
            map_back.grand_total += share;
        }
    }
}

void write_tables(const MappingMatrix& matrix, const MapBack& map_back, OutputSet& outputs) {
    const auto ranks = static_cast<std::uint32_t>(map_back.credited.size());

    TextSink& one = outputs.create("otu_reflowONE.txt");
    for (std::uint32_t rank = 0; rank < ranks; ++rank) {
        if (map_back.credited[rank] & credited_first) one.row(matrix.reference_id(rank), map_back.first_match[rank]);
    }
    one.row(unassigned_key, map_back.unassigned);

    TextSink& many = outputs.create("otu_reflowMANY.txt");
    for (std::uint32_t rank = 0; rank < ranks; ++rank) {
        if (!(map_back.credited[rank] & credited_weighted)) continue;
        // Division first, then the scaling to percent, both in single precision.
        const float percentage = (map_back.weighted[rank] / map_back.grand_total) * 100.0f;
        many.row(matrix.reference_id(rank), percentage);
    }
    const double unassigned_percentage =
        static_cast<double>(map_back.unassigned) / static_cast<double>(map_back.grand_total) * 100.0;
    many.row(unassigned_key, static_cast<float>(unassigned_percentage));
}

}  // namespace at::refspread
