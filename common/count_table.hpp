#pragma once
// Count tables: hash tables keyed by byte strings, looked up by string_view
// without building a key, and sorted once when they are written.
// Keys sort as plain unsigned bytes, which is how std::string compares.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace at {

// A fast hash of short byte strings (taxon names, lineages, read IDs): eight
// bytes at a time through a 128-bit multiply. Tables hash every line's key,
// so this sits on the hot path of every program.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        constexpr std::uint64_t seed = 0x9e3779b97f4a7c15ull;
        constexpr std::uint64_t multiplier = 0xbf58476d1ce4e5b9ull;
        std::uint64_t hash = seed ^ (text.size() * multiplier);
        const char* bytes = text.data();
        std::size_t left = text.size();
        for (; left >= 8; bytes += 8, left -= 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes, 8);
            hash = mix(hash ^ word, multiplier);
        }
        if (left != 0) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes, left);
            hash = mix(hash ^ word, multiplier);
        }
        return static_cast<std::size_t>(mix(hash, seed));
    }

private:
    static std::uint64_t mix(std::uint64_t a, std::uint64_t b) noexcept {
        const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
        return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
    }
};

// Keys of a table, copied once into large blocks that never move, so that a
// table holds one allocation per block instead of one per key.
class KeyArena {
public:
    KeyArena() = default;
    KeyArena(const KeyArena&) = delete;
    KeyArena& operator=(const KeyArena&) = delete;
    KeyArena(KeyArena&& other) noexcept { *this = std::move(other); }
    KeyArena& operator=(KeyArena&& other) noexcept {
        blocks_ = std::move(other.blocks_);
        next_ = std::exchange(other.next_, nullptr);
        room_ = std::exchange(other.room_, 0);
        next_block_size_ = other.next_block_size_;
        return *this;
    }

    std::string_view store(std::string_view key) {
        if (key.size() > room_) {
            // Blocks grow from small to large, so that the many small tables
            // (the children of one taxon) stay small.
            next_block_size_ = std::min(next_block_size_ * 2, largest_block_size);
            const std::size_t size = std::max(key.size(), next_block_size_);
            blocks_.push_back(std::make_unique<char[]>(size));
            next_ = blocks_.back().get();
            room_ = size;
        }
        if (!key.empty()) std::memcpy(next_, key.data(), key.size());
        const std::string_view stored(next_, key.size());
        next_ += key.size();
        room_ -= key.size();
        return stored;
    }

private:
    static constexpr std::size_t largest_block_size = std::size_t{1} << 16;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t next_block_size_ = 64;
    char* next_ = nullptr;
    std::size_t room_ = 0;
};

// How a table keeps and hashes its keys: byte strings are copied into the
// table's own key blocks, reference ids are kept as they are.
template <class Key>
struct KeyStore;

template <>
struct KeyStore<std::string_view> {
    std::string_view keep(std::string_view key) { return arena.store(key); }
    static std::uint64_t hash(std::string_view key) { return StringHash{}(key); }
    KeyArena arena;
};

template <>
struct KeyStore<std::int64_t> {
    std::int64_t keep(std::int64_t key) { return key; }
    static std::uint64_t hash(std::int64_t key) {
        // The finishing mix of MurmurHash3: every bit of the id reaches the
        // upper half, which the slots keep.
        auto bits = static_cast<std::uint64_t>(key);
        bits ^= bits >> 33;
        bits *= 0xff51afd7ed558ccdull;
        bits ^= bits >> 33;
        bits *= 0xc4ceb9fe1a85ec53ull;
        return bits ^ (bits >> 33);
    }
};

// A hash table from keys (byte strings, looked up by string_view, or 64-bit
// reference ids) to values. Open addressing over a flat array of slots: each
// slot holds the upper half of its key's hash and the index of its entry, so
// a lookup touches the slot array and, on a hash match, one entry and its
// key. Entries stay in the order they were made; `first` is the key and
// `second` the value, as in std::map.
template <class Key, class Value>
class HashTable {
public:
    struct Entry {
        Key first;
        Value second;
    };
    using value_type = Entry;

