#include "sharescale/sharescale.hpp"

#include "common/numbers.hpp"
#include "common/fields.hpp"

namespace at::sharescale {

void read_values(LineReader& table, Shares& shares) {
    std::string_view line;
    while (table.next(line)) {
        const TwoColumnRow row = split_row_in_line(line);
        const float value = to_single(row.value);
        shares.values[row.key] = value;
        shares.value_sum += value;
    }
}

void write_percentages(const Shares& shares, OutputSet& outputs) {
    TextSink& out = outputs.create("normalized.txt");
    shares.values.visit_sorted([&](std::string_view key, float value) {
        // Not guarded against a zero sum: such a table shows inf, -inf or -nan.
        const float percentage = (100.0f * value) / shares.value_sum;
        out.row(key, percentage);
    });
}

}  // namespace at::sharescale
