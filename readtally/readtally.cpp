#include "readtally/readtally.hpp"

#include <cstring>
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

    void take(char rank_letter, std::string_view taxon_name) {
        const std::size_t rank = rank_of(rank_letter);
        if (rank == rank_count) return;
        if (rank == genus) current_genus_.assign(taxon_name);
        if (rank == species) {
            species_key_.assign(current_genus_);
            species_key_ += ' ';
            species_key_ += taxon_name;
            count_(rank, std::string_view(species_key_));
            return;
        }
        count_(rank, taxon_name);
    }

private:
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
        // Most lines of a well-classified run hold no marker: test once per line.
        const bool may_hold_marker = holds_marker(lineage);
        bool names_outside_key = false;
        c::Tokens tokens(lineage);
        std::string_view token;
        while (tokens.next(token)) {
            if (may_hold_marker && token.find(unclassified_marker) != std::string_view::npos) continue;
            const std::string_view label = c::taxon_label(token, tokens.first_paren());
            if (label == unplaced_label) continue;
            std::memcpy(key_end, label.data(), label.size());
            key_end += label.size();
            *key_end++ = ';';
            if (c::has_taxon_name(token) && label.size() < c::name_offset) names_outside_key = true;
        }
        const std::string_view full_lineage_key(key_start, static_cast<std::size_t>(key_end - key_start));
        lineage_counts.add(full_lineage_key, names_outside_key ? irregular : regular);
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

void write_tables(const Tally& tally, OutputSet& outputs) {
    static constexpr std::array<std::string_view, rank_count> file_names = {
        "otu.txt", "species.txt", "genus.txt", "family.txt", "order.txt", "class.txt", "phylum.txt"};
    std::array<TextSink*, rank_count> rank_files{};
    for (std::size_t rank = 0; rank < rank_count; ++rank) rank_files[rank] = &outputs.create(file_names[rank]);
    TextSink& lineage_file = outputs.create("fullLineage.txt");

    // Rank counts of the regular lines follow from their keys: each label of
    // three characters or more is a rank letter, "__" and the taxon name.
    // The ranks above the OTU hold few taxa and are counted in tables. OTUs
    // are about as many as the lineages: their names (which stay in the
    // lineage keys) are listed with their lines, sorted once, and equal
    // names added up as they are written.
    std::array<StringMap<std::int64_t>, rank_count> ranks;
    const auto add = [](std::int64_t& count, std::int64_t lines) { count += lines; };
    std::vector<BatchedUpdates<std::int64_t, decltype(add), std::int64_t>> rank_counts;
    rank_counts.reserve(rank_count);
    for (std::size_t rank = 0; rank < rank_count; ++rank) {
        rank_counts.emplace_back(ranks[rank], add);
        if (rank == otu) continue;
        for (const auto& [name, count] : tally.irregular_ranks[rank]) rank_counts[rank].add(name, count);
    }
    struct OtuLines {
        std::uint64_t chunk;
        const char* data;
        std::size_t size;
        std::int64_t lines;
    };
    std::vector<OtuLines> otu_lines;
    // Most lineages name one OTU: room for that many, so that the list does
    // not grow by copies as long as the lineage table.
    otu_lines.reserve(tally.lineages.size() + tally.irregular_ranks[otu].size());
    for (const auto& [name, count] : tally.irregular_ranks[otu]) otu_lines.push_back({0, name.data(), name.size(), count});
    // The lineages are walked once, in byte order: each is written to
    // fullLineage.txt and its rank keys are counted. In this order lineages
    // that share a taxon follow one another, so the lines of a run of the
    // same rank key are summed first and added to the table once.
    struct Run {
        std::string key;
        std::int64_t lines = 0;
        bool open = false;
    };
    std::array<Run, rank_count> runs;
    std::int64_t lines = 0;
    RankKeys keys([&](std::size_t rank, std::string_view rank_key) {
        if (rank == otu) {
            otu_lines.push_back({0, rank_key.data(), rank_key.size(), lines});
            return;
        }
        Run& run = runs[rank];
        if (run.open && run.key == rank_key) {
            run.lines += lines;
            return;
        }
        if (run.open) rank_counts[rank].add(run.key, run.lines);
        run.key.assign(rank_key);
        run.lines = lines;
        run.open = true;
    });
    const auto lineages = sorted_entries(tally.lineages);
    for (std::size_t i = 0; i < lineages.size(); ++i) {
        prefetch_ahead(lineages, i);
        const auto& [key, counted] = *lineages[i];
        lineage_file.row(key, counted.regular + counted.irregular);
        if (counted.regular == 0) continue;
        lines = counted.regular;
        keys.start_line();
        std::string_view rest = key;
        while (!rest.empty()) {
            const auto end = rest.find(';');
            const std::string_view label = rest.substr(0, end);
            rest.remove_prefix(end + 1);
            if (label.size() >= c::name_offset) keys.take(label.front(), label.substr(c::name_offset));
        }
    }
    for (std::size_t rank = 0; rank < rank_count; ++rank) {
        if (runs[rank].open) rank_counts[rank].add(runs[rank].key, runs[rank].lines);
        rank_counts[rank].flush();
    }

    sort_keys(otu_lines);
    std::int64_t otus_counted = 0;
    for (std::size_t i = 0; i < otu_lines.size();) {
        const std::string_view name(otu_lines[i].data, otu_lines[i].size);
        std::int64_t lines_of_name = 0;
        for (; i < otu_lines.size() && std::string_view(otu_lines[i].data, otu_lines[i].size) == name; ++i) {
            lines_of_name += otu_lines[i].lines;
        }
        rank_files[otu]->row(name, lines_of_name);
        otus_counted += lines_of_name;
    }
    rank_files[otu]->row("unassigned", tally.line_count - otus_counted);

    for (std::size_t rank = 0; rank < rank_count; ++rank) {
        if (rank == otu) continue;
        const auto rows = sorted_entries(ranks[rank]);
        std::int64_t counted = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            prefetch_ahead(rows, i);
            rank_files[rank]->row(rows[i]->first, rows[i]->second);
            counted += rows[i]->second;
        }
        rank_files[rank]->row("unassigned", tally.line_count - counted);
    }
}

}  // namespace at::readtally
