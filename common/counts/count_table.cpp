#include "common/counts/count_table.hpp"

#include <algorithm>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/text/fields.hpp"
#include "common/text/numbers.hpp"

namespace at::counts {

namespace {

// The TAB-separated fields of a line; runs of TABs are one separator.
void fields_of(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    for (std::string_view field; next_piece(line, '\t', field);) fields.push_back(field);
}

std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> fields;
    fields_of(line, fields);
    return fields;
}

bool is_count(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "1,name" or "1,6": a number before the first ",", the text after it.
struct Pair {
    std::string_view number;
    std::string_view text;
};
bool split_pair(std::string_view field, Pair& pair) {
    const auto comma = field.find(',');
    if (comma == std::string_view::npos || !is_count(field.substr(0, comma))) return false;
    pair = {field.substr(0, comma), field.substr(comma + 1)};
    return true;
}

std::string quoted(std::string_view text) { return '"' + std::string(text) + '"'; }

// The samples of the compressed form: "#1,name<TAB>2,name...", numbered from 1
// in order. False for any other "#" line.
bool read_sample_list(std::string_view line, LineReader& table, std::vector<std::string_view>& names) {
    const std::vector<std::string_view> fields = fields_of(line.substr(1));
    Pair pair;
    if (fields.empty() || !split_pair(fields.front(), pair)) return false;
    names.clear();
    for (const std::string_view field : fields) {
        if (!split_pair(field, pair) || to_whole(pair.number) != static_cast<std::int64_t>(names.size() + 1)) {
            table.reject_line(quoted(field) + " is not sample " + std::to_string(names.size() + 1) + ", a comma and its name");
        }
        names.push_back(pair.text);
    }
    return true;
}

// The counts of a line after its total, in either form, each sample's in
// `counts`; returns their sum.
std::int64_t read_sample_counts(std::span<const std::string_view> fields, bool compressed, std::size_t samples,
                                LineReader& table, std::vector<SampleCount>& counts) {
    counts.clear();
    std::int64_t sum = 0;
    if (!compressed && fields.size() != samples) {
        table.reject_line("expected " + std::to_string(samples) + " sample counts after the total, found " +
                          std::to_string(fields.size()));
    }
    for (std::size_t at = 0; at < fields.size(); ++at) {
        Pair pair{{}, fields[at]};
        std::int64_t sample = static_cast<std::int64_t>(at + 1);
        if (compressed) {
            if (!split_pair(fields[at], pair)) table.reject_line(quoted(fields[at]) + " is not a sample number, a comma and a count");
            sample = to_whole(pair.number);
            if (sample < 1 || sample > static_cast<std::int64_t>(samples)) {
                table.reject_line(quoted(fields[at]) + " names no sample: there are " + std::to_string(samples));
            }
        }
        if (!is_count(pair.text)) table.reject_line(quoted(pair.text) + " is not a count");
        const std::int64_t reads = to_whole(pair.text);
        if (reads != 0) counts.push_back(SampleCount{static_cast<std::uint32_t>(sample - 1), reads});
        sum += reads;
    }
    return sum;
}

}  // namespace

ReadCounts read_count_table(LineReader& table, std::string file) {
    ReadCounts counts(std::move(file));
    std::string_view line;
    // The "#" lines before the header; the compressed form lists its samples
    // in one of them.
    std::vector<std::string> listed;
    bool compressed = false;
    for (;;) {
        if (!table.next(line)) return counts;
        if (line.front() != '#') break;
        std::vector<std::string_view> names;
        if (read_sample_list(line, table, names)) {
            compressed = true;
            listed.assign(names.begin(), names.end());
        }
    }
    const std::vector<std::string_view> header = fields_of(line);
    if (header.size() < 2 || header[1] != "total") {
        table.reject_line("the header is not Representative_Sequence, TAB, total, then a TAB and a name for each sample");
    }
    for (std::size_t at = 2; at < header.size(); ++at) counts.add_sample(header[at]);
    if (compressed && !std::equal(listed.begin(), listed.end(), counts.samples().begin(), counts.samples().end())) {
        table.reject_line("the header does not name the samples of the \"#\" line in its order");
    }

    const std::size_t samples = counts.samples().size();
    std::vector<std::string_view> fields;
    counts.add_all([&](ReadCounts::Listing& listing) {
        if (!table.next(line)) return false;
        fields_of(line, fields);
        if (fields.size() < 2 || !is_count(fields[1])) table.reject_line("expected a read ID, TAB, its total (a count)");
        listing.read_id.assign(fields[0]);
        listing.total = to_whole(fields[1]);
        listing.line = table.line_number();
        const std::int64_t sum =
            read_sample_counts(std::span(fields).subspan(2), compressed, samples, table, listing.samples);
        if (samples != 0 && sum != listing.total) {
            table.reject_line("the total " + std::string(fields[1]) + " is not the sum of the sample counts, " +
                              std::to_string(sum));
        }
        return true;
    });
    return counts;
}

}  // namespace at::counts
