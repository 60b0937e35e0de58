#include "refspread/refspread.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/fields.hpp"
#include "common/numbers.hpp"

namespace at::refspread {

namespace {

constexpr std::string_view unassigned_key = "unassigned";

// Whether an entry of this weight takes a share of its OTU's count in the
// weighted table. A weight that is not a number fails the test.
bool takes_share(float weight) { return static_cast<double>(weight) >= weight_threshold; }

// Bitmaps of 64-bit words, bit i of the map in word i / 64.
void set_bit(std::uint64_t* bits, std::uint64_t i) { bits[i / 64] |= std::uint64_t{1} << (i % 64); }

// Calls visit(i) for each bit i set in a bitmap of `words` words, in
// ascending order: a step per bit set, not a test per bit.
template <class Visit>
void for_each_set_bit(const std::uint64_t* bits, std::size_t words, Visit visit) {
    for (std::size_t word = 0; word < words; ++word) {
        for (std::uint64_t rest = bits[word]; rest != 0; rest &= rest - 1) {
            visit(word * 64 + static_cast<unsigned>(__builtin_ctzll(rest)));
        }
    }
}

// Writes the position of every bit set in a bitmap of `words` words to
// out[set_before[w] ...] for the bits of word w, in ascending order. Four
// positions are written for every word, whatever its count, and only a word
// of more bits loops on: the words after a word of fewer overwrite what is
// left over, and the last leaves up to three past its own, so `out` needs
// three spare places behind the last position. A loop per word to its count
// would miss its end at nearly every word.
template <class Position>
void write_set_positions(const std::uint64_t* bits, std::size_t words, const std::uint32_t* set_before,
                         Position* out) {
    for (std::size_t word = 0; word < words; ++word) {
        std::uint64_t rest = bits[word];
        Position* at = out + set_before[word];
        const auto first = static_cast<Position>(word * 64);
        // The top bit keeps the count of trailing zeros defined, without a
        // test, once the word has no bits left (what is then written is
        // overwritten); it changes no count while a bit below it is set.
        constexpr std::uint64_t top = std::uint64_t{1} << 63;
        for (int k = 0; k < 4; ++k) {
            at[k] = first + static_cast<Position>(__builtin_ctzll(rest | top));
            rest &= rest - 1;
        }
        for (at += 4; rest != 0; rest &= rest - 1) *at++ = first + static_cast<Position>(__builtin_ctzll(rest));
    }
}

// One "id:weight" piece of an entry list. A bare number is its own id and
// its own weight.
void parse_entry(std::string_view piece, std::int64_t& id, float& weight) {
    // The usual form, plain digits and a colon: the id is read on the way to
    // the colon.
    std::uint64_t digits = 0;
    const std::size_t at = detail::leading_digits(piece, digits);
    if (at != 0 && at < piece.size() && piece[at] == ':') {
        id = static_cast<std::int64_t>(digits);
        weight = to_single(piece.substr(at + 1));
        return;
    }
    const auto colon = piece.find(':');
    if (colon == std::string_view::npos) {
        id = to_whole(piece);
        weight = to_single(piece);
        return;
    }
    id = to_whole(piece.substr(0, colon));
    weight = to_single(piece.substr(colon + 1));
}

// The usual entry at `at`: an id of up to seven digits, a colon and a weight
// of up to seven digits before its point and up to fifteen after it, ending
// the entry (at a comma, a newline or `end`). Each run of digits is read
// eight bytes at a time. Returns the end of the entry, or nullptr for any
// other form (which parse_entry reads). Always inline: the entry loop is
// built twice (for lists and for lines), and as a call of its own every
// entry paid for passing its results through memory.
[[gnu::always_inline]] inline const char* usual_entry(const char* at, const char* end, std::int64_t& id, float& weight) {
    // Static, so that the table is not built on the stack at every call.
    static constexpr std::uint64_t scale[16] = {
        1,           10,           100,           1000,           10000,           100000,
        1000000,     10000000,     100000000,     1000000000,     10000000000,     100000000000,
        1000000000000, 10000000000000, 100000000000000, 1000000000000000};
    std::uint64_t digits = 0;
    const std::size_t id_length = detail::digits_of_eight(at, end, digits);
    if (id_length == 0 || id_length == 8 || at + id_length == end || at[id_length] != ':') return nullptr;
    const char* const number = at + id_length + 1;
    std::uint64_t whole = 0;
    // Most weights are below 1: "0." is taken as it is.
    const bool below_one = end - number >= 2 && number[0] == '0' && number[1] == '.';
    const std::size_t whole_length = below_one ? 1 : detail::digits_of_eight(number, end, whole);
    if (whole_length == 0 || whole_length == 8) return nullptr;
    const char* stop = number + whole_length;
    std::uint64_t fraction = 0;
    std::size_t fraction_length = 0;
    if (stop != end && *stop == '.') {
        fraction_length = detail::digits_of_eight(stop + 1, end, fraction);
        stop += 1 + fraction_length;
        if (fraction_length == 8) {
            // Weights below 0.01 written with six digits run to eight and more.
            std::uint64_t more = 0;
            const std::size_t more_length = detail::digits_of_eight(stop, end, more);
            if (more_length == 8) return nullptr;
            fraction = fraction * scale[more_length] + more;
            fraction_length += more_length;
            stop += more_length;
        }
    }
    if (stop != end && *stop != ',' && *stop != '\n') return nullptr;
    // The digits as one whole number over a power of ten, as to_real reads a
    // plain decimal: where that number is at most 2^53, it and the power of
    // ten are exact doubles and the one division rounds correctly, to the
    // bits strtod gives. Nineteen digits cannot overflow on the way.
    if (whole_length + fraction_length > 19) return nullptr;
    const std::uint64_t all_digits = whole * scale[fraction_length] + fraction;
    if (all_digits > (std::uint64_t{1} << 53)) return nullptr;
    id = static_cast<std::int64_t>(digits);
    weight = static_cast<float>(static_cast<double>(all_digits) / detail::powers_of_ten[fraction_length]);
    return stop;
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

// Counting the bits of a word is one instruction where the processor has it;
// built for both, the program picks at start.
#if defined(__x86_64__) && defined(__ELF__) && (defined(__GNUC__) || defined(__clang__))
#define AT_COUNTS_BITS __attribute__((target_clones("popcnt", "default")))
#else
#define AT_COUNTS_BITS
#endif

// For each word of the presence bitmap, the bits set in the words before it;
// returns the bits set in all.
AT_COUNTS_BITS
std::uint32_t count_set_before(const std::uint64_t* present, std::size_t words, std::uint32_t* set_before) {
    std::uint32_t total = 0;
    for (std::size_t word = 0; word < words; ++word) {
        set_before[word] = total;
        total += static_cast<std::uint32_t>(__builtin_popcountll(present[word]));
    }
    return total;
}

// The rank of each entry's id: the bits set before the id's own in the
// presence bitmap. The ids are `ids`, or the entries' own ranks where that is
// null; each entry's id is read before its rank is written.
AT_COUNTS_BITS
void rank_through_bitmap(const std::uint64_t* ids, std::size_t count, std::uint64_t base,
                         const std::uint64_t* present, const std::uint32_t* set_before, MappedEntry* entries) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t distance = (ids != nullptr ? ids[i] : entries[i].rank) - base;
        const std::uint64_t below = (std::uint64_t{1} << (distance % 64)) - 1;
        entries[i].rank = set_before[distance / 64] +
                          static_cast<std::uint32_t>(__builtin_popcountll(present[distance / 64] & below));
    }
}

unsigned bit_width(std::uint64_t value) { return value == 0 ? 0 : 64 - static_cast<unsigned>(__builtin_clzll(value)); }

}  // namespace

