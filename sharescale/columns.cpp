#include "sharescale/columns.hpp"

#include <algorithm>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "common/text/arena.hpp"
#include "common/text/numbers.hpp"

namespace at::sharescale {

namespace {

// The fields of a line cut at every TAB: n TABs make n + 1 fields.
std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t tab; (tab = line.find('\t')) != std::string_view::npos; line.remove_prefix(tab + 1)) {
        fields.push_back(line.substr(0, tab));
    }
    fields.push_back(line);
    return fields;
}

}  // namespace

void normalize_columns(LineReader& table, OutputSet& outputs) {
    TextSink& out = outputs.create("normalized.txt");
    std::string_view line;
    if (!table.next(line)) return;
    out.write(line);
    out.put('\n');
    const std::size_t columns = fields_of(line).size() - 1;

    // Every row's key and values in file order, and the sum of each column,
    // one single-precision addition per row.
    std::vector<std::string_view> keys;
    std::vector<float> values;  // row by row
    std::vector<float> column_sums(columns, 0.0f);
    TextArena kept_keys;
    while (table.next(line)) {
        const std::vector<std::string_view> fields = fields_of(line);
        if (fields.size() != columns + 1) {
            table.reject_line("expected a key and " + std::to_string(columns) + " values, as the header names, found " +
                              std::to_string(fields.size() - 1));
        }
        keys.push_back(kept_keys.keep(fields[0]));
        for (std::size_t column = 0; column < columns; ++column) {
            const float value = to_single(fields[column + 1]);
            values.push_back(value);
            column_sums[column] += value;
        }
    }
    // In key order; rows of a key stay in file order, so that its last row
    // is the last of its run.
    std::vector<std::size_t> rows(keys.size());
    std::iota(rows.begin(), rows.end(), std::size_t{0});
    std::stable_sort(rows.begin(), rows.end(), [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });

    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::size_t row = rows[i];
        if (i + 1 < rows.size() && keys[rows[i + 1]] == keys[row]) continue;
        out.write(keys[row]);
        for (std::size_t column = 0; column < columns; ++column) {
            out.put('\t');
            // The multiplication first, then the division, in single
            // precision; a zero sum is not guarded, as for one column.
            out.real((100.0f * values[row * columns + column]) / column_sums[column]);
        }
        out.put('\n');
    }
}

}  // namespace at::sharescale
