#pragma once
// Reads per sample, by key: for each key a row of one count per sample, in
// the order of the samples.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/counts/read_counts.hpp"
#include "common/fast/flat_map.hpp"

namespace at::counts {

class SampleRows {
public:
    explicit SampleRows(std::size_t samples) : samples_(samples), zeros_(samples) {}

    std::size_t samples() const { return samples_; }

    // Adds a read's counts to the row of `key`.
    void add(std::string_view key, std::span<const SampleCount> counts) {
        std::int64_t* row = row_of(key);
        for (const SampleCount& count : counts) row[count.sample] += count.reads;
    }
    // Adds a row of counts to the row of `key`.
    void add(std::string_view key, std::span<const std::int64_t> counts) {
        std::int64_t* row = row_of(key);
        for (std::size_t sample = 0; sample < samples_; ++sample) row[sample] += counts[sample];
    }

    // The row of `key`; zeros for a key never added.
    std::span<const std::int64_t> row(std::string_view key) const {
        const std::size_t* first = first_.find(key);
        return std::span<const std::int64_t>(first == nullptr ? zeros_.data() : counts_.data() + *first, samples_);
    }

    // The row of the key `head` followed by `ending`: of a line kept as its
    // head and its last token. Valid until the next call.
    std::span<const std::int64_t> row(std::string_view head, std::string_view ending) {
        joined_.assign(head);
        joined_ += ending;
        return row(joined_);
    }

    // The rows of the lines of one head added up: each line's key is the
    // head followed by its ending's `last` text. Valid until the next call.
    template <class Endings>
    std::span<const std::int64_t> sum_of_lines(std::string_view head, const Endings& endings) {
        sums_.assign(samples_, 0);
        for (const auto& ending : endings) {
            const auto line = row(head, ending.last);
            for (std::size_t sample = 0; sample < samples_; ++sample) sums_[sample] += line[sample];
        }
        return sums_;
    }

private:
    std::int64_t* row_of(std::string_view key) {
        const std::size_t made = first_.size();
        std::size_t& first = first_[key];
        if (first_.size() != made) {
            first = counts_.size();
            counts_.resize(counts_.size() + samples_);
        }
        return counts_.data() + first;
    }

    std::size_t samples_;
    fast::FlatMap<std::size_t> first_;  // key -> its row's first count in counts_
    std::vector<std::int64_t> counts_;
    std::vector<std::int64_t> zeros_;
    std::string joined_;
    std::vector<std::int64_t> sums_;
};

}  // namespace at::counts
