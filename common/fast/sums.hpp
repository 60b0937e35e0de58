#pragma once
// Sums of amounts added to byte-string keys in a stream, as a FlatMap of
// each key's total: the lines of a classification file counted by what
// they hold, the read IDs to copy.
//
// The keys of a large input go to a table that can be far larger than the
// processor's caches, where every addition waits for memory: for its slot
// and for the key's text. Once the table is that large, an amount is added
// some keys after it came: on its way the processor is asked for each place
// a few keys ahead, so that the waits of many keys overlap. While the table
// is small (a run of a few thousand distinct lines), an amount is added at
// once, without copying its key. Every addition still pending is made before
// the totals are read, and the amounts of a key are added in the order they
// came.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "common/fast/flat_map.hpp"

namespace at::fast {

// How a key added is matched with the keys held, and how a new one is
// held: as the same text.
struct SameText {
    bool matches(std::string_view held, std::string_view key) const { return held == key; }
    std::string_view held_for(std::string_view key) { return key; }
};

// `Keys` may hold a key in another form than it is added by (a line as the
// number of its head and its last token); the hash is that of the key added,
// so the totals of such sums are read only entry by entry, not looked up.
template <class Value, class Keys = SameText>
class Sums {
public:
    using Totals = FlatMap<Value>;

    explicit Sums(Keys keys = {}) : keys_(std::move(keys)) {}
    const Keys& keys() const { return keys_; }

    void add(std::string_view key, Value amount) {
        const std::uint64_t hash = Totals::hash_of(key);
        // A small table is in the cache: there is nothing to wait for.
        if (made_ == added_ && totals_.slot_bytes() <= cached_bytes) {
            add_to_total(key, hash, amount);
            return;
        }
        Pending& pending = pending_[added_ % in_flight];
        pending.key.assign(key);
        pending.amount = amount;
        pending.hash = hash;
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

    // The size of the table up to which amounts are added at once, about
    // that of a second-level cache.
    static constexpr std::size_t cached_bytes = std::size_t{1} << 20;

    void make_next() {
        const Pending& pending = pending_[made_ % in_flight];
        add_to_total(pending.key, pending.hash, pending.amount);
        ++made_;
    }

    void add_to_total(std::string_view key, std::uint64_t hash, Value amount) {
        totals_.value_matching(
            hash, [this, key](std::string_view held) { return keys_.matches(held, key); },
            [this, key] { return keys_.held_for(key); }) += amount;
    }

    Keys keys_;
    Totals totals_;
    std::array<Pending, in_flight> pending_{};
    std::size_t added_ = 0;
    std::size_t made_ = 0;
};

}  // namespace at::fast
