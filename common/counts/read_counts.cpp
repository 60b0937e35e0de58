#include "common/counts/read_counts.hpp"

#include <algorithm>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>

namespace at::counts {

std::uint32_t ReadCounts::add_sample(std::string_view name) {
    samples_.emplace_back(name);
    return static_cast<std::uint32_t>(samples_.size() - 1);
}

void ReadCounts::add(const Listing& listing, std::uint64_t hash) {
    const std::size_t before = reads_.size();
    Listed& listed = reads_.value_of(listing.read_id, hash);
    if (reads_.size() == before) {
        throw io::ReadFailed(file_, "line " + std::to_string(listing.line) + ": the read \"" + listing.read_id +
                                        "\" is listed twice");
    }
    if (sample_counts_.size() + listing.samples.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("more sample counts than this program can hold");
    }
    listed.total = listing.total;
    listed.first = static_cast<std::uint32_t>(sample_counts_.size());
    listed.size = static_cast<std::uint32_t>(listing.samples.size());
    sample_counts_.insert(sample_counts_.end(), listing.samples.begin(), listing.samples.end());
}

ReadCounts::Read ReadCounts::of(std::string_view read_id) const {
    const Listed* listed = reads_.find(read_id);
    if (listed == nullptr) throw io::ReadNotListed(std::string(read_id), file_);
    return read_of(*listed);
}

void ReadCounts::sort_samples() {
    std::vector<std::uint32_t> order(samples_.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) { return samples_[a] < samples_[b]; });
    std::vector<std::uint32_t> place(order.size());
    std::vector<std::string> sorted(order.size());
    for (std::uint32_t at = 0; at < order.size(); ++at) {
        place[order[at]] = at;
        sorted[at] = std::move(samples_[order[at]]);
    }
    samples_ = std::move(sorted);
    for (SampleCount& count : sample_counts_) count.sample = place[count.sample];
}

}  // namespace at::counts
