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
#include <unordered_map>
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

template <class Value>
using StringMap = std::unordered_map<std::string, Value, StringHash, std::equal_to<>>;

// The entry of a key, made with a value-initialised value when the key is new.
// Allocates only for a new key.
template <class Value>
Value& entry(StringMap<Value>& table, std::string_view key) {
    auto found = table.find(key);
    if (found == table.end()) found = table.emplace(std::string(key), Value{}).first;
    return found->second;
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
