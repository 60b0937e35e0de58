#pragma once
// The one hash map of the programs: keys (byte strings, looked up by
// string_view without building a key, or 64-bit integers) to values.
//
// Open addressing over one flat array of slots, at most half full; a slot
// holds its key's hash, the key and the value, so that a lookup reads one
// place in memory (and, for a byte-string key, its text, which is kept in
// an arena). Tables of a million keys are far larger than the processor's
// caches: every place a lookup reads is a wait for memory. The slots of such
// a table are kept in huge pages (large_arrays.hpp).

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/fast/hash.hpp"
#include "common/fast/key_sort.hpp"
#include "common/fast/large_arrays.hpp"
#include "common/text/arena.hpp"

namespace at::fast {

template <class Value, class Key = std::string_view>
class FlatMap {
    static_assert(std::is_same_v<Key, std::string_view> || std::is_same_v<Key, std::int64_t>);
    static constexpr bool text_keys = std::is_same_v<Key, std::string_view>;

public:
    struct Entry {
        Key key{};
        Value value{};
    };

    // The value of a key, made value-initialised when the key is new. Valid
    // until the next key is added.
    Value& operator[](Key key) { return value_of(key, hash_of(key)); }

    // The same with the key's hash_of() at hand.
    Value& value_of(Key key, std::uint64_t hash) {
        if ((size_ + 1) * 2 > slots_.size()) grow();
        std::size_t at = hash & mask_;
        for (;; at = (at + 1) & mask_) {
            Slot& slot = slots_[at];
            if (slot.hash == no_key) break;
            if (slot.hash == hash && slot.entry.key == key) return slot.entry.value;
        }
        Slot& made = slots_[at];
        made.hash = hash;
        if constexpr (text_keys) {
            made.entry.key = texts_.keep(key);
        } else {
            made.entry.key = key;
        }
        ++size_;
        return made.entry.value;
    }

    // The value of a key, or nullptr when the key is not in the map.
    const Value* find(Key key) const { return find(key, hash_of(key)); }
    Value* find(Key key) { return const_cast<Value*>(std::as_const(*this).find(key)); }
    // The same with the key's hash_of() at hand.
    const Value* find(Key key, std::uint64_t hash) const {
        if (size_ == 0) return nullptr;
        for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
            const Slot& slot = slots_[at];
            if (slot.hash == no_key) return nullptr;
            if (slot.hash == hash && slot.entry.key == key) return &slot.entry.value;
        }
    }

    std::size_t size() const { return size_; }

    // Calls visit(key, value) for every entry, in no particular order.
    template <class Visit>
    void for_each(Visit visit) const {
        for (const Slot& slot : slots_) {
            if (slot.hash != no_key) visit(slot.entry.key, slot.entry.value);
        }
    }
    template <class Visit>
    void for_each_entry(Visit visit) const {
        for (const Slot& slot : slots_) {
            if (slot.hash != no_key) visit(slot.entry);
        }
    }

    // A key's hash; never the hash of an empty slot.
    static std::uint64_t hash_of(Key key) {
        std::uint64_t hash = 0;
        if constexpr (text_keys) {
            hash = hash_bytes(key);
        } else {
            hash = hash_integer(static_cast<std::uint64_t>(key));
        }
        return hash == no_key ? 1 : hash;
    }

    // For lookups made in batches (sums.hpp), a key's way through
    // memory in two steps, the second once the first is at hand: the slot
    // of its hash, and the text of the key that slot holds. They change
    // nothing.
    void prefetch_slot(std::uint64_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[hash & mask_]);
    }
    void prefetch_key(std::uint64_t hash) const {
        if constexpr (text_keys) {
            for (std::size_t at = hash & mask_; !slots_.empty(); at = (at + 1) & mask_) {
                const Slot& slot = slots_[at];
                if (slot.hash == no_key) return;
                if (slot.hash != hash) continue;
                // The cache lines of the first 256 bytes of the text.
                const std::string_view text = slot.entry.key;
                for (std::size_t line = 0; line < text.size() && line < 256; line += 64) {
                    __builtin_prefetch(text.data() + line);
                }
                return;
            }
        }
    }

private:
    // The hash of an empty slot.
    static constexpr std::uint64_t no_key = 0;

    struct Slot {
        std::uint64_t hash = no_key;
        Entry entry;
    };

    void grow() {
        const std::size_t capacity = slots_.empty() ? 8 : 2 * slots_.size();
        std::vector<Slot, LargeArrayAllocator<Slot>> slots(capacity);
        mask_ = capacity - 1;
        for (Slot& slot : slots_) {
            if (slot.hash == no_key) continue;
            std::size_t at = slot.hash & mask_;
            while (slots[at].hash != no_key) at = (at + 1) & mask_;
            slots[at] = std::move(slot);
        }
        slots_ = std::move(slots);
    }

    std::vector<Slot, LargeArrayAllocator<Slot>> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
    TextArena texts_;
};

// The entries of a map in ascending byte order of their keys.
template <class Value>
std::vector<const typename FlatMap<Value>::Entry*> sorted_entries(const FlatMap<Value>& map) {
    using Entry = typename FlatMap<Value>::Entry;
    struct Item : SortKey {
        const Entry* entry;
    };
    std::vector<Item> items;
    items.reserve(map.size());
    map.for_each_entry([&items](const Entry& entry) { items.push_back(Item{{0, entry.key.data(), entry.key.size()}, &entry}); });
    sort_keys(items);
    std::vector<const Entry*> sorted;
    sorted.reserve(items.size());
    for (const Item& item : items) sorted.push_back(item.entry);
    return sorted;
}

}  // namespace at::fast
