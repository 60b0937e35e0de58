#pragma once
// Count tables: hash tables keyed by byte strings (looked up by string_view
// without building a key) or by reference ids, sorted once when written.
// Keys sort as plain unsigned bytes, which is how std::string compares.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/key_sort.hpp"

namespace at {

// A fast hash of short byte strings (taxon names, lineages, read IDs): eight
// bytes at a time through a 128-bit multiply. Tables hash every line's key,
// so this sits on the hot path of every program. Kept out of line: inlined
// into a large loop (readtally's), it had the compiler store and reload each
// 128-bit product on the stack, which doubles the time of every eight bytes.
struct StringHash {
    [[gnu::noinline]] std::size_t operator()(std::string_view text) const noexcept {
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
        if (left != 0) hash = mix(hash ^ tail(bytes, left), multiplier);
        return static_cast<std::size_t>(mix(hash, seed));
    }

private:
    // The last 1 to 7 bytes as a word, as memcpy into a zeroed word would
    // make it. Two overlapping loads put together: copied byte by byte, the
    // word would wait on its stores before it could be read back.
    static std::uint64_t tail(const char* bytes, std::size_t left) noexcept {
        if constexpr (std::endian::native == std::endian::little) {
            if (left >= 4) return joined<std::uint32_t>(bytes, left);
            if (left >= 2) return joined<std::uint16_t>(bytes, left);
            return static_cast<unsigned char>(bytes[0]);
        } else {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes, left);
            return word;
        }
    }

    // `left` bytes, one to two Loads long, as the first and the last Load of
    // them put together: where the two overlap, they hold the same bytes.
    template <class Load>
    static std::uint64_t joined(const char* bytes, std::size_t left) noexcept {
        Load first;
        Load last;
        std::memcpy(&first, bytes, sizeof(Load));
        std::memcpy(&last, bytes + left - sizeof(Load), sizeof(Load));
        return first | std::uint64_t{last} << (8 * (left - sizeof(Load)));
    }

    static std::uint64_t mix(std::uint64_t a, std::uint64_t b) noexcept {
        const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
        return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
    }
};

namespace detail {

inline std::uint64_t hash_key(std::string_view key) { return StringHash{}(key); }

inline std::uint64_t hash_key(std::int64_t key) {
    // The finishing mix of MurmurHash3: every bit of the id reaches every
    // bit of the hash.
    auto bits = static_cast<std::uint64_t>(key);
    bits ^= bits >> 33;
    bits *= 0xff51afd7ed558ccdull;
    bits ^= bits >> 33;
    bits *= 0xc4ceb9fe1a85ec53ull;
    return bits ^ (bits >> 33);
}

// Bytes a key keeps behind its record: a byte string's text, nothing for an id.
inline std::size_t key_bytes(std::string_view key) { return key.size(); }
inline std::size_t key_bytes(std::int64_t) { return 0; }

}  // namespace detail

// A hash table from keys (byte strings, looked up by string_view, or 64-bit
// reference ids) to values.
//
// Every entry is a record in large blocks that never move: the key and value
// side by side, a byte-string key's text right behind them. So an entry stays
// where it is while the table grows, a lookup that finds its slot reads one
// place in memory for key and value, and the table makes one allocation per
// block instead of one per key. The slots are a flat array (open addressing,
// at most half full) of the key's hash and its record. Iteration visits the
// entries in the order they were made; `first` is the key and `second` the
// value, as in std::map.
template <class Key, class Value>
class HashTable {
public:
    struct Entry {
        Key first;
        Value second;
    };
    using value_type = Entry;

private:
    struct Slot {
        std::uint64_t hash = 0;
        Entry* entry = nullptr;
    };

    // Storage for records, aligned for any entry.
    using Unit = std::max_align_t;
    struct Block {
        std::unique_ptr<Unit[]> units;
        std::size_t used = 0;
        std::size_t capacity = 0;
        unsigned char* bytes() const { return reinterpret_cast<unsigned char*>(units.get()); }
    };

