#include "readtally/readtally.hpp"

#include <cstring>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "readtally/classification.hpp"

namespace at::readtally {

namespace c = classification;

namespace {

constexpr std::string_view unclassified_marker = "unclassified";
// What the classifier writes for a read it could not place even in a kingdom.
constexpr std::string_view unplaced_label = "unknown";

// The rank table a rank letter counts in, or rank_count for none (the kingdom
// among them).
constexpr std::size_t rank_of(char rank_letter) {
    switch (rank_letter) {
        case 'p': return phylum;
        case 'c': return class_;
        case 'o': return order;
        case 'f': return family;
        case 'g': return genus;
        case 's': return species;
        case 'u': return otu;
        default: return rank_count;
    }
}

// Hands on the rank keys of one line's kept tokens (or one key's labels), in
// order: the taxon name, and for a species the line's current genus, a space
// and the species name. The current genus is the last genus kept before it on
// the same line. `count(rank, key)` is called for each.
template <class Count>
class RankKeys {
public:
    explicit RankKeys(Count count) : count_(std::move(count)) {}

    // A new line (or key): no genus is current.
    void start_line() { current_genus_.clear(); }

    void take(char rank_letter, std::string_view taxon_name) { count(rank_letter, taxon_name, true); }

    // The last label of a key: counted like any other, but the current genus
    // stays that of the labels before it, for the next key that shares them.
    void take_last(char rank_letter, std::string_view taxon_name) { count(rank_letter, taxon_name, false); }

private:
    void count(char rank_letter, std::string_view taxon_name, bool sets_genus) {
        const std::size_t rank = rank_of(rank_letter);
        if (rank == rank_count) return;
        if (rank == genus && sets_genus) current_genus_.assign(taxon_name);
        if (rank == species) {
            species_key_.assign(current_genus_);
            species_key_ += ' ';
            species_key_ += taxon_name;
            count_(rank, std::string_view(species_key_));
            return;
        }
        count_(rank, taxon_name);
    }

    Count count_;
    std::string current_genus_;
    std::string species_key_;
};

// Whether a lineage holds "unclassified" anywhere. Candidates are found 16
// places at a time by the letters at offsets 0, 2 and 11 of the word, then
// confirmed; this replaces a library search that stops at every "u".
bool holds_marker(std::string_view text) {
    const std::size_t size = text.size();
    const char* const bytes = text.data();
    std::size_t at = 0;
#if defined(__SSE2__)
    constexpr std::size_t last_offset = 11;
    const __m128i letter_u = _mm_set1_epi8('u');
    const __m128i letter_c = _mm_set1_epi8('c');
    const __m128i letter_d = _mm_set1_epi8('d');
    for (; at + 16 + last_offset <= size; at += 16) {
        const auto load = [&](std::size_t offset) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + offset));
        };
        const __m128i candidates = _mm_and_si128(
            _mm_and_si128(_mm_cmpeq_epi8(load(0), letter_u), _mm_cmpeq_epi8(load(2), letter_c)),
            _mm_cmpeq_epi8(load(last_offset), letter_d));
        for (unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(candidates)); bits != 0; bits &= bits - 1) {
            const std::size_t start = at + static_cast<std::size_t>(__builtin_ctz(bits));
            if (std::memcmp(bytes + start, unclassified_marker.data(), unclassified_marker.size()) == 0) return true;
        }
    }
#endif
    return text.substr(at).find(unclassified_marker) != std::string_view::npos;
}

}  // namespace

