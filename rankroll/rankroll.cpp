#include "rankroll/rankroll.hpp"


#include "common/numbers.hpp"
#include "common/fields.hpp"

namespace at::rankroll {

namespace {

constexpr std::string_view unassigned_key = "unassigned";

// The rank prefix of a taxon token: rank letter and two underscores. The
// taxon name starts right after it.
constexpr std::size_t prefix_length = 3;

constexpr std::array<std::string_view, rank_count> file_names = {
    "species.txt", "genus.txt", "family.txt", "order.txt", "class.txt", "phylum.txt"};

// The rank a rank letter counts in; rank_count for none (the kingdom among them).
constexpr std::size_t rank_of(char rank_letter) {
    switch (rank_letter) {
        case 's': return species;
        case 'g': return genus;
        case 'f': return family;
        case 'o': return order;
        case 'c': return class_;
        case 'p': return phylum;
        default: return rank_count;
    }
}

// A key met for the first time takes the value itself (so a -0 stays -0),
// a key met again gets it added.
void add_to(StringMap<float>& table, std::string_view key, float value) {
    const auto [total, is_new] = table.insert(key, value);
    if (!is_new) *total += value;
}

}  // namespace

void read_abundance(LineReader& reader, AbundanceTable& abundance) {
    std::string_view line;
    while (reader.next(line)) {
        const TwoColumnRow row = split_row_in_line(line);
        entry(abundance, row.key) = to_single(row.value);
    }
}

void RollUp::add_line(std::string_view line) {
    const TwoColumnRow row = split_row(line);
    const std::uint64_t hash = AbundanceTable::hash_of(row.key);
    if (!in_abundance_.may_hold(hash)) return;
    const float* found = abundance_.find_hashed(row.key, hash);
    if (found == nullptr) return;
    const float value = *found;
    const std::string_view lineage = row.value;

    add_to(lineages_, lineage, value);
    // The ranks whose prefix ("s__", "g__", ...) stands anywhere in the
    // lineage, found in one pass over its "__" pairs. A prefix with an empty
    // taxon name after it still counts as present.
    unsigned present = 0;
    for (auto at = lineage.find("__", 1); at != std::string_view::npos; at = lineage.find("__", at + 1)) {
        const std::size_t rank = rank_of(lineage[at - 1]);
        if (rank != rank_count) present |= 1u << rank;
    }
    for (std::size_t rank = 0; rank < rank_count; ++rank) {
        if ((present & (1u << rank)) == 0) missing_rank_totals_[rank] += value;
    }

    current_genus_.clear();
    std::string_view rest = lineage;
    std::string_view token;
    while (next_piece(rest, ';', token)) {
        // Greengenes downloads write "; " between taxa: the blank is not part
        // of the rank letter or the taxon name.
        const auto first = token.find_first_not_of(' ');
        if (first == std::string_view::npos) continue;
        token.remove_prefix(first);
        // Too short to hold a rank prefix, such as a lone CR after the last ";".
        if (token.size() < prefix_length) continue;
        const std::size_t rank = rank_of(token.front());
        if (rank == rank_count) continue;
        add_taxon(static_cast<Rank>(rank), token.substr(prefix_length), value);
    }
}

void RollUp::add_taxon(Rank rank, std::string_view taxon_name, float value) {
    if (rank == species) {
        // A species is named within the genus that came before it on its line.
        species_key_.assign(current_genus_);
        species_key_ += ' ';
        species_key_ += taxon_name;
        add_to(ranks_[species], species_key_, value);
        return;
    }
    if (rank == genus) current_genus_.assign(taxon_name);
    add_to(ranks_[rank], taxon_name, value);
}

void RollUp::write_tables(OutputSet& outputs) const {
    const float* unassigned = abundance_.find(unassigned_key);
    const float unassigned_value = unassigned == nullptr ? 0.0f : *unassigned;

    TextSink& lineage_file = outputs.create("fullLineage.txt");
    for (const auto* row : sorted_entries(lineages_)) lineage_file.row(row->first, row->second);
    lineage_file.row(unassigned_key, unassigned_value);

    for (std::size_t rank = 0; rank < rank_count; ++rank) {
        TextSink& out = outputs.create(file_names[rank]);
        for (const auto* row : sorted_entries(ranks_[rank])) out.row(row->first, row->second);
        out.row(unassigned_key, unassigned_value + missing_rank_totals_[rank]);
    }
}

void roll_up(LineReader& taxonomy, RollUp& totals) {
    std::string_view line;
    while (taxonomy.next(line)) totals.add_line(line);
}

}  // namespace at::rankroll
