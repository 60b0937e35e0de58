#pragma once
// Sorting many byte-string keys in plain unsigned byte order.
//
// Comparing whole keys is slow when they share long beginnings, as lineages
// do ("k__Bacteria;p__Firmicutes;..."): every comparison reads the shared
// part again, from keys scattered through memory. Here the keys are sorted
// eight bytes at a time instead (a multikey quicksort): each key's next eight
// bytes are read once into its item, with the next keys' bytes requested
// ahead so that the waits for memory overlap; the items are ordered by those
// bytes as numbers, and each group that agrees on them goes on with the eight
// bytes after. Where a group holds few different values (a shared taxon) it
// is split three ways around one value; where the values are many it is
// sorted by them. Small groups are finished by plain comparison.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace at::fast {

// A key to sort: its bytes, and room for eight of them as a number. Items
// sorted by sort_keys have these three members and may carry more.
struct SortKey {
    std::uint64_t chunk;  // eight bytes of the key from the current depth, big-endian
    const char* data;
    std::size_t size;
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

// Sorts the items from `begin` to `end` by their keys (data, size) in byte
// order.
template <class Item>
void sort_keys(Item* begin, Item* end) {
    constexpr std::size_t small_group = 16;
    constexpr std::size_t ahead = 8;
    struct Group {
        Item* first;
        Item* last;
        std::size_t depth;
        bool loaded;  // whether the items hold their bytes from this depth
        // Set when a three-way split of the group's parent left out few
        // items: the group is then sorted, which bounds the work on any input.
        bool sort_only;
    };
    std::vector<Group> groups;
    if (end - begin > 1) groups.push_back({begin, end, 0, false, false});

    // Items that agree on the eight bytes from `depth`: the keys that end
    // within them come first, shorter before longer (what follows a key's end
    // reads as zeros); the others go on from the next eight bytes.
    const auto agreeing = [&groups](Item* first, Item* last, std::size_t depth) {
        if (last - first < 2) return;
        Item* const longer = std::partition(first, last, [depth](const Item& item) { return item.size <= depth + 8; });
        std::sort(first, longer, [](const Item& a, const Item& b) { return a.size < b.size; });
        if (last - longer > 1) groups.push_back({longer, last, depth + 8, false, false});
    };

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
        if (!group.loaded) {
            for (std::size_t i = 0; i < count; ++i) {
                if (i + ahead < count) {
                    const Item& next = group.first[i + ahead];
                    __builtin_prefetch(next.data + std::min(depth, next.size));
                }
                Item& item = group.first[i];
                item.chunk = detail::chunk_at(item.data, item.size, depth);
            }
        }

        // Five samples: any two alike mean few different values.
        const std::uint64_t samples[5] = {group.first[0].chunk, group.first[count / 4].chunk,
                                          group.first[count / 2].chunk, group.first[3 * count / 4].chunk,
                                          group.last[-1].chunk};
        bool few = false;
        for (int i = 0; i < 5 && !group.sort_only; ++i) {
            for (int j = i + 1; j < 5; ++j) few = few || samples[i] == samples[j];
        }
        if (!few) {
            std::sort(group.first, group.last, [](const Item& a, const Item& b) { return a.chunk < b.chunk; });
            for (Item* run = group.first; run != group.last;) {
                Item* end = run + 1;
                while (end != group.last && end->chunk == run->chunk) ++end;
                agreeing(run, end, depth);
                run = end;
            }
            continue;
        }

        // Three ways around the median of three samples.
        const std::uint64_t a = samples[0], b = samples[2], c = samples[4];
        const std::uint64_t pivot = std::max(std::min(a, b), std::min(std::max(a, b), c));
        Item* below = group.first;
        Item* at = group.first;
        Item* above = group.last;
        while (at < above) {
            if (at->chunk < pivot) {
                std::swap(*below++, *at++);
            } else if (at->chunk > pivot) {
                std::swap(*at, *--above);
            } else {
                ++at;
            }
        }
        const bool sort_next = static_cast<std::size_t>(above - below) < count / 8;
        if (below - group.first > 1) groups.push_back({group.first, below, depth, true, sort_next});
        if (group.last - above > 1) groups.push_back({above, group.last, depth, true, sort_next});
        agreeing(below, above, depth);
    }
}

template <class Item>
void sort_keys(std::vector<Item>& items) {
    sort_keys(items.data(), items.data() + items.size());
}

// The plain twin of sort_keys, which it must agree with: a comparison sort
// of whole keys.
template <class Item>
void sort_keys_plainly(std::vector<Item>& items) {
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return std::string_view(a.data, a.size) < std::string_view(b.data, b.size);
    });
}

}  // namespace at::fast