    // Records are aligned only as their entry needs (8 bytes for a byte
    // string's view), not as the blocks are: up to 8 bytes less per key,
    // a sixth of the table for short keys such as OTU names.
    static constexpr std::size_t record_size(std::size_t key_bytes) {
        static_assert(alignof(Entry) <= alignof(Unit), "blocks are aligned for every entry");
        constexpr std::size_t align = alignof(Entry);
        return (sizeof(Entry) + key_bytes + align - 1) / align * align;
    }
    static constexpr std::size_t largest_block_size = std::size_t{1} << 16;
    static constexpr std::size_t initial_block_size = 128;

public:

    HashTable() = default;
    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;
    HashTable(HashTable&& other) noexcept { take(other); }
    HashTable& operator=(HashTable&& other) noexcept {
        if (this != &other) {
            destroy_entries();
            take(other);
        }
        return *this;
    }
    ~HashTable() { destroy_entries(); }

    static std::uint64_t hash_of(Key key) { return detail::hash_key(key); }

    // The value of a key, or nullptr when the key is not in the table.
    Value* find(Key key) { return const_cast<Value*>(std::as_const(*this).find(key)); }
    const Value* find(Key key) const { return find_hashed(key, hash_of(key)); }

    // The same, with the key's hash_of() already at hand.
    const Value* find_hashed(Key key, std::uint64_t hash) const {
        if (slots_.empty()) return nullptr;
        for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
            const Slot& slot = slots_[at];
            if (slot.entry == nullptr) return nullptr;
            if (slot.hash == hash && slot.entry->first == key) return &slot.entry->second;
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
    // whether the key was new. The value stays at its address for the life
    // of the table.
    std::pair<Value*, bool> insert(Key key, Value initial = Value{}) {
        return insert_hashed(key, hash_of(key), std::move(initial));
    }

    // The same, with the key's hash_of() already at hand.
    std::pair<Value*, bool> insert_hashed(Key key, std::uint64_t hash, Value initial = Value{}) {
        const auto [entry, is_new] = insert_matching(
            hash, [key](Key stored) { return stored == key; }, [key] { return key; }, std::move(initial));
        return {&entry->second, is_new};
    }

    // The entry of this hash whose stored key `matches(stored)` accepts; when
    // there is none, a new entry keyed `make_key()` and holding `initial`.
    // The flag says whether it is new. For tables that store their keys in
    // another form than they are looked up by: `hash` stands for the key as
    // looked up, and must be the same every time for the same key.
    template <class Matches, class MakeKey>
    std::pair<Entry*, bool> insert_matching(std::uint64_t hash, Matches matches, MakeKey make_key,
                                            Value initial = Value{}) {
        if ((size_ + 1) * 2 > slots_.size()) grow();
        std::size_t at = hash & mask_;
        for (;; at = (at + 1) & mask_) {
            const Slot& slot = slots_[at];
            if (slot.entry == nullptr) break;
            if (slot.hash == hash && matches(slot.entry->first)) return {slot.entry, false};
        }
        Entry* made = make_entry(make_key(), std::move(initial));
        slots_[at] = Slot{hash, made};
        ++size_;
        return {made, true};
    }

    // Asks the processor to fetch the first slot of a hash, and then the
    // entry it holds, so that lookups of many keys overlap their waits for
    // memory. Changes nothing.
    void prefetch_slot(std::uint64_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[hash & mask_]);
    }
    void prefetch_entry(std::uint64_t hash) const {
        if (slots_.empty()) return;
        const Entry* entry = slots_[hash & mask_].entry;
        if (entry != nullptr) __builtin_prefetch(entry);
    }

