#pragma once
// Lines of a classification file counted by their heads. readtally and
// lineagetree count each distinct line once (its tokens, cut as each
// program cuts them, each followed by ";"), with the number of its lines (or
// of the reads they stand for, with a count table).
// A run's lines share few heads, their tokens but the last (the lineages
// down to the species), however many OTUs they name: each line is kept as
// the number of its head and its last token, and what a head's tokens count
// is counted once for all its lines, only each line's last token on its own.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/fast/flat_map.hpp"
#include "common/fast/sums.hpp"
#include "common/text/arena.hpp"

namespace at::taxonomy {

// A line's last token with its ";", and its lines (or the reads they stand
// for).
struct LineEnding {
    std::string_view last;
    std::int64_t lines;
};

class LinesByHead {
public:
    // Counts `lines` for a line's tokens, each followed by ";".
    void add(std::string_view tokens, std::int64_t lines) {
        // Every token is followed by ";": the last starts after the ";"
        // before the final one.
        const auto before_last = tokens.size() < 2 ? std::string_view::npos : tokens.rfind(';', tokens.size() - 2);
        const std::size_t last = before_last == std::string_view::npos ? 0 : before_last + 1;
        const std::string_view head = tokens.substr(0, last);
        std::uint32_t& number = head_numbers_[head];
        if (number == 0) {
            heads_.push_back(head_texts_.keep(head));
            number = static_cast<std::uint32_t>(heads_.size());
        }
        // The key of a line: its head's number in four bytes, then its last token.
        key_.assign(reinterpret_cast<const char*>(&number), sizeof number);
        key_ += tokens.substr(last);
        endings_.add(key_, lines);
    }

    // Calls visit(head, endings, lines) for each head of the lines, with the
    // endings of the lines that have it and the lines of all of them, in no
    // particular order. The head and the endings' texts stay while this
    // object lives.
    template <class Visit>
    void for_each_head(Visit visit) {
        // The endings of each head side by side: those of head n from
        // first[n - 1] on.
        std::vector<std::size_t> first(heads_.size() + 1, 0);
        const auto& totals = endings_.totals();
        totals.for_each([&first](std::string_view key, std::int64_t) { ++first[head_of(key)]; });
        for (std::size_t n = 1; n < first.size(); ++n) first[n] += first[n - 1];
        std::vector<LineEnding> endings(first.back());
        totals.for_each([&](std::string_view key, std::int64_t lines) {
            endings[--first[head_of(key)]] = LineEnding{key.substr(sizeof(std::uint32_t)), lines};
        });
        for (std::size_t n = 0; n < heads_.size(); ++n) {
            const std::span<const LineEnding> of_head(endings.data() + first[n], first[n + 1] - first[n]);
            std::int64_t lines = 0;
            for (const LineEnding& ending : of_head) lines += ending.lines;
            visit(heads_[n], of_head, lines);
        }
    }

private:
    // The place of a key's head in heads_.
    static std::size_t head_of(std::string_view key) {
        std::uint32_t number;
        std::memcpy(&number, key.data(), sizeof number);
        return number - 1;
    }
    fast::FlatMap<std::uint32_t> head_numbers_;  // from 1, in the order heads came
    std::vector<std::string_view> heads_;        // by number - 1
    TextArena head_texts_;
    fast::Sums<std::int64_t> endings_;           // lines by key
    std::string key_;
};

}  // namespace at::taxonomy
