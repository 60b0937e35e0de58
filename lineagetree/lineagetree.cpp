#include "lineagetree/lineagetree.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/counts/sample_rows.hpp"
#include "common/taxonomy/classification.hpp"
#include "common/taxonomy/line_heads.hpp"
#include "lineagetree/page.hpp"
#include "lineagetree/tree_writer.hpp"

namespace at::lineagetree {

namespace {

using taxonomy::Rank;
using taxonomy::Token;

// The taxon name the bare marker "unclassified" yields (its text after the
// rank prefix). A marker right after a token of this name, such as
// "Unclassified", is taken for a repeat of a marker already seen and is not
// counted.
constexpr std::string_view marker_name = taxonomy::unclassified_marker.substr(Token::name_offset);

// The level map of the children of a taxon of a rank from phylum to species.
Level level_below(Rank rank) { return static_cast<Level>(static_cast<int>(rank) - static_cast<int>(Rank::phylum)); }

// A token of a line as the tree needs it: a token that begins with "un" (the
// classifier's marker) counts under its whole text, any other by its rank
// letter and taxon name, which the token cut after its name keeps.
std::string_view tree_text(const Token& token) {
    return token.text().starts_with("un") ? token.text() : token.through_name();
}

// Where the rank state machine stands on a line. It starts afresh on every
// line, so a line never nests under what the line before it ended with.
struct LineState {
    std::optional<Rank> rank;  // of the last token that set one
    std::string_view previous_name;
    std::string lineage;  // the names so far, each followed by ";"
    bool ended = false;   // a token ended the line: the rest is not looked at
};

// Runs tokens of a line through the rank state machine, from `state`, and
// counts `reads` in the level maps for each taxon it nests, and
// `sample_reads` in the tree's sample rows when it has them. Each counted
// token goes under the lineage of the names before it; a token that ends the
// line (an OTU, a marker, a rank below the cutoff) counts in the level map
// below the rank state. The texts must stay while the tree is built.
void nest(std::string_view tokens_text, std::int64_t reads, std::span<const std::int64_t> sample_reads, LineState& state,
          Tree& tree) {
    const auto count = [&](Level level, std::string_view child) {
        tree.levels[level][state.lineage][child] += reads;
        if (tree.sample_levels.empty()) return;
        const std::size_t parent_size = state.lineage.size();
        (state.lineage += child) += ';';
        tree.sample_levels[level].add(state.lineage, sample_reads);
        state.lineage.resize(parent_size);
    };
    const auto end_line = [&](std::string_view child) {
        if (state.rank >= Rank::phylum && state.rank <= Rank::species) count(level_below(*state.rank), child);
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
            // The classifier's other form of the bare marker: the same count.
            if (state.previous_name != marker_name) end_line(taxonomy::unclassified_marker);
            state.ended = true;
            return;
        }
        const auto rank = taxonomy::rank_of(token.rank_letter());
        if (rank == Rank::otu) {
            if (token.text()[1] == '_') {
                end_line(name);
                return;
            }
            if (token.text()[1] == 'n') {
                // The bare marker, and any other token the classifier begins
                // with "un": counted whole, as written.
                if (state.previous_name != marker_name) end_line(token.text());
                state.ended = true;
                return;
            }
            // Any other token that begins with "u" names no rank.
        } else if (rank) {
            // The kingdom and the phylum are parents only; a class counts
            // under the phylum before it, and so on down to the species.
            if (rank >= Rank::class_) count(level_below(static_cast<Rank>(static_cast<int>(*rank) - 1)), name);
            state.rank = rank;
        }
        state.previous_name = name;
        (state.lineage += name) += ';';
    }
}

// A line of the classification as the tree counts it: its read ID, when the
// reads are weighed, and its tokens as the tree needs them, each followed by
// ";".
struct TreeLine {
    std::string read_id;
    std::string tokens_text;
    std::string_view key() const { return read_id; }
};

// Reads the next line of a classification file; false at its end.
bool read_line(LineReader& classification, bool with_read_id, TreeLine& tree_line) {
    std::string_view line;
    if (!classification.next(line)) return false;
    if (with_read_id) tree_line.read_id.assign(taxonomy::read_id_of(line));
    tree_line.tokens_text.clear();
    taxonomy::Tokens tokens(taxonomy::lineage_of(line));
    Token token;
    while (tokens.next(token)) {
        tree_line.tokens_text += tree_text(token);
        tree_line.tokens_text += ';';
    }
    return true;
}

}  // namespace

void write_tree(LineReader& classification, OutputSet& outputs, bool with_page, const counts::ReadCounts* counts) {
    // The page lets its reader choose a sample when the counts name samples;
    // taxonomy.json holds the reads in all only, so without the page they
    // are not counted per sample.
    const std::vector<std::string> no_samples;
    const std::vector<std::string>& samples = with_page && counts != nullptr ? counts->samples() : no_samples;
    // Lines whose tokens differ only in their confidences count the same:
    // each such line is kept once, with the reads of its lines (in all and
    // per sample), and counted into the tree at the end.
    taxonomy::LinesByHead reads_by_tokens;
    counts::SampleRows samples_by_tokens(samples.size());
    const auto next = [&classification, counts](TreeLine& tree_line) {
        return read_line(classification, counts != nullptr, tree_line);
    };
    // A line stands for one read, or for those the counts give its read.
    if (counts == nullptr) {
        TreeLine tree_line;
        while (next(tree_line)) reads_by_tokens.add(tree_line.tokens_text, 1);
    } else {
        counts->for_each_read<TreeLine>(next, [&](const TreeLine& tree_line, const counts::ReadCounts::Read& read) {
            reads_by_tokens.add(tree_line.tokens_text, read.total);
            if (!samples.empty()) samples_by_tokens.add(tree_line.tokens_text, read.samples);
        });
    }

    Tree tree;
    if (!samples.empty()) {
        for (std::size_t level = 0; level < level_count; ++level) tree.sample_levels.emplace_back(samples.size());
    }
    // A head's tokens are nested once, with the reads of all its endings.
    reads_by_tokens.for_each_head([&](std::string_view head, const auto& endings, std::int64_t reads) {
        LineState after_head;
        nest(head, reads, samples.empty() ? std::span<const std::int64_t>() : samples_by_tokens.sum_of_lines(head, endings),
             after_head, tree);
        for (const taxonomy::LineEnding& ending : endings) {
            LineState state = after_head;
            nest(ending.last, ending.lines,
                 samples.empty() ? std::span<const std::int64_t>() : samples_by_tokens.row(head, ending.last), state, tree);
        }
    });
    if (!with_page) {
        write_taxonomy(tree, outputs.create("taxonomy.json"));
        return;
    }
    MemorySink json, sample_json;
    if (samples.empty()) {
        write_taxonomy(tree, json);
    } else {
        write_taxonomy(tree, json, samples, sample_json);
    }
    outputs.create("taxonomy.json").write(json.text());
    write_page(viewer_page, json.text(), sample_json.text(), outputs.create("taxonomy.html"));
}

}  // namespace at::lineagetree