void read_classification(LineReader& reader, Tally& tally) {
    // Lines whose rank counts follow from their key, and lines counted into
    // the rank tables as they were read.
    enum LineKind : unsigned { regular, irregular };
    BatchedUpdates lineage_counts(tally.lineages, [](LineageCount& counted, unsigned kind) {
        ++(kind == regular ? counted.regular : counted.irregular);
    });
    // The key is built in a plain buffer: it is never longer than the lineage
    // plus the ";" that closes its last label.
    std::string key_buffer;
    std::string_view line;
    while (reader.next(line)) {
        ++tally.line_count;
        const std::string_view lineage = c::lineage_of(line);
        if (key_buffer.size() < lineage.size() + 1) key_buffer.resize(lineage.size() + 1);
        char* const key_start = key_buffer.data();
        char* key_end = key_start;
        // Where the last label kept starts: the key's head is what stands before.
        char* last_label = key_start;
        // Most lines of a well-classified run hold no marker: test once per line.
        const bool may_hold_marker = holds_marker(lineage);
        bool names_outside_key = false;
        c::Tokens tokens(lineage);
        std::string_view token;
        while (tokens.next(token)) {
            if (may_hold_marker && token.find(unclassified_marker) != std::string_view::npos) continue;
            const std::string_view label = c::taxon_label(token, tokens.first_paren());
            if (label == unplaced_label) continue;
            last_label = key_end;
            std::memcpy(key_end, label.data(), label.size());
            key_end += label.size();
            *key_end++ = ';';
            if (c::has_taxon_name(token) && label.size() < c::name_offset) names_outside_key = true;
        }
        const std::string_view full_lineage_key(key_start, static_cast<std::size_t>(key_end - key_start));
        lineage_counts.add(full_lineage_key, static_cast<std::size_t>(last_label - key_start),
                           names_outside_key ? irregular : regular);
        if (!names_outside_key) continue;
        RankKeys ranks([&tally](std::size_t rank, std::string_view key) { ++tally.irregular_ranks[rank][key]; });
        c::Tokens again(lineage);
        while (again.next(token)) {
            if (may_hold_marker && token.find(unclassified_marker) != std::string_view::npos) continue;
            const std::size_t paren = again.first_paren();
            if (c::taxon_label(token, paren) == unplaced_label || !c::has_taxon_name(token)) continue;
            ranks.take(c::rank_letter(token), c::taxon_name(token, paren));
        }
    }
    lineage_counts.flush();
}

namespace {

// The unassigned row closing a rank table: the lines that counted in none
// of its taxa.
void write_unassigned(TextSink& out, std::int64_t line_count, std::int64_t counted) {
    out.row("unassigned", line_count - counted);
}

// The counts of the ranks from species to phylum, which hold few taxa. Keys
// come from lineage heads walked in byte order, where heads that share a taxon
// follow one another: the lines of a run of the same key are summed first
// and added to the table once.
class RankCounts {
public:
    explicit RankCounts(const Tally& tally) {
        for (std::size_t rank = species; rank < rank_count; ++rank) {
            for (const auto& [name, count] : tally.irregular_ranks[rank]) add(rank, name, count);
        }
    }

    void add(std::size_t rank, std::string_view key, std::int64_t lines) {
        const std::size_t at = rank - species;
        Run& run = runs_[at];
        if (run.open && run.key == key) {
            run.lines += lines;
            return;
        }
        if (run.open) batches_[at].add(run.key, run.lines);
        run.key.assign(key);
        run.lines = lines;
        run.open = true;
    }

    // Writes the table of a rank; after the last add().
    void write(std::size_t rank, TextSink& out, std::int64_t line_count) {
        const std::size_t at = rank - species;
        Run& run = runs_[at];
        if (run.open) batches_[at].add(run.key, run.lines);
        run.open = false;
        batches_[at].flush();
        const auto rows = sorted_entries(tables_[at]);
        std::int64_t counted = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            prefetch_ahead(rows, i);
            out.row(rows[i]->first, rows[i]->second);
            counted += rows[i]->second;
        }
        write_unassigned(out, line_count, counted);
    }

private:
    struct Run {
        std::string key;
        std::int64_t lines = 0;
        bool open = false;
    };
    static void add_lines(std::int64_t& count, std::int64_t lines) { count += lines; }
    using Batch = BatchedUpdates<StringMap<std::int64_t>, decltype(&add_lines), std::int64_t>;

