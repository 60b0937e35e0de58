#pragma once
// lineagetree: nests the taxa of a classification file from phylum to OTU,
// each under the lineage of taxa before it on its line, counts the reads,
// and writes the tree as taxonomy.json for sunburst and treemap viewers, and
// when asked as a page with an interactive sunburst, taxonomy.html.

#include "common/counts/read_counts.hpp"
#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"

namespace at::lineagetree {

// Reads every line of a classification file into the tree and writes
// taxonomy.json: a root named "taxonomy" over the parents of the class map,
// each node with its "children" or, for a leaf, its "size"; and, `with_page`,
// taxonomy.html, which also holds the reads of each leaf per sample when
// `counts` names samples. Each line counts one read or, with `counts`, the
// reads its read ID stands for there; a read ID that `counts` lacks throws
// io::ReadNotListed.
void write_tree(LineReader& classification, OutputSet& outputs, bool with_page = false,
                const counts::ReadCounts* counts = nullptr);

}  // namespace at::lineagetree