void MappingMatrix::expect_bytes(std::uint64_t bytes) {
    // The matrices we have seen take 15 to 18 bytes per entry, 3 to 6 per
    // OTU name and 50 to 70 per row; these guesses are a little above that.
    // Files of more than 256 MiB are sized as that much: the rest grows as
    // usual.
    const std::uint64_t sized = std::min<std::uint64_t>(bytes, std::uint64_t{256} << 20);
    entries_.reserve(static_cast<std::size_t>(sized / 14));
    keys_.reserve(static_cast<std::size_t>(sized / 8));
    ends_.reserve(static_cast<std::size_t>(sized / 48));
    waiting_.reserve(std::min(rows_at_a_time_, static_cast<std::size_t>(sized / 48)));
}

void MappingMatrix::add_row(std::string_view otu, std::string_view entry_list) {
    begin_row(otu.size());
    add_entries<false>(entry_list.data(), entry_list.data() + entry_list.size());
    end_row(otu);
}

void MappingMatrix::add_lines(std::string_view block) {
    const char* at = block.data();
    const char* const end = at + block.size();
    while (at != end) {
        if (*at == '\n') {
            ++at;
            continue;
        }
        const char* const tab = first_of_in_line(at, end, '\t', '\n');
        if (tab == end || *tab == '\n') {
            // A line without a TAB is both the name and the list.
            const std::string_view line(at, static_cast<std::size_t>(tab - at));
            add_row(line, line);
            at = tab == end ? end : tab + 1;
            continue;
        }
        const std::string_view otu(at, static_cast<std::size_t>(tab - at));
        begin_row(otu.size());
        at = add_entries<true>(tab + 1, end);
        end_row(otu);
    }
}

