#pragma once
// The table of a rank's reads per sample, written beside the rank's own
// table (phylum.samples.txt beside phylum.txt): a header of the table's name
// and the samples' names; then a row for each key of the rank's table, in
// its order, with the key's reads in each sample; then the unassigned row.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/io/text_sink.hpp"

namespace at::readtally {

class SamplesTable {
public:
    SamplesTable(TextSink& out, std::string_view table_name, const std::vector<std::string>& samples);

    void row(std::string_view key, std::span<const std::int64_t> reads);

    // The unassigned row: of each sample's reads, those that counted in no
    // key of the table.
    void close(std::span<const std::int64_t> sample_reads);

private:
    void write_row(std::string_view key, std::span<const std::int64_t> reads);

    TextSink& out_;
    std::vector<std::int64_t> counted_;
};

}  // namespace at::readtally