    // Makes room for `count` keys in all, so that the table does not grow
    // (and move every key) on the way there. Keys still fit beyond it.
    void reserve(std::size_t count) {
        std::size_t capacity = slots_.empty() ? 16 : slots_.size();
        while (capacity < count * 2) capacity *= 2;
        if (capacity != slots_.size()) rehash(capacity);
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // The entry whose byte-string key text starts at `text`: the text is kept
    // right behind its entry.
    static const Entry* entry_of_key(const char* text) {
        return reinterpret_cast<const Entry*>(text - sizeof(Entry));
    }

    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = Entry*;
        using reference = Entry&;

        Iterator() = default;
        Iterator(const std::vector<Block>* blocks, std::size_t block, std::size_t offset)
            : blocks_(blocks), block_(block), offset_(offset) {
            skip_finished_blocks();
        }
        Entry& operator*() const { return *entry(); }
        Entry* operator->() const { return entry(); }
        Iterator& operator++() {
            offset_ += record_size(detail::key_bytes(entry()->first));
            skip_finished_blocks();
            return *this;
        }
        bool operator==(const Iterator& other) const { return block_ == other.block_ && offset_ == other.offset_; }

    private:
        Entry* entry() const { return reinterpret_cast<Entry*>((*blocks_)[block_].bytes() + offset_); }
        void skip_finished_blocks() {
            while (block_ < blocks_->size() && offset_ >= (*blocks_)[block_].used) {
                ++block_;
                offset_ = 0;
            }
        }
        const std::vector<Block>* blocks_ = nullptr;
        std::size_t block_ = 0;
        std::size_t offset_ = 0;
    };

    Iterator begin() const { return Iterator(&blocks_, 0, 0); }
    Iterator end() const { return Iterator(&blocks_, blocks_.size(), 0); }

private:
    Entry* make_entry(Key key, Value&& initial) {
        const std::size_t extra = detail::key_bytes(key);
        const std::size_t size = record_size(extra);
        if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < size) {
            // Blocks grow from small to large, so that the many small tables
            // (the children of one taxon) stay small.
            next_block_size_ = std::min(next_block_size_ * 2, largest_block_size);
            const std::size_t capacity = std::max(size, next_block_size_);
            Block block;
            block.units.reset(new Unit[(capacity + sizeof(Unit) - 1) / sizeof(Unit)]);
            block.capacity = capacity;
            blocks_.push_back(std::move(block));
        }
        Block& block = blocks_.back();
        unsigned char* place = block.bytes() + block.used;
        block.used += size;
        if constexpr (std::is_same_v<Key, std::string_view>) {
            char* text = reinterpret_cast<char*>(place + sizeof(Entry));
            if (!key.empty()) std::memcpy(text, key.data(), key.size());
            key = std::string_view(text, key.size());
        }
        return new (place) Entry{key, std::move(initial)};
    }

    // Doubles the slot array, keeping it at most half full.
    void grow() { rehash(slots_.empty() ? 16 : slots_.size() * 2); }

    void rehash(std::size_t capacity) {
        std::vector<Slot> slots(capacity);
        const std::size_t mask = capacity - 1;
        for (const Slot& slot : slots_) {
            if (slot.entry == nullptr) continue;
            std::size_t at = slot.hash & mask;
            while (slots[at].entry != nullptr) at = (at + 1) & mask;
            slots[at] = slot;
        }
        slots_ = std::move(slots);
        mask_ = mask;
    }

    void destroy_entries() {
        if constexpr (!std::is_trivially_destructible_v<Entry>) {
            for (const Block& block : blocks_) {
                for (std::size_t offset = 0; offset < block.used;) {
                    Entry* entry = reinterpret_cast<Entry*>(block.bytes() + offset);
                    offset += record_size(detail::key_bytes(entry->first));
                    entry->~Entry();
                }
            }
        }
        blocks_.clear();
    }

    void take(HashTable& other) {
        slots_ = std::move(other.slots_);
        mask_ = std::exchange(other.mask_, 0);
        size_ = std::exchange(other.size_, 0);
        blocks_ = std::move(other.blocks_);
        next_block_size_ = std::exchange(other.next_block_size_, initial_block_size);
        other.slots_.clear();
        other.blocks_.clear();
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
    std::vector<Block> blocks_;
    std::size_t next_block_size_ = initial_block_size;
};