void MappingMatrix::begin_row(std::size_t name_size) {
    // Rows are numbered in 32 bits, 0 meaning none, and their names placed
    // by 32-bit offsets: 4 billion rows and 4 GiB of names, far beyond any
    // matrix we know of, but never wrapped round.
    constexpr std::size_t most = std::numeric_limits<std::uint32_t>::max();
    if (ends_.size() == most || name_size > most - keys_.size()) {
        index_waiting_rows();
        drop_replaced_rows();
        if (ends_.size() == most) throw std::length_error("the mapping matrix has more than 4294967294 rows");
        if (name_size > most - keys_.size()) {
            throw std::length_error("the OTU names of the mapping matrix take more than 4 GiB");
        }
    }
    row_first_entry_ = entries_.size();
}

// The entries of a list from `at` to `end`, or, to_newline, to the end of
// the line: then returns where the next line begins. One pass over the list
// for the usual entries (plain digits, a colon, a plain decimal); any other
// entry is cut out whole and read the long way.
template <bool to_newline>
const char* MappingMatrix::add_entries(const char* at, const char* const end) {
    while (at != end) {
        if (*at == ',') {
            ++at;
            continue;
        }
        if (to_newline && *at == '\n') return at + 1;
        std::int64_t id = 0;
        float weight = 0.0f;
        const char* stop = usual_entry(at, end, id, weight);
        if (stop == nullptr) {
            if constexpr (to_newline) {
                stop = first_of_in_line(at, end, ',', '\n');
            } else {
                const auto* comma = static_cast<const char*>(std::memchr(at, ',', static_cast<std::size_t>(end - at)));
                stop = comma != nullptr ? comma : end;
            }
            parse_entry(std::string_view(at, static_cast<std::size_t>(stop - at)), id, weight);
        }
        // Past the comma that ends the entry, if any; further commas are
        // passed over at the top of the loop, and the newline ends the line.
        at = stop != end && *stop == ',' ? stop + 1 : stop;
        // An entry after the first counts only in the weighted table, and
        // only with a weight at or above the threshold: one below it (or not
        // a number) can never count, and is not kept.
        if (entries_.size() != row_first_entry_ && !takes_share(weight)) continue;
        // Entries are numbered in 32 bits as well.
        if (entries_.size() == std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("the mapping matrix has more than 4294967295 entries");
        }
        add_entry(id, weight);
    }
    return end;
}

