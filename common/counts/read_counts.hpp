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
#include "common/fast/large_arrays.hpp"
#include "common/fast/select_in_order.hpp"
#include "common/io/errors.hpp"

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

    // A read as a line of a file lists it.
    struct Listing {
        std::string read_id;
        std::int64_t total = 0;
        std::vector<SampleCount> samples;  // those where it has reads
        std::size_t line = 0;              // the number of the line
        std::string_view key() const { return read_id; }
    };

    // Calls next(listing) to read each listing until it returns false, and
    // lists each read in the order they were read, a few at a time. A read
    // listed already throws io::ReadFailed naming the file and the line of
    // the listing; a failure of next() comes after the listings before it.
    template <class Next>
    void add_all(Next next) {
        fast::in_key_batches<Listing>(reads_, next, [this](const Listing& listing, std::uint64_t hash) { add(listing, hash); });
    }

    // What a read stands for. Throws io::ReadNotListed for a read not listed.
    Read of(std::string_view read_id) const;

    // Calls next(record) to read each record into one of its own, until it
    // returns false, and visit(record, read) with what the read ID
    // record.key() stands for, in the order they were read: the same as
    // of() for each record, with the lookups of a few records overlapping.
    // Throws io::ReadNotListed at the first read ID not listed.
    template <class Record, class Next, class Visit>
    void for_each_read(Next next, Visit visit) const {
        fast::look_up_in_order<Record>(reads_, next, [this, &visit](const Record& record, const Listed* listed) {
            if (listed == nullptr) throw io::ReadNotListed(std::string(record.key()), file_);
            visit(record, read_of(*listed));
        });
    }

    // Puts the samples in byte order of their names.
    void sort_samples();

private:
    struct Listed {
        std::int64_t total = 0;
        std::uint32_t first = 0;  // in sample_counts_
        std::uint32_t size = 0;
    };

    void add(const Listing& listing, std::uint64_t hash);
    Read read_of(const Listed& listed) const {
        return Read{listed.total, std::span<const SampleCount>(sample_counts_).subspan(listed.first, listed.size)};
    }

    std::string file_;
    std::vector<std::string> samples_;
    fast::FlatMap<Listed> reads_;
    std::vector<SampleCount, fast::LargeArrayAllocator<SampleCount>> sample_counts_;
};

}  // namespace at::counts