    // Per rank from species (at 0) to phylum.
    static constexpr std::size_t counted_ranks = rank_count - species;
    std::array<StringMap<std::int64_t>, counted_ranks> tables_;
    std::array<Batch, counted_ranks> batches_ = make_batches(std::make_index_sequence<counted_ranks>());
    std::array<Run, counted_ranks> runs_;

    template <std::size_t... at>
    std::array<Batch, counted_ranks> make_batches(std::index_sequence<at...>) {
        return {Batch(tables_[at], &add_lines)...};
    }
};

// The OTU counts. OTUs are about as many as the lineages, so instead of a
// table their names (which stay in the lineage keys) are listed with their
// lines, sorted once, and equal names added up as they are written.
class OtuCounts {
public:
    explicit OtuCounts(const Tally& tally) {
        // Most lineages name one OTU: room for that many, so that the list
        // does not grow by copies as long as the lineage table.
        names_.reserve(tally.lineages.size() + tally.irregular_ranks[otu].size());
        for (const auto& [name, count] : tally.irregular_ranks[otu]) add(name, count);
    }

    void add(std::string_view name, std::int64_t lines) { names_.push_back({{0, name.data(), name.size()}, lines}); }

    void write(TextSink& out, std::int64_t line_count) {
        sort_keys(names_);
        std::int64_t counted = 0;
        for (std::size_t i = 0; i < names_.size();) {
            const std::string_view name(names_[i].data, names_[i].size);
            std::int64_t lines = 0;
            for (; i < names_.size() && std::string_view(names_[i].data, names_[i].size) == name; ++i) {
                // The names stand in the lineage keys, scattered through
                // memory: each is asked for a few places ahead.
                if (i + 8 < names_.size()) __builtin_prefetch(names_[i + 8].data);
                lines += names_[i].lines;
            }
            out.row(name, lines);
            counted += lines;
        }
        write_unassigned(out, line_count, counted);
    }

private:
    struct NameLines : SortKey {
        std::int64_t lines;
    };
    std::vector<NameLines> names_;
};

// The lineage keys by their heads, every label but the last, and tails, the
// last. The million lineages of a large run share a few thousand heads (the
// taxa down to the species), so the rank counts of a head are taken once for
// all its keys, and the keys are put in byte order by sorting the heads and,
// per head, its tails, which are few and short.
class LineageGroups {
public:
    using Lineages = SplitKeyMap<LineageCount>;
    using Lineage = Lineages::Entry;

    explicit LineageGroups(const Lineages& lineages)
        : groups_(lineages, [](const Lineage& lineage) {
              const std::string_view tail = Lineages::tail(lineage);
              return SortKey{0, tail.data(), tail.size()};
          }) {
        // The tails of each head in byte order.
        std::vector<SortKey>& keys = groups_.items();
        for (const Head& head : groups_.groups()) sort_keys(keys.data() + head.first, keys.data() + head.last);
    }

    // Calls `take(text, first, last)` for each head in byte order, with the
    // numbers of the keys that have it (lineage() and tail() of each).
    template <class Take>
    void each_head(Take take) const {
        for (const Head& head : groups_.groups()) take(head.head, head.first, head.last);
    }

    const Lineage& lineage(std::size_t key) const { return *lineage_of(keys()[key]); }
    std::string_view tail(std::size_t key) const { return std::string_view(keys()[key].data, keys()[key].size); }
    // Asks for the lineage entry of a key a few places ahead.
    void prefetch(std::size_t key) const {
        if (key + 8 < keys().size()) prefetch_record(lineage_of(keys()[key + 8]));
    }