void MappingMatrix::end_row(std::string_view otu) {
    keys_.append(otu);
    ends_.push_back(RowEnds{static_cast<std::uint32_t>(keys_.size()), static_cast<std::uint32_t>(entries_.size())});
    waiting_.push_back(hash_of(otu));
    if (waiting_.size() >= rows_at_a_time_) index_waiting_rows();
}

void MappingMatrix::add_wide_entry(std::int64_t id, float weight) {
    if (!wide_ids_) {
        // The first id of more than 32 bits: from now on ids are kept apart.
        ids_.reserve(entries_.capacity());
        for (const MappedEntry& entry : entries_) ids_.push_back(entry.rank);
        wide_ids_ = true;
    }
    entries_.push_back({0, weight});
    ids_.push_back(static_cast<std::uint64_t>(id));
}

// Enters the waiting rows into the index, in file order, each asking for the
// slot of the row a few rows ahead.
void MappingMatrix::index_waiting_rows() {
    constexpr std::size_t ahead = 16;
    const std::size_t greatest_row = ends_.size() - 1;
    if ((live_rows_ + waiting_.size()) * 2 > slots_.size() || greatest_row > row_mask_) {
        grow_index(live_rows_ + waiting_.size(), greatest_row);
    }
    const std::size_t first = ends_.size() - waiting_.size();
    for (std::size_t i = 0; i < waiting_.size(); ++i) {
        if (i + ahead < waiting_.size()) prefetch_slot(waiting_[i + ahead]);
        const auto row = static_cast<std::uint32_t>(first + i);
        const std::uint64_t hash = waiting_[i];
        std::uint32_t& slot = slots_[slot_of(key_of(row), hash)];
        if (slot == 0) {
            ++live_rows_;
        } else {
            const std::uint32_t old = row_of(slot);
            replaced_bytes_ += sizeof(RowEnds) + key_of(old).size() + entries_of(old).size_bytes();
        }
        slot = tag_of(hash) | row;
    }
    waiting_.clear();
    // What replaced rows hold is dropped once it is as much as the rest, so
    // that memory follows the number of OTUs however often rows repeat.
    const std::size_t held = ends_.size() * sizeof(RowEnds) + keys_.size() + entries_.size() * sizeof(MappedEntry);
    if (replaced_bytes_ > (std::size_t{8} << 10) && replaced_bytes_ > held / 2) drop_replaced_rows();
}

template <class Named>
std::size_t MappingMatrix::probe(std::uint64_t hash, Named named) const {
    const std::uint32_t tag = tag_of(hash);
    for (std::size_t at = position_of(hash);; at = (at + 1) & mask_) {
        const std::uint32_t slot = slots_[at];
        if (slot == 0 || ((slot & ~row_mask_) == tag && named(row_of(slot)))) return at;
    }
}

// Makes the index at most half full with `rows` rows in it, and its slots
// able to number rows up to twice `greatest_row`. The rows already in it are
// placed anew from the hashes of their names, of which the slots keep only
// part.
void MappingMatrix::grow_index(std::size_t rows, std::size_t greatest_row) {
    std::size_t size = slots_.empty() ? 16 : slots_.size();
    while (size / 2 < rows) size *= 2;
    const unsigned row_bits = std::min(32u, bit_width(greatest_row) + 1);
    const std::uint32_t row_mask = row_bits == 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << row_bits) - 1;
    std::vector<std::uint32_t> old_slots(size, 0);
    old_slots.swap(slots_);
    const std::uint32_t old_row_mask = row_mask_;
    mask_ = size - 1;
    row_mask_ = row_mask;
    for (const std::uint32_t slot : old_slots) {
        if (slot == 0) continue;
        const std::uint32_t row = slot & old_row_mask;
        const std::uint64_t hash = hash_of(key_of(row));
        // The names in the index are all different: the first empty slot.
        slots_[probe(hash, [](std::uint32_t) { return false; })] = tag_of(hash) | row;
    }
}

