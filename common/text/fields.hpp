#pragma once
// Cutting lines into their fields.

#include <string_view>

namespace at {

// A row of a two-column table: a key, a TAB and a value. The value is all the
// text after the first TAB (a further TAB ends its number). A line without a
// TAB is not rejected: the whole line is both its key and its value text, so
// a header word becomes a key worth 0.
struct TwoColumnRow {
    std::string_view key;
    std::string_view value;
};

inline TwoColumnRow split_row(std::string_view line) {
    const auto tab = line.find('\t');
    if (tab == std::string_view::npos) return {line, line};
    return {line.substr(0, tab), line.substr(tab + 1)};
}

// The next piece of a list cut at `separator` as strtok cuts it: a run of
// separators is one, and separators at the start or the end make no empty
// piece. False when no piece is left.
inline bool next_piece(std::string_view& rest, char separator, std::string_view& piece) {
    while (!rest.empty()) {
        const auto end = rest.find(separator);
        piece = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!piece.empty()) return true;
    }
    return false;
}

}  // namespace at