template <class Value>
using StringMap = HashTable<std::string_view, Value>;

template <class Value>
using IdMap = HashTable<std::int64_t, Value>;

// A table of byte-string keys that many share their beginning: each key is
// looked up with the size of its head, the beginning that the caller cuts
// off the same way every time for the same key, and the rest is its tail.
// The heads are kept once, in a small table of their own, and known by
// their number; an entry keeps its head's number and its tail. A million
// lineages that share a few thousand heads (the taxa down to the species)
// then take half to two thirds of the memory, and a lookup compares the head
// with the few heads that stay in the processor's caches instead of with a
// long key text far away in memory.
template <class Value>
class SplitKeyMap {
    using Entries = StringMap<Value>;
    using HeadNumber = std::uint32_t;
    static constexpr std::size_t number_size = sizeof(HeadNumber);

public:
    // An entry: `first` is the head's number and the tail, `second` the value.
    using Entry = typename Entries::Entry;
    using value_type = Entry;

    // The hash a key is looked up by: that of the whole key.
    static std::uint64_t hash_of(std::string_view key) { return Entries::hash_of(key); }

    // The value of a key whose first `head_size` bytes are its head, made
    // value-initialised when the key is new. The flag says whether it was.
    std::pair<Value*, bool> insert(std::string_view key, std::size_t head_size) {
        return insert_hashed(key, head_size, hash_of(key));
    }

    // The same, with the key's hash_of() already at hand.
    std::pair<Value*, bool> insert_hashed(std::string_view key, std::size_t head_size, std::uint64_t hash) {
        const std::string_view head = key.substr(0, head_size);
        const std::string_view tail = key.substr(head_size);
        const auto [entry, is_new] = entries_.insert_matching(
            hash,
            [&](std::string_view stored) {
                // The tail stands beside the entry; the head is in the cache.
                if (stored.size() != number_size + tail.size() ||
                    std::memcmp(stored.data() + number_size, tail.data(), tail.size()) != 0) {
                    return false;
                }
                const std::string_view known = heads_[number_in(stored)];
                return known.size() == head.size() && std::memcmp(known.data(), head.data(), head.size()) == 0;
            },
            [&] {
                const HeadNumber number = number_of(head);
                stored_.assign(reinterpret_cast<const char*>(&number), number_size);
                stored_.append(tail);
                return std::string_view(stored_);
            });
        return {&entry->second, is_new};
    }

    void prefetch_slot(std::uint64_t hash) const { entries_.prefetch_slot(hash); }
    void prefetch_entry(std::uint64_t hash) const { entries_.prefetch_entry(hash); }

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    // The entries in the order they were made.
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

    // The heads, numbered from 0 in the order they came. Every head has at
    // least one entry.
    std::size_t head_count() const { return heads_.size(); }
    std::string_view head_text(std::size_t number) const { return heads_[number]; }

    static std::size_t head_number(const Entry& entry) { return number_in(entry.first); }
    std::string_view head(const Entry& entry) const { return heads_[head_number(entry)]; }
    static std::string_view tail(const Entry& entry) { return entry.first.substr(number_size); }
    // The entry whose tail text starts at `text`.
    static const Entry* entry_of_tail(const char* text) { return Entries::entry_of_key(text - number_size); }

private:
    static HeadNumber number_in(std::string_view stored) {
        HeadNumber number;
        std::memcpy(&number, stored.data(), number_size);
        return number;
    }

    HeadNumber number_of(std::string_view head) {
        const auto [entry, is_new] = numbers_.insert_matching(
            StringMap<HeadNumber>::hash_of(head), [head](std::string_view known) { return known == head; },
            [head] { return head; }, static_cast<HeadNumber>(heads_.size()));
        if (is_new) {
            // Past the last number the run ends here, before the number
            // given above (wrapped round) is ever used.
            if (heads_.size() > std::numeric_limits<HeadNumber>::max()) {
                throw std::length_error("more distinct key heads than a table can number");
            }
            // The text the table of numbers keeps, which never moves.
            heads_.push_back(entry->first);
        }
        return entry->second;
    }

