#include "lineagetree/lineagetree.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/fast/sums.hpp"
#include "common/taxonomy/classification.hpp"
#include "common/taxonomy/line_heads.hpp"
#include "lineagetree/tree_writer.hpp"

namespace at::lineagetree {

namespace {

using taxonomy::Token;

// The rank of the last token that set one.
enum class RankState { none, kingdom, phylum, class_, order, family, genus, species, otu };

// The taxon name the bare marker "unclassified" yields (its text from the
// fourth character). A marker right after a token of this name, such as
// "Unclassified", is taken for a repeat of a marker already seen and is not
// counted.
constexpr std::string_view marker_name = "lassified";

// A token of a line as the tree needs it: a token that begins with "un" (the
// classifier's marker) counts under its whole text, any other by its rank
// letter and taxon name, which the token cut after its name keeps.
std::string_view tree_text(const Token& token) {
    return token.text().starts_with("un") ? token.text() : token.through_name();
}

// Where the rank state machine stands on a line. It starts afresh on every
// line, so a line never nests under what the line before it ended with.
struct LineState {
    RankState rank = RankState::none;
    std::string_view previous_name;
    bool ended = false;  // a token ended the line: the rest is not looked at
};

// Runs tokens of a line through the rank state machine, from `state`, and
// counts `lines` in the level maps for each taxon it nests. Each counted
// token goes under the previous name, the taxon name of the token before it;
// a token that ends the line (an OTU, a marker, a rank below the cutoff)
// counts in the level map below the rank state. The texts must stay while
// the tree is built.
void nest(std::string_view tokens_text, std::int64_t lines, LineState& state, Tree& tree) {
    const auto count = [&](Level level, std::string_view child) { tree.levels[level][state.previous_name][child] += lines; };
    const auto end_line = [&](std::string_view child) {
        if (state.rank >= RankState::phylum && state.rank <= RankState::species) {
            count(static_cast<Level>(static_cast<int>(state.rank) - static_cast<int>(RankState::phylum)), child);
        }
        state.ended = true;
    };
    taxonomy::Tokens tokens(tokens_text);
    Token token;
    while (!state.ended && tokens.next(token)) {
        // Too short to hold a name, such as the lone CR after a CRLF line's
        // last ";": it neither counts nor changes the state.
        if (!token.has_name()) continue;
        const std::string_view name = token.name();
        if (token.names_rank_below_cutoff()) {
            // The classifier's present form of the bare marker: the same count.
            if (state.previous_name != marker_name) end_line(taxonomy::unclassified_marker);
            state.ended = true;
            return;
        }
        switch (token.rank_letter()) {
            case 'k': state.rank = RankState::kingdom; break;
            case 'p': state.rank = RankState::phylum; break;
            case 'c': count(class_level, name); state.rank = RankState::class_; break;
            case 'o': count(order_level, name); state.rank = RankState::order; break;
            case 'f': count(family_level, name); state.rank = RankState::family; break;
            case 'g': count(genus_level, name); state.rank = RankState::genus; break;
            case 's': count(species_level, name); state.rank = RankState::species; break;
            case 'u':
                if (token.text()[1] == '_') {
                    end_line(name);
                    return;
                }
                if (token.text()[1] == 'n') {
                    // The bare marker, and any other token the classifier
                    // begins with "un": counted whole, as written.
                    if (state.previous_name != marker_name) end_line(token.text());
                    state.ended = true;
                    return;
                }
                break;
            default: break;  // no rank; only its name is carried on
        }
        state.previous_name = name;
    }
}

}  // namespace

void write_tree(LineReader& classification, OutputSet& outputs) {
    // Lines whose tokens differ only in their confidences count the same:
    // each such line is kept once, with the number of its lines, and counted
    // into the tree at the end.
    fast::Sums<std::int64_t> lines_by_tokens;
    std::string tokens_text;
    std::string_view line;
    while (classification.next(line)) {
        tokens_text.clear();
        taxonomy::Tokens tokens(taxonomy::lineage_of(line));
        Token token;
        while (tokens.next(token)) {
            tokens_text += tree_text(token);
            tokens_text += ';';
        }
        lines_by_tokens.add(tokens_text, 1);
    }

    Tree tree;
    // A head's tokens are nested once, with the lines of all its endings.
    taxonomy::for_each_head(lines_by_tokens.totals(), [&tree](std::string_view head, const auto& endings, std::int64_t lines) {
        LineState after_head;
        nest(head, lines, after_head, tree);
        for (const taxonomy::LineEnding& ending : endings) {
            LineState state = after_head;
            nest(ending.last_token(), ending.lines, state, tree);
        }
    });
    write_taxonomy(tree, outputs.create("taxonomy.json"));
}

}  // namespace at::lineagetree
