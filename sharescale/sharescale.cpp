#include "sharescale/sharescale.hpp"

#include <algorithm>
#include <string_view>
#include <vector>

#include "common/text/arena.hpp"
#include "common/text/fields.hpp"
#include "common/text/numbers.hpp"

namespace at::sharescale {

void normalize(LineReader& table, OutputSet& outputs) {
    // Every row's key and value in file order, and the sum of every row's
    // value, one single-precision addition per row.
    struct Row {
        std::string_view key;
        float value;
    };
    std::vector<Row> rows;
    TextArena keys;
    float value_sum = 0.0f;
    std::string_view line;
    while (table.next(line)) {
        const TwoColumnRow row = split_row(line);
        const float value = to_single(row.value);
        rows.push_back(Row{keys.keep(row.key), value});
        value_sum += value;
    }
    // In key order; rows of a key stay in file order, so that its last value
    // is the last of its run. The tables of this tool chain come in key order.
    const auto by_key = [](const Row& a, const Row& b) { return a.key < b.key; };
    if (!std::is_sorted(rows.begin(), rows.end(), by_key)) std::stable_sort(rows.begin(), rows.end(), by_key);

    TextSink& out = outputs.create("normalized.txt");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i + 1 < rows.size() && rows[i + 1].key == rows[i].key) continue;
        // The multiplication first, then the division, in single precision.
        // A zero sum is not guarded: such a table shows inf, -inf or -nan.
        out.row(rows[i].key, (100.0f * rows[i].value) / value_sum);
    }
}

}  // namespace at::sharescale
