#pragma once
// strayreads: copies the FASTA records of the reads that received no OTU,
// each cut to ">" and its read ID, with all its sequence lines.

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"

namespace at::strayreads {

// Collects the read IDs of the classification lines that hold no OTU token
// ("u__" nowhere on the line, read ID included), then streams the FASTA
// input once and writes unclassified.fasta: for each header whose read ID
// was collected, ">" and the ID, then every sequence line of the record, up
// to the next header, as it stands.
void extract(LineReader& classification, LineReader& fasta, OutputSet& outputs);

}  // namespace at::strayreads
