#pragma once
// The counted tree of lineagetree, and how it is written as taxonomy.json.

#include <array>
#include <cstddef>
#include <cstdint>

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
// Parent name -> its children. A parent is known by its name alone, so every
// taxon that shares a name shares one set of children.
using LevelMap = fast::FlatMap<ChildCounts>;

// Every parent entry holds at least one child, and every count is at least 1.
struct Tree {
    std::array<LevelMap, level_count> levels;
};

// Writes the tree as JSON: a root named "taxonomy" over the parents of the
// class map, each node with its "children" or, for a leaf, its "size".
void write_taxonomy(const Tree& tree, TextSink& out);

}  // namespace at::lineagetree
