#pragma once
// rankroll: rolls a mapped-back abundance table (reference id, TAB, value) up
// along a Greengenes taxonomy to full lineages and to six ranks.

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"

namespace at::rankroll {

// Reads the whole abundance table, then rolls each line of the taxonomy up
// as it is read (the taxonomy is never held), and writes fullLineage.txt and
// the six rank tables from species to phylum, each closed by its unassigned
// row.
void roll_up(LineReader& abundance, LineReader& taxonomy, OutputSet& outputs);

}  // namespace at::rankroll