    HashTable() = default;
    HashTable(HashTable&&) noexcept = default;
    HashTable& operator=(HashTable&&) noexcept = default;

    // The value of a key, or nullptr when the key is not in the table.
    Value* find(Key key) { return const_cast<Value*>(std::as_const(*this).find(key)); }
    const Value* find(Key key) const {
        if (slots_.empty()) return nullptr;
        const std::uint64_t hash = KeyStore<Key>::hash(key);
        for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
            const std::uint64_t slot = slots_[at];
            if (slot == 0) return nullptr;
            if (tag(slot) == tag_of(hash)) {
                const Entry& candidate = entries_[index(slot)];
                if (candidate.first == key) return &candidate.second;
            }
        }
    }

    // The value of a key, made value-initialised when the key is new.
    Value& operator[](Key key) { return *insert(key).first; }

    const Value& at(Key key) const {
        const Value* found = find(key);
        if (found == nullptr) throw std::out_of_range("no such key in the table");
        return *found;
    }

    // The value of a key; a new key enters with `initial`. The flag says
    // whether the key was new.
    std::pair<Value*, bool> insert(Key key, Value initial = Value{}) {
        if ((entries_.size() + 1) * 2 > slots_.size()) grow();
        const std::uint64_t hash = KeyStore<Key>::hash(key);
        std::size_t at = hash & mask_;
        for (;; at = (at + 1) & mask_) {
            const std::uint64_t slot = slots_[at];
            if (slot == 0) break;
            if (tag(slot) == tag_of(hash)) {
                Entry& candidate = entries_[index(slot)];
                if (candidate.first == key) return {&candidate.second, false};
            }
        }
        slots_[at] = tag_of(hash) << 32 | (entries_.size() + 1);
        entries_.push_back(Entry{keys_.keep(key), std::move(initial)});
        hashes_.push_back(hash);
        return {&entries_.back().second, true};
    }

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }
    auto begin() { return entries_.begin(); }
    auto end() { return entries_.end(); }

private:
    static std::uint64_t tag_of(std::uint64_t hash) { return hash >> 32; }
    static std::uint64_t tag(std::uint64_t slot) { return slot >> 32; }
    static std::size_t index(std::uint64_t slot) { return static_cast<std::size_t>((slot & 0xffffffffu) - 1); }

    // Doubles the slot array, keeping it at most half full.
    void grow() {
        const std::size_t capacity = slots_.empty() ? 16 : slots_.size() * 2;
        std::vector<std::uint64_t> slots(capacity, 0);
        const std::size_t mask = capacity - 1;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            std::size_t at = hashes_[i] & mask;
            while (slots[at] != 0) at = (at + 1) & mask;
            slots[at] = tag_of(hashes_[i]) << 32 | (i + 1);
        }
        slots_ = std::move(slots);
        mask_ = mask;
    }

    std::vector<std::uint64_t> slots_;
    std::size_t mask_ = 0;
    std::vector<Entry> entries_;
    std::vector<std::uint64_t> hashes_;  // of each entry, for growing
    KeyStore<Key> keys_;
};

template <class Value>
using StringMap = HashTable<std::string_view, Value>;

template <class Value>
using IdMap = HashTable<std::int64_t, Value>;

// The value of a key, made value-initialised when the key is new. Copies the
// key only when it is new.
template <class Value>
Value& entry(StringMap<Value>& table, std::string_view key) {
    return table[key];
}

// The entries of a table in ascending key order.
template <class Map>
std::vector<const typename Map::value_type*> sorted_entries(const Map& table) {
    std::vector<const typename Map::value_type*> entries;
    entries.reserve(table.size());
    for (const auto& item : table) entries.push_back(&item);
    std::sort(entries.begin(), entries.end(),
              [](const auto* a, const auto* b) { return a->first < b->first; });
    return entries;
}

}  // namespace at