std::size_t MappingMatrix::slot_of(std::string_view otu, std::uint64_t hash) const {
    return probe(hash, [&](std::uint32_t row) { return key_of(row) == otu; });
}

std::uint32_t MappingMatrix::likely_row(std::uint64_t hash) const {
    if (slots_.empty()) return 0;
    return row_of(slots_[probe(hash, [](std::uint32_t) { return true; })]);
}

void MappingMatrix::prefetch_ends(std::uint64_t hash) const {
    const std::uint32_t row = likely_row(hash);
    if (row == 0) return;
    __builtin_prefetch(&ends_[row - 1]);
    __builtin_prefetch(&ends_[row]);
}

void MappingMatrix::prefetch_contents(std::uint64_t hash) const {
    const std::uint32_t row = likely_row(hash);
    if (row == 0) return;
    __builtin_prefetch(keys_.data() + ends_[row - 1].key_end);
    __builtin_prefetch(entries_.data() + ends_[row - 1].entries_end);
}

// Moves the names and entries of the live rows (those a slot holds)
// together, in file order, and numbers the rows anew.
void MappingMatrix::drop_replaced_rows() {
    std::vector<std::uint32_t> renumbered(ends_.size(), 0);
    for (const std::uint32_t slot : slots_) {
        if (slot != 0) renumbered[row_of(slot)] = 1;
    }
    std::string keys;
    std::vector<RowEnds> ends{RowEnds{0, 0}};
    std::vector<MappedEntry> entries;
    std::vector<std::uint64_t> ids;
    ends.reserve(live_rows_ + 1);
    for (std::uint32_t row = 1; row < ends_.size(); ++row) {
        if (renumbered[row] == 0) continue;
        keys.append(key_of(row));
        const std::uint32_t from = ends_[row - 1].entries_end;
        const std::uint32_t to = ends_[row].entries_end;
        entries.insert(entries.end(), entries_.begin() + from, entries_.begin() + to);
        if (wide_ids_) ids.insert(ids.end(), ids_.begin() + from, ids_.begin() + to);
        ends.push_back(RowEnds{static_cast<std::uint32_t>(keys.size()), static_cast<std::uint32_t>(entries.size())});
        renumbered[row] = static_cast<std::uint32_t>(ends.size() - 1);
    }
    for (std::uint32_t& slot : slots_) {
        if (slot != 0) slot = (slot & ~row_mask_) | renumbered[row_of(slot)];
    }
    keys_.swap(keys);
    ends_.swap(ends);
    entries_.swap(entries);
    ids_.swap(ids);
    replaced_bytes_ = 0;
}

void MappingMatrix::finish() {
    index_waiting_rows();
    // Bytes behind the last name, so that a short name can be read in one
    // step of short_name bytes from any row.
    keys_.append(short_name, '\0');
    // No more rows wait: their room goes back to the heap for the ranking.
    std::vector<std::uint64_t>().swap(waiting_);
    distances_by_rank_.clear();
    ids_by_rank_.clear();
    if (entries_.empty()) return;
    // The least and greatest id of every entry read, replaced rows' among
    // them: ranking within a wider span than the live ids need is still right.
    const auto base = static_cast<std::uint64_t>(least_id_);
    const std::uint64_t span = static_cast<std::uint64_t>(most_id_) - base;
    // Ids close together (as reference databases number their sequences)
    // are ranked through a bit per possible id, at most 8 bytes per entry;
    // ids further apart are sorted.
    ranked_base_ = base;
    if (span / 64 < entries_.size()) {
        finish_dense(base, span);
    } else if (bit_width(span) + std::max(1u, bit_width(entries_.size() - 1)) <= 64) {
        finish_sorted(base);
    } else {
        finish_wide();
    }
    std::vector<std::uint64_t>().swap(ids_);
    wide_ids_ = false;
}

