#pragma once
// strayreads: copies the FASTA records of the reads that received no OTU
// assignment, each cut to ">" and its read ID and the first sequence line.

#include <string>

#include "common/count_table.hpp"
#include "common/line_reader.hpp"
#include "common/output_set.hpp"

namespace at::strayreads {

// Read IDs, looked up by string_view straight from a FASTA header.
// The read IDs to copy; the value is not used.
using ReadIdSet = StringMap<bool>;

// Adds the read ID of every classification line that holds no OTU token
// ("u__" nowhere on the line, read ID included).
void collect_unclassified(LineReader& classification, ReadIdSet& unclassified);

// Streams the FASTA input once and writes unclassified.fasta: for each header
// whose read ID is in the set, ">" and the ID, then the record's first
// sequence line when it has one.
void write_unclassified(LineReader& fasta, const ReadIdSet& unclassified, OutputSet& outputs);

}  // namespace at::strayreads
