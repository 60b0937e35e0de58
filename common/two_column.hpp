#pragma once
// The two-column tables every program reads and writes: a key, a TAB and a
// value. The value is all the text after the first TAB (a further TAB ends
// its number). A line without a TAB is not rejected: the whole line is both
// its key and its value text, so a header word becomes a key worth 0.

#include <string_view>

namespace at {

struct TwoColumnRow {
    std::string_view key;
    std::string_view value;
};

inline TwoColumnRow split_row(std::string_view line) {
    const auto tab = line.find('\t');
    if (tab == std::string_view::npos) return {line, line};
    return {line.substr(0, tab), line.substr(tab + 1)};
}

}  // namespace at
