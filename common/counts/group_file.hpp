#pragma once
// The group file of the classifier: the sample of each read, one line each,
// ID<TAB>sample. Every read stands for one read of its sample.

#include "common/counts/read_counts.hpp"
#include "common/io/line_reader.hpp"

namespace at::counts {

// Reads a group file; the samples come in byte order of their names. A line
// that is not a read ID and a sample, or that lists a read again, is
// rejected, naming the line.
ReadCounts read_group_file(LineReader& groups, std::string file);

}  // namespace at::counts
