#pragma once
// Sums of amounts added to byte-string keys in a stream, as a FlatMap of
// each key's total: the lines of a classification file counted by what
// they hold, the read IDs to copy.
//
// The keys of a large input go to a table that can be far larger than the
// processor's caches, where every addition waits for memory: for its slot
// and for the key's text. Here an amount is added
// some keys after it came: on its way the processor is asked for each place
// a few keys ahead, so that the waits of many keys overlap. Every addition
// still pending is made before the totals are read, and the amounts of a
// key are added in the order they came.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/fast/flat_map.hpp"

namespace at::fast {

template <class Value>
class Sums {
public:
    using Totals = FlatMap<Value>;

    void add(std::string_view key, Value amount) {
        Pending& pending = pending_[added_ % in_flight];
        pending.key.assign(key);
        pending.amount = amount;
        pending.hash = Totals::hash_of(key);
        ++added_;
        totals_.prefetch_slot(pending.hash);
        if (added_ - made_ > step) totals_.prefetch_key(pending_[(added_ - 1 - step) % in_flight].hash);
        if (added_ - made_ == in_flight) make_next();
    }

    // Each key added, with the sum of its amounts.
    const Totals& totals() {
        while (made_ != added_) make_next();
        return totals_;
    }

private:
    // How many keys after its slot a key's text is asked for, and after that
    // its amount added.
    static constexpr std::size_t step = 8;
    static constexpr std::size_t in_flight = 2 * step;

    struct Pending {
        std::string key;
        Value amount{};
        std::uint64_t hash = 0;
    };

    void make_next() {
        const Pending& pending = pending_[made_ % in_flight];
        totals_.value_of(pending.key, pending.hash) += pending.amount;
        ++made_;
    }

    Totals totals_;
    std::array<Pending, in_flight> pending_{};
    std::size_t added_ = 0;
    std::size_t made_ = 0;
};

}  // namespace at::fast
