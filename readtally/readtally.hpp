#pragma once
// readtally: counts the reads of a classification file per OTU, per taxon of
// six ranks and per full lineage.

#include "common/counts/read_counts.hpp"
#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"

namespace at::readtally {

// Reads every line of a classification file and writes otu.txt,
// species.txt, genus.txt, family.txt, order.txt, class.txt, phylum.txt (each
// closed by its unassigned row) and fullLineage.txt. Each line counts one
// read or, with `counts`, the reads its read ID stands for there; when those
// name samples, each rank table X.txt is followed by X.samples.txt, its
// reads per sample. A read ID that `counts` lacks throws io::ReadNotListed.
void tally(LineReader& classification, OutputSet& outputs, const counts::ReadCounts* counts = nullptr);

}  // namespace at::readtally
