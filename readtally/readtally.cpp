#include "readtally/readtally.hpp"

#include <array>
#include <cstdint>
#include <string>

#include "common/fast/flat_map.hpp"
#include "common/taxonomy/classification.hpp"
#include "common/taxonomy/ranks.hpp"

namespace at::readtally {

namespace {

using taxonomy::Rank;
using taxonomy::Token;
using Counts = fast::FlatMap<std::int64_t>;

// The rank tables, in the order their files are written.
constexpr std::array<Rank, 7> table_ranks = {Rank::otu,   Rank::species, Rank::genus, Rank::family,
                                             Rank::order, Rank::class_,  Rank::phylum};

constexpr std::size_t no_table = table_ranks.size();

std::size_t table_of(char rank_letter) {
    const auto rank = taxonomy::rank_of(rank_letter);
    for (std::size_t table = 0; rank && table < table_ranks.size(); ++table) {
        if (table_ranks[table] == *rank) return table;
    }
    return no_table;  // the kingdom, and tokens that name no rank
}

// A line keeps its tokens but the classifier's markers for a rank it left
// unassigned (a token that holds "unclassified" anywhere) and its label for
// a read it placed nowhere. `may_hold_marker` is false for a line that holds
// no marker at all, which most lines of a run do not.
bool is_kept(const Token& token, bool may_hold_marker) {
    if (may_hold_marker && token.holds_unclassified_marker()) return false;
    return token.label() != taxonomy::unplaced_label;
}

// What lines count in the tables.
class Tables {
public:
    // Counts `lines` lines that kept the tokens of `kept_taxa` (each cut
    // after its taxon name and followed by ";"): each kept token's rank key,
    // and the line's full-lineage key, the labels of its kept tokens each
    // followed by ";".
    void count(std::string_view kept_taxa, std::int64_t lines) {
        full_lineage_key_.clear();
        current_genus_.clear();
        taxonomy::Tokens tokens(kept_taxa);
        Token token;
        while (tokens.next(token)) {
            full_lineage_key_ += token.label();
            full_lineage_key_ += ';';
            if (!token.has_name()) continue;  // too short to name a taxon
            const std::size_t table = table_of(token.rank_letter());
            if (table == no_table) continue;
            const std::string_view name = token.name();
            if (table_ranks[table] == Rank::genus) current_genus_.assign(name);
            if (table_ranks[table] == Rank::species) {
                taxonomy::make_species_key(species_key_, current_genus_, name);
                ranks_[table][species_key_] += lines;
            } else {
                ranks_[table][name] += lines;
            }
        }
        full_lineages_[full_lineage_key_] += lines;
    }

    // The rank tables, each closed by its unassigned row: the lines that
    // counted in none of its keys; then the full-lineage table.
    void write(OutputSet& outputs, std::int64_t line_count) const {
        for (std::size_t table = 0; table < table_ranks.size(); ++table) {
            TextSink& out = outputs.create(taxonomy::table_file(table_ranks[table]));
            std::int64_t counted = 0;
            for (const auto* entry : fast::sorted_entries(ranks_[table])) {
                out.row(entry->key, entry->value);
                counted += entry->value;
            }
            out.row(taxonomy::unassigned_key, line_count - counted);
        }
        TextSink& out = outputs.create(taxonomy::full_lineage_file);
        for (const auto* entry : fast::sorted_entries(full_lineages_)) out.row(entry->key, entry->value);
    }

private:
    std::array<Counts, table_ranks.size()> ranks_;
    Counts full_lineages_;
    std::string full_lineage_key_;
    // The last genus kept before on the line, and a species key made of it.
    std::string current_genus_;
    std::string species_key_;
};

}  // namespace

void tally(LineReader& classification, OutputSet& outputs) {
    std::int64_t line_count = 0;
    // Lines that keep the same tokens, each cut after its taxon name, count
    // the same: each such text is kept once, with the number of its lines,
    // and counted in the tables at the end. Confidences differ from line to
    // line, so they are cut off first.
    Counts lines_by_kept_taxa;
    std::string kept_taxa;
    std::string_view line;
    while (classification.next(line)) {
        ++line_count;
        const std::string_view lineage = taxonomy::lineage_of(line);
        const bool may_hold_marker = lineage.find(taxonomy::unclassified_marker) != std::string_view::npos;
        kept_taxa.clear();
        taxonomy::Tokens tokens(lineage);
        Token token;
        while (tokens.next(token)) {
            if (!is_kept(token, may_hold_marker)) continue;
            kept_taxa += token.through_name();
            kept_taxa += ';';
        }
        ++lines_by_kept_taxa[kept_taxa];
    }

    Tables tables;
    for (const auto& [kept, lines] : lines_by_kept_taxa) tables.count(kept, lines);
    tables.write(outputs, line_count);
}

}  // namespace at::readtally
