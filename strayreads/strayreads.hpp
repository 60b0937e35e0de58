#pragma once
// strayreads: copies the FASTA records of the reads that received no OTU,
// each cut to ">" and its read ID and the first sequence line.

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"

namespace at::strayreads {

// Collects the read IDs of the classification lines that hold no OTU token
// ("u__" nowhere on the line, read ID included), then streams the FASTA
// input once and writes unclassified.fasta: for each header whose read ID
// was collected, ">" and the ID, then the record's first sequence line when
// it has one.
void extract(LineReader& classification, LineReader& fasta, OutputSet& outputs);

}  // namespace at::strayreads
