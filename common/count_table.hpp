#pragma once
// Count tables: hash tables keyed by byte strings, looked up by string_view
// without building a key, and sorted once when they are written.
// Keys sort as plain unsigned bytes, which is how std::string compares.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace at {

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        return std::hash<std::string_view>{}(text);
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
