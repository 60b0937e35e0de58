#pragma once
// Lines of a classification file grouped by their heads. readtally and
// lineagetree count each distinct line once (its tokens, cut as each
// program cuts them, each followed by ";"), with the number of its lines (or
// of the reads they stand for, with a count table).
// A run's lines share few heads, their tokens but the last (the lineages
// down to the species), however many OTUs they name: what a head's tokens
// count is counted once for all its lines, and only each line's last token
// on its own.

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/fast/flat_map.hpp"

namespace at::taxonomy {

// A line's tokens, where its last token starts, and its lines (or the reads
// they stand for).
struct LineEnding {
    std::string_view tokens;
    std::size_t last;
    std::int64_t lines;

    std::string_view last_token() const { return tokens.substr(last); }
};

// Calls visit(head, endings, lines) for each head of the lines, with the
// endings of the lines that have it and the lines of all of them, in no
// particular order. The head and the endings are views into the texts of
// `lines_by_tokens`, which stay the caller's.
template <class Visit>
void for_each_head(const fast::FlatMap<std::int64_t>& lines_by_tokens, Visit visit) {
    fast::FlatMap<std::vector<LineEnding>> by_head;
    lines_by_tokens.for_each([&by_head](std::string_view tokens, std::int64_t lines) {
        // Every token is followed by ";": the last starts after the ";"
        // before the final one.
        const auto before_last = tokens.size() < 2 ? std::string_view::npos : tokens.rfind(';', tokens.size() - 2);
        const std::size_t last = before_last == std::string_view::npos ? 0 : before_last + 1;
        by_head[tokens.substr(0, last)].push_back(LineEnding{tokens, last, lines});
    });
    by_head.for_each([&visit](std::string_view, const std::vector<LineEnding>& endings) {
        std::int64_t lines = 0;
        for (const LineEnding& ending : endings) lines += ending.lines;
        visit(endings.front().tokens.substr(0, endings.front().last), endings, lines);
    });
}

}  // namespace at::taxonomy
