#pragma once
// What the fuzz targets check in the tables a core writes: each key stands
// once, the keys in ascending order (byte order; numeric order for the
// reference ids of refspread's tables), and a table closed by its unassigned
// row ends with it. A key may hold a TAB (a lineage after the read ID's), a
// value never does: a row's key is its text before its last TAB. A table
// that breaks this stops the run as a finding.

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/io/output_set.hpp"

namespace at::fuzz {

enum class KeyOrder { bytes, numbers };
enum class Closing { none, unassigned_row };

inline void check_table(const MemoryOutputs& outputs, std::string_view name, KeyOrder order, Closing closing) {
    const std::string text = outputs.text(name);
    const auto fail = [name](const char* what) {
        std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(name.size()), name.data(), what);
        std::abort();
    };
    if (!text.empty() && text.back() != '\n') fail("the last row has no newline");
    std::string_view rows(text);
    if (closing == Closing::unassigned_row) {
        if (rows.empty()) fail("no unassigned row");
        const auto last_start = rows.rfind('\n', rows.size() - 2);
        const std::string_view last = rows.substr(last_start == std::string_view::npos ? 0 : last_start + 1);
        if (!last.starts_with("unassigned\t")) fail("the last row is not the unassigned row");
        rows.remove_suffix(last.size());
    }
    std::string_view previous;
    bool first = true;
    while (!rows.empty()) {
        const auto end = rows.find('\n');
        const std::string_view row = rows.substr(0, end);
        rows.remove_prefix(end + 1);
        const auto tab = row.rfind('\t');
        if (tab == std::string_view::npos) fail("a row without a TAB");
        const std::string_view key = row.substr(0, tab);
        if (!first) {
            bool ascending = previous < key;
            if (order == KeyOrder::numbers) {
                std::int64_t a = 0, b = 0;
                std::from_chars(previous.data(), previous.data() + previous.size(), a);
                std::from_chars(key.data(), key.data() + key.size(), b);
                ascending = a < b;
            }
            if (!ascending) fail("keys out of order or repeated");
        }
        previous = key;
        first = false;
    }
}

}  // namespace at::fuzz