    Entries entries_;
    StringMap<HeadNumber> numbers_;
    std::vector<std::string_view> heads_;
    // A new entry's stored key is made here.
    std::string stored_;
};

// A bit per possible hash of a few bits, set for the keys of a table: a key
// whose bit is clear is not in the table, found without reading the table.
// Where most keys looked up are absent and the table is larger than the
// processor's caches, this small array answers most lookups from the cache.
// About 8 bits per key; one key in nine that is absent still passes.
class HashFilter {
public:
    template <class Table>
    explicit HashFilter(const Table& table) {
        std::size_t bits = 64;
        while (bits < table.size() * 8) bits *= 2;
        words_.assign(bits / 64, 0);
        mask_ = bits - 1;
        for (const auto& entry : table) {
            const std::size_t bit = bit_of(Table::hash_of(entry.first));
            words_[bit / 64] |= std::uint64_t{1} << (bit % 64);
        }
    }

    // False when no key of the table has this hash_of().
    bool may_hold(std::uint64_t hash) const {
        const std::size_t bit = bit_of(hash);
        return (words_[bit / 64] >> (bit % 64)) & 1;
    }

private:
    // The high bits of the hash: the table's slots take the low ones.
    std::size_t bit_of(std::uint64_t hash) const { return static_cast<std::size_t>(hash >> 32) & mask_; }

    std::vector<std::uint64_t> words_;
    std::size_t mask_ = 0;
};

// Updates of a string table (a StringMap or a SplitKeyMap) gathered into
// small batches. Once the table outgrows the processor's caches, each lookup
// waits for memory; each key's slot is asked for as the key is added, a batch
// then asks for the entries of all its keys, so that those waits overlap, and
// then updates the values in the order the keys came.
// `update(value, tag)` is called for each key added, with the tag given.
template <class Table, class Update, class Tag = unsigned>
class BatchedUpdates {
public:
    static constexpr std::size_t batch_size = 64;
    static constexpr std::size_t lead = 16;

    BatchedUpdates(Table& table, Update update) : table_(table), update_(std::move(update)) {}
    BatchedUpdates(BatchedUpdates&&) = default;

    // A key of a StringMap.
    void add(std::string_view key, Tag tag) { add(key, 0, tag); }

    // A key of a SplitKeyMap, whose first `head_size` bytes are its head.
    void add(std::string_view key, std::size_t head_size, Tag tag) {
        Pending& pending = pending_[count_++];
        pending.start = keys_.size();
        pending.size = key.size();
        pending.head_size = head_size;
        pending.tag = tag;
        pending.hash = Table::hash_of(key);
        // Asked for now, the slot arrives while the next lines are read;
        // by the time `lead` more keys are added, it is there to say where
        // the key's entry is, which is asked for then.
        table_.prefetch_slot(pending.hash);
        if (count_ > lead) table_.prefetch_entry(pending_[count_ - 1 - lead].hash);
        keys_.append(key);
        if (count_ == batch_size) flush();
    }

    // Applies every update added so far; call before reading the table.
    void flush() {
        const std::size_t asked = count_ > lead ? count_ - lead : 0;
        for (std::size_t i = asked; i < count_; ++i) table_.prefetch_entry(pending_[i].hash);
        for (std::size_t i = 0; i < count_; ++i) update_(value_of(pending_[i]), pending_[i].tag);
        count_ = 0;
        keys_.clear();
    }

private:
    struct Pending {
        std::size_t start;
        std::size_t size;
        std::size_t head_size;
        std::uint64_t hash;
        Tag tag;
    };

