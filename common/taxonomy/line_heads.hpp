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
    void add(std::string_view tokens, std::int64_t lines) { endings_.add(tokens, lines); }

    // Calls visit(head, endings, lines) for each head of the lines, with the
    // endings of the lines that have it and the lines of all of them, in no
    // particular order. The head and the endings' texts stay while this
    // object lives.
    template <class Visit>
    void for_each_head(Visit visit) {
        const auto& totals = endings_.totals();  // every line added first, and so every head
        const std::vector<std::string_view>& heads = endings_.keys().heads();
        // The endings of each head side by side: those of head n from
        // first[n] on.
        std::vector<std::size_t> first(heads.size() + 1, 0);
        totals.for_each([&first](std::string_view key, std::int64_t) { ++first[HeadsAndEndings::head_of(key)]; });
        for (std::size_t n = 1; n < first.size(); ++n) first[n] += first[n - 1];
        std::vector<LineEnding> endings(first.back());
        totals.for_each([&](std::string_view key, std::int64_t lines) {
            endings[--first[HeadsAndEndings::head_of(key)]] = LineEnding{HeadsAndEndings::ending_of(key), lines};
        });
        for (std::size_t n = 0; n < heads.size(); ++n) {
            const std::span<const LineEnding> of_head(endings.data() + first[n], first[n + 1] - first[n]);
            std::int64_t lines = 0;
            for (const LineEnding& ending : of_head) lines += ending.lines;
            visit(heads[n], of_head, lines);
        }
    }

private:
    // A line is held as its head's number in four bytes, then its last
    // token; it is looked up by its whole text, which is hashed once. The
    // heads are few and stay in the processor's cache.
    class HeadsAndEndings {
    public:
        bool matches(std::string_view held, std::string_view line) const {
            const std::string_view ending = ending_of(held);
            return line.ends_with(ending) && heads_[head_of(held)] == line.substr(0, line.size() - ending.size());
        }

        std::string_view held_for(std::string_view line) {
            // Every token is followed by ";": the last starts after the ";"
            // before the final one.
            const auto before_last = line.size() < 2 ? std::string_view::npos : line.rfind(';', line.size() - 2);
            const std::size_t last = before_last == std::string_view::npos ? 0 : before_last + 1;
            const std::string_view head = line.substr(0, last);
            std::uint32_t& number = numbers_[head];
            if (number == 0) {
                heads_.push_back(head_texts_.keep(head));
                number = static_cast<std::uint32_t>(heads_.size());
            }
            const std::uint32_t place = number - 1;
            held_.assign(reinterpret_cast<const char*>(&place), sizeof place);
            held_ += line.substr(last);
            return held_;
        }

        // The heads by their places, in the order they came.
        const std::vector<std::string_view>& heads() const { return heads_; }

        static std::size_t head_of(std::string_view held) {
            std::uint32_t place;
            std::memcpy(&place, held.data(), sizeof place);
            return place;
        }
        static std::string_view ending_of(std::string_view held) { return held.substr(sizeof(std::uint32_t)); }

    private:
        fast::FlatMap<std::uint32_t> numbers_;  // place + 1 of each head
        std::vector<std::string_view> heads_;
        TextArena head_texts_;
        std::string held_;
    };

    fast::Sums<std::int64_t, HeadsAndEndings> endings_;  // lines by line
};

}  // namespace at::taxonomy
