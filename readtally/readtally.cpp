#include "readtally/readtally.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/fast/flat_map.hpp"
#include "common/fast/key_list.hpp"
#include "common/fast/sums.hpp"
#include "common/taxonomy/classification.hpp"
#include "common/taxonomy/line_heads.hpp"
#include "common/taxonomy/ranks.hpp"
#include "common/text/arena.hpp"

namespace at::readtally {

namespace {

using taxonomy::Rank;
using taxonomy::Token;
using Counts = fast::FlatMap<std::int64_t>;

// The rank tables, in the order their files are written.
constexpr std::array<Rank, 7> table_ranks = {Rank::otu,   Rank::species, Rank::genus, Rank::family,
                                             Rank::order, Rank::class_,  Rank::phylum};

constexpr std::size_t no_table = table_ranks.size();

// The table of a token's rank; no_table for the kingdom and tokens that name
// no rank.
std::size_t table_of(char rank_letter) { return taxonomy::place_of(table_ranks, taxonomy::rank_of(rank_letter)); }

// A line keeps its tokens but the classifier's markers for a rank it left
// unassigned (a token that holds "unclassified" anywhere) and its label for
// a read it placed nowhere. `may_hold_marker` is false for a line that holds
// no marker at all, which most lines of a run do not.
bool is_kept(const Token& token, bool may_hold_marker) {
    if (may_hold_marker && token.holds_unclassified_marker()) return false;
    return token.label() != taxonomy::unplaced_label;
}

// What lines count in the tables: each kept token counts its rank key, and
// each line its full-lineage key, the labels of its kept tokens each
// followed by ";".
class Tables {
public:
    // Counts the lines by their kept tokens, each cut after its taxon name
    // and followed by ";". The texts must stay while the tables are used.
    // A head's tokens are counted once, with the lines of all its endings.
    void count(const fast::FlatMap<std::int64_t>& lines_by_kept_taxa) {
        taxonomy::for_each_head(lines_by_kept_taxa, [this](std::string_view head, const auto& endings, std::int64_t lines) {
            count_head(head, endings, lines);
        });
    }

    // The rank tables, each closed by its unassigned row: the lines that
    // counted in none of its keys; then the full-lineage table.
    void write(OutputSet& outputs, std::int64_t line_count) {
        for (std::size_t table = 0; table < table_ranks.size(); ++table) {
            TextSink& out = outputs.create(taxonomy::table_file(table_ranks[table]));
            std::int64_t counted = 0;
            if (table_ranks[table] == Rank::otu) {
                otus_.for_each_sorted([&](std::string_view otu, std::int64_t lines) {
                    out.row(otu, lines);
                    counted += lines;
                });
            } else {
                for (const auto* entry : fast::sorted_entries(ranks_[table])) {
                    out.row(entry->key, entry->value);
                    counted += entry->value;
                }
            }
            out.row(taxonomy::unassigned_key, line_count - counted);
        }
        TextSink& out = outputs.create(taxonomy::full_lineage_file);
        full_lineages_.for_each_sorted([&out](std::string_view key, std::int64_t lines) { out.row(key, lines); });
    }

private:
    void count_head(std::string_view head, const std::vector<taxonomy::LineEnding>& endings, std::int64_t lines) {
        full_lineage_key_.clear();
        current_genus_.clear();
        taxonomy::Tokens tokens(head);
        Token token;
        while (tokens.next(token)) count_token(token, lines);
        const std::size_t head_key_size = full_lineage_key_.size();
        head_genus_ = current_genus_;
        for (const taxonomy::LineEnding& ending : endings) {
            full_lineage_key_.resize(head_key_size);
            current_genus_ = head_genus_;
            taxonomy::Tokens last(ending.last_token());
            if (last.next(token)) count_token(token, ending.lines);
            // A token's label is the start of its text cut after the taxon
            // name, and all of it unless its "(" stands in the rank prefix:
            // where the key is as long as the text, it is the text.
            const bool key_is_text = full_lineage_key_.size() == ending.tokens.size();
            full_lineages_.add(key_is_text ? ending.tokens : built_keys_.keep(full_lineage_key_), ending.lines);
        }
    }

    // A kept token of the line being counted, in order.
    void count_token(const Token& token, std::int64_t lines) {
        full_lineage_key_ += token.label();
        full_lineage_key_ += ';';
        if (!token.has_name()) return;  // too short to name a taxon
        const std::size_t table = table_of(token.rank_letter());
        if (table == no_table) return;
        const std::string_view name = token.name();
        switch (table_ranks[table]) {
            case Rank::otu: otus_.add(name, lines); break;
            case Rank::genus:
                current_genus_.assign(name);
                ranks_[table][name] += lines;
                break;
            case Rank::species:
                taxonomy::make_species_key(species_key_, current_genus_, name);
                ranks_[table][species_key_] += lines;
                break;
            default: ranks_[table][name] += lines;
        }
    }

    // OTUs and full lineages are about as many as the lines' kept texts,
    // other taxa few: those are counted in maps.
    fast::KeyList<std::int64_t> otus_;
    std::array<Counts, table_ranks.size()> ranks_;
    fast::KeyList<std::int64_t> full_lineages_;
    TextArena built_keys_;  // full-lineage keys that are not kept texts
    std::string full_lineage_key_;
    // The last genus kept before on the line, and a species key made of it;
    // the genus of the head being counted.
    std::string current_genus_;
    std::string head_genus_;
    std::string species_key_;
};

}  // namespace

void tally(LineReader& classification, OutputSet& outputs) {
    std::int64_t line_count = 0;
    // Lines that keep the same tokens, each cut after its taxon name, count
    // the same: each such text is kept once, with the number of its lines,
    // and counted in the tables at the end. Confidences differ from line to
    // line, so they are cut off first.
    fast::Sums<std::int64_t> lines_by_kept_taxa;
    std::string kept_taxa;
    std::string_view line;
    while (classification.next(line)) {
        ++line_count;
        const std::string_view lineage = taxonomy::lineage_of(line);
        const bool may_hold_marker = fast::contains(lineage, taxonomy::unclassified_marker);
        kept_taxa.clear();
        taxonomy::Tokens tokens(lineage);
        Token token;
        while (tokens.next(token)) {
            if (!is_kept(token, may_hold_marker)) continue;
            kept_taxa += token.through_name();
            kept_taxa += ';';
        }
        lines_by_kept_taxa.add(kept_taxa, 1);
    }

    Tables tables;
    tables.count(lines_by_kept_taxa.totals());
    tables.write(outputs, line_count);
}

}  // namespace at::readtally
