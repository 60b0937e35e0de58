#pragma once
// A value per byte-string key, read row by row and written back in ascending
// key order.
//
// The tables these programs write come out in ascending key order, and they
// are what the next program in a pipeline reads. While the keys of the rows
// read keep ascending, the rows are kept as a plain list in reading order,
// which is then already the order of writing: no hashing and no sorting. The
// first key that does not ascend moves the list into a hash table, and from
// then on keys are looked up and sorted once when written.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/count_table.hpp"

namespace at {

template <class Value>
class OrderedRows {
public:
    // The value of a key, made value-initialised when the key is new. Valid
    // until the next call.
    Value& operator[](std::string_view key) {
        if (!in_order_) return hashed_[key];
        if (!rows_.empty()) {
            const std::string_view last = key_of(rows_.size() - 1);
            if (key == last) return rows_.back().second;
            if (!(last < key)) {
                spill();
                return hashed_[key];
            }
        }
        keys_.append(key);
        rows_.emplace_back(keys_.size(), Value{});
        return rows_.back().second;
    }

    std::size_t size() const { return in_order_ ? rows_.size() : hashed_.size(); }

    // Calls visit(key, value) for every key in ascending byte order.
    template <class Visit>
    void visit_sorted(Visit visit) const {
        if (in_order_) {
            for (std::size_t row = 0; row < rows_.size(); ++row) visit(key_of(row), rows_[row].second);
            return;
        }
        for (const auto* entry : sorted_entries(hashed_)) visit(entry->first, entry->second);
    }

private:
    std::string_view key_of(std::size_t row) const {
        const std::size_t start = row == 0 ? 0 : rows_[row - 1].first;
        return std::string_view(keys_).substr(start, rows_[row].first - start);
    }

    void spill() {
        for (std::size_t row = 0; row < rows_.size(); ++row) hashed_[key_of(row)] = std::move(rows_[row].second);
        in_order_ = false;
        std::string().swap(keys_);
        std::vector<std::pair<std::size_t, Value>>().swap(rows_);
    }

    bool in_order_ = true;
    // The keys of the rows back to back, and per row the end of its key in
    // keys_ and its value.
    std::string keys_;
    std::vector<std::pair<std::size_t, Value>> rows_;
    StringMap<Value> hashed_;
};

}  // namespace at
