#include "sharescale/sharescale.hpp"

#include "common/fast/flat_map.hpp"
#include "common/text/fields.hpp"
#include "common/text/numbers.hpp"

namespace at::sharescale {

void normalize(LineReader& table, OutputSet& outputs) {
    // The last value of each key, and the sum of every row's value, one
    // single-precision addition per row in file order.
    fast::FlatMap<float> values;
    float value_sum = 0.0f;
    std::string_view line;
    while (table.next(line)) {
        const TwoColumnRow row = split_row(line);
        const float value = to_single(row.value);
        values[row.key] = value;
        value_sum += value;
    }

    TextSink& out = outputs.create("normalized.txt");
    for (const auto* entry : fast::sorted_entries(values)) {
        // The multiplication first, then the division, in single precision.
        // A zero sum is not guarded: such a table shows inf, -inf or -nan.
        out.row(entry->key, (100.0f * entry->value) / value_sum);
    }
}

}  // namespace at::sharescale
