#pragma once
// lineagetree: nests the taxa of a classification file from phylum to OTU,
// each under the name of the taxon before it on its line, counts the reads,
// and writes the tree as taxonomy.json for sunburst and treemap viewers.

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/count_table.hpp"
#include "common/line_reader.hpp"
#include "common/output_set.hpp"

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
using ChildCounts = StringMap<std::int64_t>;
// Parent name -> its children. A parent is known by its name alone, so every
// taxon that shares a name shares one set of children.
using LevelMap = StringMap<ChildCounts>;

// The counted tree. Every parent entry holds at least one child, and every
// count is at least 1.
struct Tree {
    std::array<LevelMap, level_count> levels;
};

// What the lines of a classification file add to the tree. Lines that differ
// only in their confidences add the same counts, so each distinct set of
// additions is kept once, with the number of lines that made it. The key holds
// one entry per count: the level as a digit, the parent name, ";", the child
// name, ";" -- or, where the parent is the child of the entry before, the
// level as a letter from "A" and the child name, ";". No name holds ";",
// which separates the tokens of a line. The head of a key is every entry but
// the last.
struct LineTally {
    SplitKeyMap<std::int64_t> additions;
};

// Reads every line of a classification file into the tally.
void read_classification(LineReader& reader, LineTally& tally);

// The tree the tallied lines make; the tally is released once spread out.
Tree tree_of(LineTally tally);

// Writes taxonomy.json: a root named "taxonomy" over the parents of the class
// map, each node with its "children" or, for a leaf, its "size".
void write_taxonomy(const Tree& tree, OutputSet& outputs);

}  // namespace at::lineagetree