    // Calls `emit(head, lineage)` for every lineage, in byte order of the
    // keys. A head that stands at the start of later heads is open while they
    // are walked: its keys whose tail comes before (or is) the label that
    // leads to the later head come first, the rest after all keys under it.
    template <class Emit>
    void in_byte_order(Emit emit) const {
        // Of each open head, `first` is its next key still to come.
        std::vector<Head> open;
        const auto emit_through = [&](Head& from, std::string_view label) {
            for (; from.first < from.last && tail(from.first) <= label; ++from.first) {
                prefetch(from.first);
                emit(from.head, lineage(from.first));
            }
        };
        const auto close = [&] {
            Head& last = open.back();
            for (; last.first < last.last; ++last.first) {
                prefetch(last.first);
                emit(last.head, lineage(last.first));
            }
            open.pop_back();
        };
        for (const Head& head : groups_.groups()) {
            while (!open.empty() && !head.head.starts_with(open.back().head)) close();
            if (!open.empty()) {
                // The labels never hold ";": the label after the open head
                // decides, as it would for the whole keys.
                const std::string_view rest = head.head.substr(open.back().head.size());
                emit_through(open.back(), rest.substr(0, rest.find(';') + 1));
            }
            open.push_back(head);
        }
        while (!open.empty()) close();
    }

private:
    using Head = HeadGroups<LineageCount, SortKey>::Group;

    static const Lineage* lineage_of(const SortKey& key) { return Lineages::entry_of_tail(key.data); }

    const std::vector<SortKey>& keys() const { return groups_.items(); }

    HeadGroups<LineageCount, SortKey> groups_;
};

// Hands each label of three characters or more (a rank letter, "__" and the
// taxon name) to the rank keys.
template <class Keys>
void take_labels(Keys& keys, std::string_view labels) {
    while (!labels.empty()) {
        const auto end = labels.find(';');
        const std::string_view label = labels.substr(0, end);
        labels.remove_prefix(end + 1);
        if (label.size() >= c::name_offset) keys.take(label.front(), label.substr(c::name_offset));
    }
}

}  // namespace

void write_tables(const Tally& tally, OutputSet& outputs) {
    static constexpr std::array<std::string_view, rank_count> file_names = {
        "otu.txt", "species.txt", "genus.txt", "family.txt", "order.txt", "class.txt", "phylum.txt"};
    std::array<TextSink*, rank_count> rank_files{};
    for (std::size_t rank = 0; rank < rank_count; ++rank) rank_files[rank] = &outputs.create(file_names[rank]);
    TextSink& lineage_file = outputs.create("fullLineage.txt");

    const LineageGroups groups(tally.lineages);
    groups.in_byte_order([&lineage_file](std::string_view head, const LineageGroups::Lineage& lineage) {
        lineage_file.write(head);
        lineage_file.row(LineageGroups::Lineages::tail(lineage), lineage.second.regular + lineage.second.irregular);
    });

    // The rank counts of the regular lines follow from their keys: a head's
    // labels are taken once with the lines of all its keys, then each key's
    // last label with its own.
    RankCounts ranks(tally);
    OtuCounts otus(tally);
    std::int64_t lines = 0;
    RankKeys keys([&](std::size_t rank, std::string_view rank_key) {
        if (rank == otu) {
            otus.add(rank_key, lines);
        } else {
            ranks.add(rank, rank_key, lines);
        }
    });
    groups.each_head([&](std::string_view head, std::size_t first, std::size_t last) {
        std::int64_t regular = 0;
        for (std::size_t key = first; key < last; ++key) {
            groups.prefetch(key);
            regular += groups.lineage(key).second.regular;
        }
        if (regular == 0) return;
        lines = regular;
        keys.start_line();
        take_labels(keys, head);
        for (std::size_t key = first; key < last; ++key) {
            lines = groups.lineage(key).second.regular;
            const std::string_view tail = groups.tail(key);
            if (lines == 0 || tail.size() < c::name_offset + 1) continue;
            keys.take_last(tail.front(), tail.substr(c::name_offset, tail.size() - 1 - c::name_offset));
        }
    });

    otus.write(*rank_files[otu], tally.line_count);
    for (std::size_t rank = species; rank < rank_count; ++rank) ranks.write(rank, *rank_files[rank], tally.line_count);
}

}  // namespace at::readtally
