#pragma once
// The counted tree of lineagetree, and how it is written as taxonomy.json.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/counts/sample_rows.hpp"
#include "common/fast/flat_map.hpp"
#include "common/io/text_sink.hpp"

namespace at::lineagetree {

// The six level maps, each named after the rank its children normally have.
enum Level : std::size_t {
    class_level,    // phylum -> class
    order_level,    // class -> order
    family_level,   // order -> family
    genus_level,    // family -> genus
    species_level,  // genus -> species
    otu_level,      // species -> OTU
    level_count
};

// Child name -> reads counted for it under one parent.
using ChildCounts = fast::FlatMap<std::int64_t>;
// Parent lineage -> its children. A parent is known by its lineage: the taxon
// names of the tokens up to and including its own on the line, from the
// first, each followed by ";". Taxa that share a name under different
// parents (homonyms, "unclassified", the empty species name) stay apart.
using LevelMap = fast::FlatMap<ChildCounts>;

// Every parent entry holds at least one child. A count is at least 1 but for
// reads that a count table gives a total of 0.
struct Tree {
    std::array<LevelMap, level_count> levels;
    // When the reads are counted per sample too: one per level map, the
    // reads per sample of each child there, by the child's own lineage (its
    // parent's followed by its name and ";"). Empty otherwise.
    std::vector<counts::SampleRows> sample_levels;
};

// Writes the tree as JSON: a root named "taxonomy" over the parents of the
// class map, ordered by name and then by lineage, each node with its
// "children" (in byte order of their names) or, for a leaf, its "size".
void write_taxonomy(const Tree& tree, TextSink& out);

// Writes the tree as above to `out` and, to `samples_out`, the reads per
// sample of its leaves as JSON, the samples named in `samples` (the order of
// the tree's sample rows):
//   {"samples":["gut","soil"],"leaves":[[0,3,1,2],[1,5],[]]}
// one array for each leaf with a "size", in the order `out` has them, that
// holds each sample where the leaf has reads as its place in "samples"
// followed by its reads. A leaf's reads in a sample add up from the reads
// of that sample the way its size adds up from all reads.
void write_taxonomy(const Tree& tree, TextSink& out, const std::vector<std::string>& samples, TextSink& samples_out);

}  // namespace at::lineagetree
