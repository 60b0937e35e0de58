#pragma once
// The one hash map of the programs: byte-string keys, looked up by
// string_view without building a key, to values.
//
// Open addressing over a flat array of slots, at most half full; each slot
// holds a tag of the key's hash and the number of its entry. Entries never
// move (a deque), and the key texts are kept back to back in large blocks,
// so the map makes few allocations however many keys it holds. Iteration
// visits the entries in the order their keys came; sorted_entries() gives
// them in byte order of the keys.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "common/fast/hash.hpp"
#include "common/fast/key_sort.hpp"

namespace at::fast {

template <class Value>
class FlatMap {
public:
    struct Entry {
        std::string_view key;
        Value value;
    };

    // The value of a key, made value-initialised when the key is new. It
    // stays at its address for the life of the map.
    Value& operator[](std::string_view key) {
        if ((entries_.size() + 1) * 2 > slots_.size()) grow();
        const std::uint64_t hash = hash_bytes(key);
        std::size_t at = place_of(hash);
        const std::uint32_t tag = tag_of(hash);
        for (;; at = (at + 1) & mask_) {
            const Slot slot = slots_[at];
            if (slot.entry == 0) break;
            if (slot.tag == tag && entries_[slot.entry - 1].key == key) return entries_[slot.entry - 1].value;
        }
        if (entries_.size() >= max_entries) throw std::length_error("more keys than a map can number");
        entries_.push_back(Entry{keep(key), Value{}});
        slots_[at] = Slot{tag, static_cast<std::uint32_t>(entries_.size())};
        return entries_.back().value;
    }

    // The value of a key, or nullptr when the key is not in the map.
    const Value* find(std::string_view key) const {
        if (slots_.empty()) return nullptr;
        const std::uint64_t hash = hash_bytes(key);
        const std::uint32_t tag = tag_of(hash);
        for (std::size_t at = place_of(hash);; at = (at + 1) & mask_) {
            const Slot slot = slots_[at];
            if (slot.entry == 0) return nullptr;
            if (slot.tag == tag && entries_[slot.entry - 1].key == key) return &entries_[slot.entry - 1].value;
        }
    }
    Value* find(std::string_view key) {
        return const_cast<Value*>(static_cast<const FlatMap&>(*this).find(key));
    }

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

private:
    struct Slot {
        std::uint32_t tag = 0;
        std::uint32_t entry = 0;  // its number from 1; 0 is an empty slot
    };
    static constexpr std::size_t max_entries = 0xffffffffu;
    static constexpr std::size_t block_size = std::size_t{64} << 10;

    // The slot's place comes from the high half of the hash, the tag from
    // the low half, so that the two tell keys apart independently.
    std::size_t place_of(std::uint64_t hash) const { return static_cast<std::size_t>(hash >> 32) & mask_; }
    static std::uint32_t tag_of(std::uint64_t hash) { return static_cast<std::uint32_t>(hash); }

    void grow() {
        const std::size_t capacity = slots_.empty() ? 16 : 2 * slots_.size();
        std::vector<Slot> slots(capacity);
        mask_ = capacity - 1;
        for (std::size_t number = 0; number < entries_.size(); ++number) {
            const std::uint64_t hash = hash_bytes(entries_[number].key);
            std::size_t at = place_of(hash);
            while (slots[at].entry != 0) at = (at + 1) & mask_;
            slots[at] = Slot{tag_of(hash), static_cast<std::uint32_t>(number + 1)};
        }
        slots_ = std::move(slots);
    }

    // A copy of a new key's text that stays where it is.
    std::string_view keep(std::string_view key) {
        if (key.empty()) return {};
        if (block_left_ < key.size()) {
            const std::size_t size = key.size() > block_size ? key.size() : block_size;
            blocks_.push_back(std::make_unique<char[]>(size));
            next_ = blocks_.back().get();
            block_left_ = size;
        }
        char* const at = next_;
        std::memcpy(at, key.data(), key.size());
        next_ += key.size();
        block_left_ -= key.size();
        return std::string_view(at, key.size());
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::deque<Entry> entries_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* next_ = nullptr;
    std::size_t block_left_ = 0;
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
    for (const Entry& entry : map) items.push_back(Item{{0, entry.key.data(), entry.key.size()}, &entry});
    sort_keys(items);
    std::vector<const Entry*> sorted;
    sorted.reserve(items.size());
    for (const Item& item : items) sorted.push_back(item.entry);
    return sorted;
}

}  // namespace at::fast
