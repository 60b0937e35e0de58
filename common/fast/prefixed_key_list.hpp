#pragma once
// Amounts of many byte-string keys, each one of few prefixes joined to a
// suffix of its own (a lineage down to the species, then an OTU), listed as
// they come and put in byte order of the joined keys once. No joined key is
// ever made: a million of them would be a copy of every lineage.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/fast/key_sort.hpp"

namespace at::fast {

template <class Value>
class PrefixedKeyList {
public:
    // A prefix of the keys to come, and its number. The text stays the
    // caller's while the list is used.
    std::uint32_t add_prefix(std::string_view prefix) {
        prefixes_.push_back(prefix);
        return static_cast<std::uint32_t>(prefixes_.size() - 1);
    }

    // The key `prefix` joined to `suffix`; the text stays the caller's.
    void add(std::uint32_t prefix, std::string_view suffix, Value amount) {
        items_.push_back(Item{prefix, detail::chunk_at(suffix.data(), suffix.size(), 0), suffix, amount});
    }

    // Calls visit(prefix, suffix, sum) for each joined key in byte order,
    // with the sum of its amounts.
    template <class Visit>
    void for_each_sorted(Visit visit) {
        const Order order(prefixes_);
        std::sort(items_.begin(), items_.end(), [&order](const Item& a, const Item& b) { return order.compare(a, b) < 0; });
        for (std::size_t i = 0; i < items_.size();) {
            const Item& first = items_[i];
            Value sum = first.amount;
            for (++i; i < items_.size() && order.compare(first, items_[i]) == 0; ++i) sum += items_[i].amount;
            visit(prefixes_[first.prefix], first.suffix, sum);
        }
    }

private:
    struct Item {
        std::uint32_t prefix;
        // The first eight bytes of the suffix as a number, which orders most
        // suffixes without a read of their texts, scattered through memory.
        std::uint64_t suffix_start;
        std::string_view suffix;
        Value amount;
    };

    // The byte order of joined keys. Two keys of different prefixes, neither
    // of which begins the other, are in the order of their prefixes: the
    // prefixes' places in byte order decide at once. Otherwise the joined
    // texts are compared.
    class Order {
    public:
        explicit Order(const std::vector<std::string_view>& prefixes)
            : prefixes_(prefixes), place_(prefixes.size()), alone_(prefixes.size(), true) {
            std::vector<std::uint32_t> sorted(prefixes.size());
            for (std::uint32_t n = 0; n < sorted.size(); ++n) sorted[n] = n;
            std::sort(sorted.begin(), sorted.end(), [&prefixes](std::uint32_t a, std::uint32_t b) { return prefixes[a] < prefixes[b]; });
            for (std::size_t i = 0; i < sorted.size(); ++i) {
                place_[sorted[i]] = static_cast<std::uint32_t>(i);
                // Every prefix that begins with another follows it in byte
                // order, right after it or after others that begin with it:
                // so each prefix that begins another is followed by one that
                // begins with it, and is marked here.
                if (i + 1 < sorted.size() && prefixes[sorted[i + 1]].starts_with(prefixes[sorted[i]])) {
                    alone_[sorted[i]] = false;
                    alone_[sorted[i + 1]] = false;
                }
            }
        }

        int compare(const Item& a, const Item& b) const {
            if (a.prefix == b.prefix) {
                if (a.suffix_start != b.suffix_start) return a.suffix_start < b.suffix_start ? -1 : 1;
                return a.suffix.compare(b.suffix);
            }
            if (alone_[a.prefix] && alone_[b.prefix]) return place_[a.prefix] < place_[b.prefix] ? -1 : 1;
            return compare_joined(prefixes_[a.prefix], a.suffix, prefixes_[b.prefix], b.suffix);
        }

    private:
        // Compares a1 a2 with b1 b2, each pair taken as one text.
        static int compare_joined(std::string_view a1, std::string_view a2, std::string_view b1, std::string_view b2) {
            for (;;) {
                if (a1.empty()) std::swap(a1, a2);
                if (b1.empty()) std::swap(b1, b2);
                if (a1.empty() || b1.empty()) return a1.empty() ? (b1.empty() ? 0 : -1) : 1;
                const std::size_t common = std::min(a1.size(), b1.size());
                if (const int order = a1.substr(0, common).compare(b1.substr(0, common)); order != 0) return order;
                a1.remove_prefix(common);
                b1.remove_prefix(common);
            }
        }

        const std::vector<std::string_view>& prefixes_;
        std::vector<std::uint32_t> place_;
        std::vector<bool> alone_;
    };

    std::vector<std::string_view> prefixes_;
    std::vector<Item> items_;
};

}  // namespace at::fast
