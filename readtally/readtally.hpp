#pragma once
// readtally: counts the reads of a classification file per OTU, per taxon of
// six ranks and per full lineage.

#include <array>
#include <cstdint>
#include <string>

#include "common/count_table.hpp"
#include "common/line_reader.hpp"
#include "common/output_set.hpp"

namespace at::readtally {

// The rank tables in the order their files are written.
enum Rank : std::size_t { otu, species, genus, family, order, class_, phylum, rank_count };

struct LineageCount {
    // Lines whose rank counts follow from their full-lineage key alone.
    std::int64_t regular = 0;
    // Lines holding a token whose "(" stands inside its rank prefix: their
    // taxon names are not in the key, so they were counted into the rank
    // tables as they were read.
    std::int64_t irregular = 0;
};

struct Tally {
    std::int64_t line_count = 0;
    // Every line adds one to its full-lineage key: the taxon labels of the
    // tokens it keeps, each followed by ";". The head of a key is every label
    // but the last.
    SplitKeyMap<LineageCount> lineages;
    std::array<StringMap<std::int64_t>, rank_count> irregular_ranks;
};

// Reads every line of a classification file into the tally.
void read_classification(LineReader& reader, Tally& tally);

// Writes otu.txt, species.txt, genus.txt, family.txt, order.txt, class.txt,
// phylum.txt (each closed by its unassigned row) and fullLineage.txt.
void write_tables(const Tally& tally, OutputSet& outputs);

}  // namespace at::readtally