    auto& value_of(const Pending& pending) {
        const std::string_view key = std::string_view(keys_).substr(pending.start, pending.size);
        if constexpr (requires { table_.head_count(); }) {
            return *table_.insert_hashed(key, pending.head_size, pending.hash).first;
        } else {
            return *table_.insert_hashed(key, pending.hash).first;
        }
    }

    Table& table_;
    Update update_;
    std::string keys_;
    Pending pending_[batch_size];
    std::size_t count_ = 0;
};

// The value of a key, made value-initialised when the key is new. Copies the
// key only when it is new.
template <class Value>
Value& entry(StringMap<Value>& table, std::string_view key) {
    return table[key];
}

// The entries of a table in ascending key order.
template <class Map>
std::vector<const typename Map::value_type*> sorted_entries(const Map& table) {
    using Entry = typename Map::value_type;
    std::vector<const Entry*> entries;
    entries.reserve(table.size());
    if constexpr (std::is_same_v<decltype(Entry::first), std::string_view>) {
        std::vector<SortKey> keys;
        keys.reserve(table.size());
        for (const auto& item : table) keys.push_back({0, item.first.data(), item.first.size()});
        sort_keys(keys);
        for (const SortKey& key : keys) entries.push_back(Map::entry_of_key(key.data));
    } else {
        for (const auto& item : table) entries.push_back(&item);
        std::sort(entries.begin(), entries.end(), [](const Entry* a, const Entry* b) { return a->first < b->first; });
    }
    return entries;
}

// The entries of a SplitKeyMap grouped by their heads, the heads in byte
// order. Where many keys share few heads (a million lineages, a few thousand
// sets of taxa down to the species), what follows from a head is worked out
// once per group, and only the tail of each key one by one. Each entry is
// kept as the Item that `make_item(entry)` makes of it.
template <class Value, class Item>
class HeadGroups {
public:
    struct Group {
        std::string_view head;
        // The group's items: items()[first] to items()[last - 1].
        std::size_t first;
        std::size_t last;
    };

    template <class MakeItem>
    HeadGroups(const SplitKeyMap<Value>& table, MakeItem make_item) {
        using Table = SplitKeyMap<Value>;
        std::vector<std::size_t> sizes(table.head_count());
        for (const auto& entry : table) ++sizes[Table::head_number(entry)];
        // The heads in byte order; where each group's items start.
        struct Head : SortKey {
            std::size_t number;
        };
        std::vector<Head> heads(table.head_count());
        for (std::size_t number = 0; number < heads.size(); ++number) {
            const std::string_view text = table.head_text(number);
            heads[number] = Head{{0, text.data(), text.size()}, number};
        }
        sort_keys(heads);
        std::vector<std::size_t> next(heads.size());
        groups_.reserve(heads.size());
        std::size_t at = 0;
        for (const Head& head : heads) {
            next[head.number] = at;
            groups_.push_back({std::string_view(head.data, head.size), at, at + sizes[head.number]});
            at += sizes[head.number];
        }
        items_.resize(table.size());
        for (const auto& entry : table) items_[next[Table::head_number(entry)]++] = make_item(entry);
    }

    // The groups, their heads in byte order.
    const std::vector<Group>& groups() const { return groups_; }
    std::vector<Item>& items() { return items_; }
    const std::vector<Item>& items() const { return items_; }

private:
    std::vector<Group> groups_;
    std::vector<Item> items_;
};

// Asks for the first two cache lines of a record: an entry and, for a
// byte-string key, the key's text right behind it.
inline void prefetch_record(const void* entry) {
    const char* const record = static_cast<const char*>(entry);
    __builtin_prefetch(record);
    __builtin_prefetch(record + 64);
}

// Asks for the entry a few places further on in a list of entries, so that a
// walk through a table in key order (which is not the order of the entries in
// memory) does not wait for each entry in turn.
template <class Entry>
void prefetch_ahead(const std::vector<const Entry*>& entries, std::size_t at) {
    constexpr std::size_t ahead = 8;
    if (at + ahead < entries.size()) prefetch_record(entries[at + ahead]);
}

}  // namespace at
