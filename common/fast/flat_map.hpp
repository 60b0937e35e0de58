#pragma once
// The one hash map of the programs: keys (byte strings, looked up by
// string_view without building a key, or 64-bit integers) to values.
//
// Open addressing over one flat array of slots, at most three quarters
// full: a slot holds its key's hash, the key and the value, so that a lookup
// reads one place in memory, and the few places after it that a collision
// fills lie in the same or the next cache line. A byte-string key of up to
// 15 bytes (an OTU, a taxon name) is held in its slot; a longer one is kept
// in an arena, and a lookup reads its text there too. Tables of a million
// keys are far larger than the processor's caches: every place a lookup
// reads is a wait for memory. The slots of such a table are kept in huge
// pages (large_arrays.hpp).

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/fast/hash.hpp"
#include "common/fast/key_sort.hpp"
#include "common/fast/large_arrays.hpp"
#include "common/text/arena.hpp"

namespace at::fast {

// A byte-string key as a slot holds it, in 16 bytes: a text of up to 15
// bytes itself, with its size in the last byte; a longer one as the place
// and size of its copy in an arena, with 0xff in the last byte (the top
// byte of the size, which never uses it).
class StoredText {
public:
    void hold(std::string_view text, TextArena& arena) {
        if (text.size() < sizeof bytes_) {
            if (!text.empty()) std::memcpy(bytes_, text.data(), text.size());  // an empty view may hold no place
            bytes_[last] = static_cast<char>(text.size());
            return;
        }
        const std::string_view kept = arena.keep(text);
        const char* const data = kept.data();
        const std::uint64_t size = kept.size();
        std::memcpy(bytes_, &data, sizeof data);
        std::memcpy(bytes_ + sizeof data, &size, sizeof size);
        bytes_[last] = far;
    }

    std::string_view text() const {
        if (bytes_[last] != far) return std::string_view(bytes_, static_cast<unsigned char>(bytes_[last]));
        const char* data;
        std::uint64_t size;
        std::memcpy(&data, bytes_, sizeof data);
        std::memcpy(&size, bytes_ + sizeof data, sizeof size);
        return std::string_view(data, size & size_bits);
    }

    bool operator==(std::string_view text) const {
        if (bytes_[last] != far) {
            return static_cast<unsigned char>(bytes_[last]) == text.size() &&
                   (text.empty() || std::memcmp(bytes_, text.data(), text.size()) == 0);
        }
        return this->text() == text;
    }

private:
    static_assert(std::endian::native == std::endian::little && sizeof(const char*) == 8,
                  "the size of a far text leaves its top byte in the last byte");
    static constexpr std::size_t last = 15;
    static constexpr char far = static_cast<char>(0xff);
    static constexpr std::uint64_t size_bits = (std::uint64_t{1} << 56) - 1;

    char bytes_[16] = {};
};

template <class Value, class Key = std::string_view>
class FlatMap {
    static_assert(std::is_same_v<Key, std::string_view> || std::is_same_v<Key, std::int64_t>);
    static constexpr bool text_keys = std::is_same_v<Key, std::string_view>;

public:
    class Entry {
    public:
        // Views of the map's keys and values are valid until the next key
        // is added.
        Key key() const {
            if constexpr (text_keys) {
                return key_.text();
            } else {
                return key_;
            }
        }
        Value value{};

    private:
        friend class FlatMap;
        std::conditional_t<text_keys, StoredText, Key> key_{};
    };

    // The value of a key, made value-initialised when the key is new.
    Value& operator[](Key key) { return value_of(key, hash_of(key)); }

    // The same with the key's hash_of() at hand.
    Value& value_of(Key key, std::uint64_t hash) {
        make_room();
        Slot& made = slot_for(hash, [key](const Entry& entry) { return entry.key_ == key; });
        if (made.hash != no_key) return made.entry.value;
        made.hash = hash;
        if constexpr (text_keys) {
            made.entry.key_.hold(key, texts_);
        } else {
            made.entry.key_ = key;
        }
        ++size_;
        return made.entry.value;
    }

    // The value of the key that matches(held key) accepts among those of
    // `hash`; when there is none, a value-initialised one under the key
    // held_for() gives. For keys held in another form than they are looked
    // up by: a map filled this way is looked up only this way. held_for()
    // must not change this map.
    template <class Matches, class HeldFor>
    Value& value_matching(std::uint64_t hash, Matches matches, HeldFor held_for) {
        static_assert(text_keys);
        make_room();
        Slot& made = slot_for(hash, [&matches](const Entry& entry) { return matches(entry.key()); });
        if (made.hash != no_key) return made.entry.value;
        made.hash = hash;
        made.entry.key_.hold(held_for(), texts_);
        ++size_;
        return made.entry.value;
    }

    // The value of a key, or nullptr when the key is not in the map.
    const Value* find(Key key) const { return find(key, hash_of(key)); }
    Value* find(Key key) { return const_cast<Value*>(std::as_const(*this).find(key)); }
    // The same with the key's hash_of() at hand.
    const Value* find(Key key, std::uint64_t hash) const {
        if (size_ == 0) return nullptr;
        const Slot& slot = slot_for(hash, [key](const Entry& entry) { return entry.key_ == key; });
        return slot.hash == no_key ? nullptr : &slot.entry.value;
    }

    std::size_t size() const { return size_; }
    // The memory of the table's slots.
    std::size_t slot_bytes() const { return slots_.size() * sizeof(Slot); }

    // Calls visit(key, value) for every entry, in no particular order.
    template <class Visit>
    void for_each(Visit visit) const {
        for (const Slot& slot : slots_) {
            if (slot.hash != no_key) visit(slot.entry.key(), slot.entry.value);
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
                const std::string_view text = slot.entry.key();
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

    // The slot of the key of `hash` whose entry `matches` accepts, or the
    // empty slot where such a key would go. The table has an empty slot.
    template <class Matches>
    Slot& slot_for(std::uint64_t hash, Matches matches) {
        return const_cast<Slot&>(std::as_const(*this).slot_for(hash, matches));
    }
    template <class Matches>
    const Slot& slot_for(std::uint64_t hash, Matches matches) const {
        for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
            const Slot& slot = slots_[at];
            if (slot.hash == no_key || (slot.hash == hash && matches(slot.entry))) return slot;
        }
    }

    // Grows the table when one more key would fill more than three quarters of it.
    void make_room() {
        if ((size_ + 1) * 4 > slots_.size() * 3) grow();
    }

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
    map.for_each_entry([&items](const Entry& entry) {
        const std::string_view key = entry.key();
        items.push_back(Item{{0, key.data(), key.size()}, &entry});
    });
    sort_keys(items);
    std::vector<const Entry*> sorted;
    sorted.reserve(items.size());
    for (const Item& item : items) sorted.push_back(item.entry);
    return sorted;
}

}  // namespace at::fast