// A bit for every id from the least to the greatest, set where an entry has
// it; the rank of an id is the number of bits set before its own.
void MappingMatrix::finish_dense(std::uint64_t base, std::uint64_t span) {
    const std::size_t words = static_cast<std::size_t>(span / 64) + 1;
    std::vector<std::uint64_t> present(words);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        set_bit(present.data(), id_at(i) - base);
    }
    std::vector<std::uint32_t> set_before(words);
    const std::uint32_t total = count_set_before(present.data(), words, set_before.data());
    if (span <= std::numeric_limits<std::uint32_t>::max()) {
        distances_by_rank_.resize(std::size_t{total} + 3);
        write_set_positions(present.data(), words, set_before.data(), distances_by_rank_.data());
        distances_by_rank_.resize(total);
    } else {
        ids_by_rank_.resize(std::size_t{total} + 3);
        write_set_positions(present.data(), words, set_before.data(), ids_by_rank_.data());
        ids_by_rank_.resize(total);
        for (std::int64_t& id : ids_by_rank_) id = static_cast<std::int64_t>(base + static_cast<std::uint64_t>(id));
    }
    rank_through_bitmap(wide_ids_ ? ids_.data() : nullptr, entries_.size(), base, present.data(), set_before.data(),
                        entries_.data());
}

// Each id becomes one 64-bit sort key: its distance from the least id above
// the bits of its entry's position. Sorting these keys sorts the entries by
// id, and each key still tells which entry it came from.
void MappingMatrix::finish_sorted(std::uint64_t base) {
    const unsigned position_bits = std::max(1u, bit_width(entries_.size() - 1));
    const std::uint64_t position_mask = (std::uint64_t{1} << position_bits) - 1;
    std::vector<std::uint64_t> keys(entries_.size());
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = (id_at(i) - base) << position_bits | i;
    radix_sort(keys);
    const bool near = keys.empty() || (keys.back() >> position_bits) <= std::numeric_limits<std::uint32_t>::max();
    std::uint64_t previous = 0;
    std::size_t ranks = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::uint64_t distance = keys[i] >> position_bits;
        if (i == 0 || distance != previous) {
            if (near) {
                distances_by_rank_.push_back(static_cast<std::uint32_t>(distance));
            } else {
                ids_by_rank_.push_back(static_cast<std::int64_t>(base + distance));
            }
            previous = distance;
            ++ranks;
        }
        entries_[keys[i] & position_mask].rank = static_cast<std::uint32_t>(ranks - 1);
    }
}

// Ids spread so far apart that distance and position do not fit in 64 bits
// (ids near both ends of the range): sorted as pairs instead.
void MappingMatrix::finish_wide() {
    std::vector<std::pair<std::int64_t, std::uint32_t>> pairs(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        pairs[i] = {static_cast<std::int64_t>(id_at(i)), static_cast<std::uint32_t>(i)};
    }
    std::sort(pairs.begin(), pairs.end());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i == 0 || pairs[i].first != pairs[i - 1].first) ids_by_rank_.push_back(pairs[i].first);
        entries_[pairs[i].second].rank = static_cast<std::uint32_t>(ids_by_rank_.size() - 1);
    }
}

std::span<const MappedEntry> MappingMatrix::row_of_short_name(const char* name, std::size_t size,
                                                             std::uint64_t hash) const {
    if (slots_.empty()) return {};
    const std::uint32_t slot = slots_[probe(hash, [&](std::uint32_t row) {
        const std::uint32_t start = ends_[row - 1].key_end;
        if (ends_[row].key_end - start != size) return false;
#if defined(__SSE2__)
        static_assert(short_name == 16);
        const __m128i wanted = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name));
        const __m128i held = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys_.data() + start));
        const auto same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(wanted, held)));
        return (~same & ((1u << size) - 1)) == 0;
#else
        return std::memcmp(keys_.data() + start, name, size) == 0;
#endif
    })];
    if (slot == 0) return {};
    return entries_of(row_of(slot));
}

