#pragma once
// Amounts of many byte-string keys, listed as they come and put in byte
// order once: for tables with about as many keys as additions (the OTUs and
// full lineages of a million distinct lines), where a hash map would only
// add a lookup to each addition and a sort at the end anyway.

#include <cstddef>
#include <string_view>
#include <vector>

#include "common/fast/key_sort.hpp"

namespace at::fast {

template <class Value>
class KeyList {
public:
    // The key's text stays the caller's while the list is used.
    void add(std::string_view key, Value amount) { items_.push_back(Item{{0, key.data(), key.size()}, amount}); }

    // Calls visit(key, sum) for each key in byte order, with the sum of its
    // amounts in the order they were added.
    template <class Visit>
    void for_each_sorted(Visit visit) {
        sort_keys(items_);
        for (std::size_t i = 0; i < items_.size();) {
            const std::string_view key(items_[i].data, items_[i].size);
            Value sum = items_[i].amount;
            for (++i; i < items_.size() && std::string_view(items_[i].data, items_[i].size) == key; ++i) {
                sum += items_[i].amount;
            }
            visit(key, sum);
        }
    }

private:
    struct Item : SortKey {
        Value amount;
    };
    std::vector<Item> items_;
};

}  // namespace at::fast
