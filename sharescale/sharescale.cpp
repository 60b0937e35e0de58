#include "sharescale/sharescale.hpp"

#include "common/numbers.hpp"

namespace at::sharescale {

void read_values(LineReader& table, Shares& shares) {
    std::string_view line;
    while (table.next(line)) {
        // A row without a TAB is its own key and converts as a whole: a header
        // word becomes a key worth 0.
        const auto tab = line.find('\t');
        const std::string_view key = tab == std::string_view::npos ? line : line.substr(0, tab);
        const std::string_view value_text = tab == std::string_view::npos ? line : line.substr(tab + 1);
        const float value = to_single(value_text);
        entry(shares.values, key) = value;
        shares.value_sum += value;
    }
}

void write_percentages(const Shares& shares, OutputSet& outputs) {
    TextSink& out = outputs.create("normalized.txt");
    for (const auto* row : sorted_entries(shares.values)) {
        // Not guarded against a zero sum: such a table shows inf, -inf or -nan.
        const float percentage = (100.0f * row->second) / shares.value_sum;
        out.row(row->first, percentage);
    }
}

}  // namespace at::sharescale