void MappingMatrix::forget_rows() {
    std::string().swap(keys_);
    std::vector<RowEnds>{RowEnds{0, 0}}.swap(ends_);
    std::vector<std::uint32_t>().swap(slots_);
    mask_ = 0;
    row_mask_ = 0;
    live_rows_ = 0;
    std::vector<std::uint64_t>().swap(waiting_);
    std::vector<MappedEntry>().swap(entries_);
    std::vector<std::uint64_t>().swap(ids_);
    replaced_bytes_ = 0;
}

std::span<const MappedEntry> MappingMatrix::row(std::string_view otu, std::uint64_t hash) const {
    if (slots_.empty()) return {};
    const std::uint32_t slot = slots_[slot_of(otu, hash)];
    if (slot == 0) return {};
    return entries_of(row_of(slot));
}

void read_matrix(LineReader& reader, MappingMatrix& matrix) {
    std::string_view block;
    while (reader.next_block(block)) matrix.add_lines(block);
    matrix.finish();
}

namespace {

// Rows of the abundance table waiting for their matrix rows.
class AbundanceBatch {
public:
    static constexpr std::size_t size = 64;

    AbundanceBatch(const MappingMatrix& matrix, MapBack& map_back) : matrix_(matrix), map_back_(map_back) {}

    // Takes a row whose OTU name is part of a line from a LineReader: a
    // short name is copied as a fixed sixteen bytes, which may be read past
    // its end, instead of by its length.
    void add(std::string_view otu, std::int64_t count) {
        static_assert(LineReader::readable_past_line >= sizeof(Row::short_key));
        Row& row = rows_[count_++];
        row.key_size = otu.size();
        if (otu.size() <= sizeof row.short_key) {
            std::memcpy(row.short_key, otu.data(), sizeof row.short_key);
        } else {
            row.key_start = keys_.size();
            keys_.append(otu);
        }
        row.count = count;
        // The matrix is never asked for "unassigned", whatever rows it has.
        row.unassigned = otu == unassigned_key;
        row.hash = MappingMatrix::hash_of(otu);
        matrix_.prefetch_slot(row.hash);
        if (count_ == size) flush();
    }

    // Each step asks for what the next one reads, for all rows of the batch
    // at once. The credits of a batch are asked for while the previous batch
    // is credited, so that they have a whole batch's time to arrive; rows are
    // credited in file order.
    void flush() {
        for (std::size_t i = 0; i < count_; ++i) matrix_.prefetch_ends(rows_[i].hash);
        for (std::size_t i = 0; i < count_; ++i) matrix_.prefetch_contents(rows_[i].hash);
        for (std::size_t i = 0; i < count_; ++i) {
            Row& row = rows_[i];
            if (row.unassigned) {
                row.entries = {};
            } else if (row.key_size <= sizeof row.short_key) {
                row.entries = matrix_.row_of_short_name(row.short_key, row.key_size, row.hash);
            } else {
                row.entries = matrix_.row(key_of(row), row.hash);
            }
        }
        credit_ready();
        for (std::size_t i = 0; i < count_; ++i) {
            for (const MappedEntry& mapped : rows_[i].entries) __builtin_prefetch(&map_back_.weighted[mapped.rank]);
            if (!rows_[i].entries.empty()) __builtin_prefetch(&map_back_.first_match[rows_[i].entries.front().rank]);
            ready_[i] = Ready{rows_[i].entries, rows_[i].count};
        }
        ready_count_ = count_;
        count_ = 0;
        keys_.clear();
    }

    // Credits every row added; call after the last one.
    void finish() {
        flush();
        credit_ready();
    }

private:
    struct Row {
        // The name itself when it is short, else where it is in keys_.
        char short_key[MappingMatrix::short_name];
        std::size_t key_start;
        std::size_t key_size;
        std::int64_t count;
        std::uint64_t hash;
        bool unassigned;
        std::span<const MappedEntry> entries;
    };
    // A row whose matrix row has been found: empty for "unassigned" and for
    // an OTU without a row.
    struct Ready {
        std::span<const MappedEntry> entries;
        std::int64_t count;
    };

