#include "rankroll/rankroll.hpp"

#include <array>
#include <string>

#include "common/fast/flat_map.hpp"
#include "common/taxonomy/ranks.hpp"
#include "common/text/fields.hpp"
#include "common/text/numbers.hpp"

namespace at::rankroll {

namespace {

using taxonomy::Rank;

using Totals = fast::FlatMap<float>;

// A key met for the first time takes the value itself (so a -0 stays -0),
// a key met again gets it added.
void add_to(Totals& totals, std::string_view key, float value) {
    if (float* total = totals.find(key)) {
        *total += value;
    } else {
        totals[key] = value;
    }
}

// Whether a lineage names a rank: its prefix ("s__", "g__", ...) stands
// anywhere in it, also with an empty taxon name after it.
bool names_rank(std::string_view lineage, Rank rank) {
    return lineage.find(taxonomy::rank_prefix(rank)) != std::string_view::npos;
}

// The totals of the taxonomy lines whose reference id has a value.
class RollUp {
public:
    void add(std::string_view lineage, float value) {
        add_to(lineages_, lineage, value);
        for (std::size_t at = 0; at < ranks.size(); ++at) {
            if (!names_rank(lineage, ranks[at])) missing_rank_totals_[at] += value;
        }
        current_genus_.clear();
        std::string_view token;
        while (next_piece(lineage, ';', token)) {
            // Greengenes downloads write "; " between taxa: the blank is not
            // part of the rank letter or the taxon name.
            const auto first = token.find_first_not_of(' ');
            if (first == std::string_view::npos) continue;
            token.remove_prefix(first);
            // Too short to hold a rank prefix, such as a lone CR after the last ";".
            if (token.size() < taxonomy::rank_prefix_size) continue;
            const auto rank = taxonomy::rank_of(token.front());
            const std::size_t at = taxonomy::place_of(ranks, rank);
            if (at == ranks.size()) continue;
            const std::string_view name = token.substr(taxonomy::rank_prefix_size);
            if (*rank == Rank::genus) current_genus_.assign(name);
            if (*rank == Rank::species) {
                taxonomy::make_species_key(species_key_, current_genus_, name);
                add_to(rank_totals_[at], species_key_, value);
            } else {
                add_to(rank_totals_[at], name, value);
            }
        }
    }

    void write(OutputSet& outputs, float unassigned_value) const {
        write_table(outputs.create(taxonomy::full_lineage_file), lineages_, unassigned_value);
        for (std::size_t at = 0; at < ranks.size(); ++at) {
            write_table(outputs.create(taxonomy::table_file(ranks[at])), rank_totals_[at],
                        unassigned_value + missing_rank_totals_[at]);
        }
    }

private:
    static constexpr auto ranks = taxonomy::ranks_species_to_phylum;

    static void write_table(TextSink& out, const Totals& totals, float unassigned_value) {
        for (const auto* entry : fast::sorted_entries(totals)) out.row(entry->key(), entry->value);
        out.row(taxonomy::unassigned_key, unassigned_value);
    }

    Totals lineages_;
    std::array<Totals, ranks.size()> rank_totals_;
    // Per rank, the values of the lineages that do not name it.
    std::array<float, ranks.size()> missing_rank_totals_{};
    // The last genus named on the line, and a species key made of it.
    std::string current_genus_;
    std::string species_key_;
};

}  // namespace

void roll_up(LineReader& abundance, LineReader& taxonomy_lines, OutputSet& outputs) {
    // The value of each reference id; a key met again keeps its last value.
    Totals values;
    std::string_view line;
    while (abundance.next(line)) {
        const TwoColumnRow row = split_row(line);
        values[row.key] = to_single(row.value);
    }

    RollUp totals;
    while (taxonomy_lines.next(line)) {
        const TwoColumnRow row = split_row(line);  // reference id, lineage
        if (const float* value = values.find(row.key)) totals.add(row.value, *value);
    }

    const float* unassigned = values.find(taxonomy::unassigned_key);
    totals.write(outputs, unassigned == nullptr ? 0.0f : *unassigned);
}

}  // namespace at::rankroll
