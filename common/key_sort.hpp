#pragma once
// Sorting many byte-string keys in plain unsigned byte order.
//
// Comparing whole keys is slow when they share long beginnings, as lineages
// do ("k__Bacteria;p__Firmicutes;..."): every comparison reads the shared
// part again, from keys scattered through memory. Here the keys are sorted
// eight bytes at a time instead: each key's next eight bytes are read once
// into its item (with the next keys' bytes requested ahead, so the waits for
// memory overlap), the items are sorted by those as numbers, and each group
// that agrees on them is sorted on by the eight bytes after. Small groups
// are finished by plain comparison.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace at {

template <class Payload>
struct KeyedItem {
    std::uint64_t chunk;  // eight bytes of the key from the current depth, big-endian
    const char* data;
    std::size_t size;
    Payload payload;
};

namespace detail {

// The eight bytes of a key from `depth` as a big-endian number, zeros past
// its end.
inline std::uint64_t chunk_at(const char* data, std::size_t size, std::size_t depth) {
    std::uint64_t word = 0;
    if (depth + 8 <= size) {
        std::memcpy(&word, data + depth, 8);
    } else if (depth < size) {
        std::memcpy(&word, data + depth, size - depth);
    }
    return __builtin_bswap64(word);
}

}  // namespace detail

// Sorts the items by their keys (data, size) in byte order.
template <class Payload>
void sort_keys(std::vector<KeyedItem<Payload>>& items) {
    using Item = KeyedItem<Payload>;
    constexpr std::size_t small_group = 16;
    constexpr std::size_t ahead = 8;
    struct Group {
        Item* first;
        Item* last;
        std::size_t depth;
    };
    std::vector<Group> groups;
    if (items.size() > 1) groups.push_back({items.data(), items.data() + items.size(), 0});
    while (!groups.empty()) {
        const Group group = groups.back();
        groups.pop_back();
        const std::size_t depth = group.depth;
        const auto count = static_cast<std::size_t>(group.last - group.first);
        if (count <= small_group) {
            std::sort(group.first, group.last, [depth](const Item& a, const Item& b) {
                return std::string_view(a.data + depth, a.size - depth) <
                       std::string_view(b.data + depth, b.size - depth);
            });
            continue;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (i + ahead < count) {
                const Item& next = group.first[i + ahead];
                __builtin_prefetch(next.data + std::min(depth, next.size));
            }
            Item& item = group.first[i];
            item.chunk = detail::chunk_at(item.data, item.size, depth);
        }
        std::sort(group.first, group.last, [](const Item& a, const Item& b) { return a.chunk < b.chunk; });
        for (Item* run = group.first; run != group.last;) {
            Item* end = run + 1;
            while (end != group.last && end->chunk == run->chunk) ++end;
            if (end - run > 1) {
                // Keys that end within these eight bytes come first, shorter
                // before longer (what follows their end reads as zeros); the
                // others are sorted on from the next eight bytes.
                Item* const longer = std::partition(run, end, [depth](const Item& item) { return item.size <= depth + 8; });
                std::sort(run, longer, [](const Item& a, const Item& b) { return a.size < b.size; });
                if (end - longer > 1) groups.push_back({longer, end, depth + 8});
            }
            run = end;
        }
    }
}

}  // namespace at
