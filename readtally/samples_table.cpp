#include "readtally/samples_table.hpp"

#include "common/taxonomy/ranks.hpp"

namespace at::readtally {

SamplesTable::SamplesTable(TextSink& out, std::string_view table_name, const std::vector<std::string>& samples)
    : out_(out), counted_(samples.size()) {
    out_.write(table_name);
    for (const std::string& sample : samples) {
        out_.put('\t');
        out_.write(sample);
    }
    out_.put('\n');
}

void SamplesTable::row(std::string_view key, std::span<const std::int64_t> reads) {
    for (std::size_t sample = 0; sample < counted_.size(); ++sample) counted_[sample] += reads[sample];
    write_row(key, reads);
}

void SamplesTable::close(std::span<const std::int64_t> sample_reads) {
    std::vector<std::int64_t> unassigned(counted_.size());
    for (std::size_t sample = 0; sample < counted_.size(); ++sample) unassigned[sample] = sample_reads[sample] - counted_[sample];
    write_row(taxonomy::unassigned_key, unassigned);
}

void SamplesTable::write_row(std::string_view key, std::span<const std::int64_t> reads) {
    out_.write(key);
    for (const std::int64_t count : reads) {
        out_.put('\t');
        out_.whole(count);
    }
    out_.put('\n');
}

}  // namespace at::readtally
