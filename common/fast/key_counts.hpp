#pragma once
// Counts of a stream of byte-string keys, as a FlatMap<std::int64_t> of the
// times each key was added.
//
// The keys of a large input (the lines of a classification file) are counted
// into a table that can be far larger than the processor's caches, where a
// lookup waits for memory twice: for its slot and for its key's text. Here a
// key is counted some keys after it was added: on its way the processor is
// asked for each of the two places a few keys ahead, so that the waits of
// many keys overlap. Every count still pending is made before
// the counts are read.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/fast/flat_map.hpp"

namespace at::fast {

class KeyCounts {
public:
    using Counts = FlatMap<std::int64_t>;

    void add(std::string_view key) {
        Pending& pending = pending_[added_ % in_flight];
        pending.key.assign(key);
        pending.hash = Counts::hash_of(key);
        ++added_;
        ask_ahead();
        if (added_ - counted_ == in_flight) count_next();
    }

    // The keys added and how often each was.
    const Counts& counts() {
        while (counted_ != added_) count_next();
        return counts_;
    }

private:
    // How many keys after one place of a key the next is asked for.
    static constexpr std::size_t step = 8;
    static constexpr std::size_t in_flight = 2 * step;

    struct Pending {
        std::string key;
        std::uint64_t hash = 0;
    };

    // The slot of the key just added, and the key text of the key a step
    // before.
    void ask_ahead() {
        counts_.prefetch_slot(pending_[(added_ - 1) % in_flight].hash);
        if (added_ - counted_ > step) counts_.prefetch_key(pending_[(added_ - 1 - step) % in_flight].hash);
    }

    void count_next() {
        const Pending& pending = pending_[counted_ % in_flight];
        ++counts_.value_of(pending.key, pending.hash);
        ++counted_;
    }

    Counts counts_;
    std::array<Pending, in_flight> pending_;
    std::size_t added_ = 0;
    std::size_t counted_ = 0;
};

}  // namespace at::fast
