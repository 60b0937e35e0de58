#pragma once
// readtally: counts the reads of a classification file per OTU, per taxon of
// six ranks and per full lineage.

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"

namespace at::readtally {

// Reads every line of a classification file and writes otu.txt,
// species.txt, genus.txt, family.txt, order.txt, class.txt, phylum.txt (each
// closed by its unassigned row) and fullLineage.txt.
void tally(LineReader& classification, OutputSet& outputs);

}  // namespace at::readtally
