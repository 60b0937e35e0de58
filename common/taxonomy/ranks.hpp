#pragma once
// The ranks of a lineage, their rank letters, and the tables the programs
// write of them.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace at::taxonomy {

// In the order in which a lineage names them, from the kingdom down.
enum class Rank { kingdom, phylum, class_, order, family, genus, species, otu };

// The rank letters, in the order of the ranks: the first character of a
// token names its rank.
constexpr std::string_view rank_letters = "kpcofgsu";

constexpr char rank_letter(Rank rank) { return rank_letters[static_cast<std::size_t>(rank)]; }

// The rank a token's first character names; none for any other character.
constexpr std::optional<Rank> rank_of(char letter) {
    const auto at = rank_letters.find(letter);
    if (at == std::string_view::npos) return std::nullopt;
    return static_cast<Rank>(at);
}

// A token's rank letter and the two underscores after it; its taxon name
// starts right after them.
constexpr std::size_t rank_prefix_size = 3;

// The prefix of a rank's tokens: "s__", "g__", ... "u__".
inline std::string rank_prefix(Rank rank) { return std::string(1, rank_letter(rank)) + "__"; }

// The ranks of the per-rank tables, in the order their files are written.
constexpr std::array<Rank, 6> ranks_species_to_phylum = {Rank::species, Rank::genus, Rank::family,
                                                         Rank::order,   Rank::class_, Rank::phylum};

// The file of a rank's table: "otu.txt", "species.txt" ... "phylum.txt".
constexpr std::string_view table_file(Rank rank) {
    switch (rank) {
        case Rank::otu: return "otu.txt";
        case Rank::species: return "species.txt";
        case Rank::genus: return "genus.txt";
        case Rank::family: return "family.txt";
        case Rank::order: return "order.txt";
        case Rank::class_: return "class.txt";
        case Rank::phylum: return "phylum.txt";
        case Rank::kingdom: break;
    }
    return {};
}

// The name of a rank's table, its file's name before ".txt": "otu", "species"
// ... "phylum".
constexpr std::string_view table_name(Rank rank) {
    const std::string_view file = table_file(rank);
    return file.substr(0, file.find('.'));
}

// The file of a rank's reads per sample: "otu.samples.txt" ... "phylum.samples.txt".
inline std::string samples_table_file(Rank rank) { return std::string(table_name(rank)) + ".samples.txt"; }

constexpr std::string_view full_lineage_file = "fullLineage.txt";

// The place of a rank among `ranks`, or ranks.size() when it is not there.
template <std::size_t count>
constexpr std::size_t place_of(const std::array<Rank, count>& ranks, std::optional<Rank> rank) {
    for (std::size_t at = 0; rank && at < count; ++at) {
        if (ranks[at] == *rank) return at;
    }
    return count;
}

// The key of the row that closes a table with what reached none of its keys.
constexpr std::string_view unassigned_key = "unassigned";

// A species is named within its genus: the genus name, one space, the
// species name. `genus` is the last genus named before it on its line.
inline void make_species_key(std::string& key, std::string_view genus, std::string_view species_name) {
    key.assign(genus);
    key += ' ';
    key += species_name;
}

}  // namespace at::taxonomy
