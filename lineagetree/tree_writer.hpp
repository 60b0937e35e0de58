#pragma once
// The counted tree of lineagetree, and how it is written as taxonomy.json.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

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
};

// Writes the tree as JSON: a root named "taxonomy" over the parents of the
// class map, ordered by name and then by lineage, each node with its
// "children" (in byte order of their names) or, for a leaf, its "size".
void write_taxonomy(const Tree& tree, TextSink& out);

}  // namespace at::lineagetree
