#pragma once
// What each read of a classification stands for, from a count table or a
// group file: the classifier ran on unique sequences, each of which stands
// for a number of reads, spread over the samples of a study.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/fast/flat_map.hpp"

namespace at::counts {

// The reads of one sample that a unique sequence stands for.
struct SampleCount {
    std::uint32_t sample;  // the place of the sample in ReadCounts::samples()
    std::int64_t reads;
};

class ReadCounts {
public:
    // What one read ID stands for: its reads in all and, when the file names
    // samples, in each sample where it has any.
    struct Read {
        std::int64_t total;
        std::span<const SampleCount> samples;
    };

    // `file` names the file the counts come from in a missing read's message.
    explicit ReadCounts(std::string file) : file_(std::move(file)) {}

    // The samples' names, in the order of their columns.
    const std::vector<std::string>& samples() const { return samples_; }
    // Adds a sample after the others; returns its place.
    std::uint32_t add_sample(std::string_view name);

    // Lists a read; false, and nothing changed, when it is listed already.
    bool add(std::string_view read_id, std::int64_t total, std::span<const SampleCount> samples);

    // What a read stands for. Throws io::ReadNotListed for a read not listed.
    Read of(std::string_view read_id) const;

    // Puts the samples in byte order of their names.
    void sort_samples();

private:
    struct Listed {
        std::int64_t total = 0;
        std::uint32_t first = 0;  // in sample_counts_
        std::uint32_t size = 0;
    };

    std::string file_;
    std::vector<std::string> samples_;
    fast::FlatMap<Listed> reads_;
    std::vector<SampleCount> sample_counts_;
};

}  // namespace at::counts
