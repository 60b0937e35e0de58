#pragma once
// rankroll: rolls a mapped-back abundance table (reference id, TAB, value) up
// along a Greengenes taxonomy to full lineages and to six ranks.

#include <array>
#include <cstddef>
#include <string>

#include "common/count_table.hpp"
#include "common/line_reader.hpp"
#include "common/output_set.hpp"

namespace at::rankroll {

// The rank tables in the order their files are written.
enum Rank : std::size_t { species, genus, family, order, class_, phylum, rank_count };

// The value of each reference id; a key met again keeps its last value.
using AbundanceTable = StringMap<float>;

// Reads the whole mapped-back abundance table.
void read_abundance(LineReader& reader, AbundanceTable& abundance);

// The totals of the taxonomy lines whose reference id has a value.
class RollUp {
public:
    explicit RollUp(const AbundanceTable& abundance) : abundance_(abundance), in_abundance_(abundance) {}

    // Adds one line of the taxonomy file; nothing of the line is kept but
    // its keys.
    void add_line(std::string_view line);

    // Writes fullLineage.txt and the six rank tables from species to phylum,
    // each closed by its unassigned row.
    void write_tables(OutputSet& outputs) const;

private:
    void add_taxon(Rank rank, std::string_view taxon_name, float value);

    const AbundanceTable& abundance_;
    // Most taxonomy lines name a reference id the table does not hold.
    HashFilter in_abundance_;
    StringMap<float> lineages_;
    std::array<StringMap<float>, rank_count> ranks_;
    // Per rank, the values of lineages in which the rank's prefix stands nowhere.
    std::array<float, rank_count> missing_rank_totals_{};
    std::string current_genus_;
    std::string species_key_;
};

// Rolls every line of a taxonomy file up as it is read.
void roll_up(LineReader& taxonomy, RollUp& totals);

}  // namespace at::rankroll