    // The totals are kept in locals while a batch is credited: held in the
    // MapBack, each would be stored and loaded again around every credit,
    // which might alias them.
    void credit_ready() {
        std::int64_t* const first_match = map_back_.first_match.data();
        float* const weighted = map_back_.weighted.data();
        std::uint64_t* const first_credited = map_back_.first_credited.data();
        std::uint64_t* const weighted_credited = map_back_.weighted_credited.data();
        std::int64_t unassigned = map_back_.unassigned;
        float grand_total = map_back_.grand_total;
        for (std::size_t i = 0; i < ready_count_; ++i) {
            const Ready& row = ready_[i];
            const float single_count = static_cast<float>(row.count);
            if (row.entries.empty()) {
                unassigned = add_counts(unassigned, row.count);
                grand_total += single_count;
                continue;
            }
            // The whole count goes to the first reference id, whatever its weight.
            const std::uint32_t first = row.entries.front().rank;
            first_match[first] = add_counts(first_match[first], row.count);
            set_bit(first_credited, first);

            for (const MappedEntry& mapped : row.entries) {
                if (!takes_share(mapped.weight)) continue;
                const float share = mapped.weight * single_count;
                weighted[mapped.rank] += share;
                set_bit(weighted_credited, mapped.rank);
                grand_total += share;
            }
        }
        map_back_.unassigned = unassigned;
        map_back_.grand_total = grand_total;
        ready_count_ = 0;
    }

    std::string_view key_of(const Row& row) const {
        if (row.key_size <= sizeof row.short_key) return std::string_view(row.short_key, row.key_size);
        return std::string_view(keys_).substr(row.key_start, row.key_size);
    }

    const MappingMatrix& matrix_;
    MapBack& map_back_;
    std::string keys_;
    Row rows_[size];
    std::size_t count_ = 0;
    Ready ready_[size];
    std::size_t ready_count_ = 0;
};

}  // namespace

void MapBack::reset(std::size_t ranks) {
    first_match.assign(ranks, 0);
    weighted.assign(ranks, -0.0f);
    first_credited.assign((ranks + 63) / 64, 0);
    weighted_credited.assign((ranks + 63) / 64, 0);
    unassigned = 0;
    grand_total = 0.0f;
}

void read_abundance(LineReader& reader, const MappingMatrix& matrix, MapBack& map_back) {
    map_back.reset(matrix.reference_count());
    AbundanceBatch batch(matrix, map_back);
    std::string_view line;
    while (reader.next(line)) {
        const TwoColumnRow row = split_row_in_line(line);
        batch.add(row.key, to_whole_in_line(row.value));
    }
    batch.finish();
}

void write_tables(const MappingMatrix& matrix, const MapBack& map_back, OutputSet& outputs) {
    const std::size_t words = (map_back.weighted.size() + 63) / 64;

    TextSink& one = outputs.create("otu_reflowONE.txt");
    for_each_set_bit(map_back.first_credited.data(), words, [&](std::uint64_t rank) {
        one.row(matrix.reference_id(static_cast<std::uint32_t>(rank)), map_back.first_match[rank]);
    });
    one.row(unassigned_key, map_back.unassigned);

    TextSink& many = outputs.create("otu_reflowMANY.txt");
    for_each_set_bit(map_back.weighted_credited.data(), words, [&](std::uint64_t rank) {
        // Division first, then the scaling to percent, both in single precision.
        const float percentage = (map_back.weighted[rank] / map_back.grand_total) * 100.0f;
        many.row(matrix.reference_id(static_cast<std::uint32_t>(rank)), percentage);
    });
    const double unassigned_percentage =
        static_cast<double>(map_back.unassigned) / static_cast<double>(map_back.grand_total) * 100.0;
    many.row(unassigned_key, static_cast<float>(unassigned_percentage));
}

}  // namespace at::refspread
