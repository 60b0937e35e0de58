#pragma once
// lineagetree: nests the taxa of a classification file from phylum to OTU,
// each under the name of the taxon before it on its line, counts the reads,
// and writes the tree as taxonomy.json for sunburst and treemap viewers.

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"

namespace at::lineagetree {

// Reads every line of a classification file into the tree and writes
// taxonomy.json: a root named "taxonomy" over the parents of the class map,
// each node with its "children" or, for a leaf, its "size".
void write_tree(LineReader& classification, OutputSet& outputs);

}  // namespace at::lineagetree
