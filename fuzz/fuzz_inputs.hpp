#pragma once
// The fuzz input as a program's inputs. A one-input program reads all of it.
// For a two-input program it is cut in two: the bytes before the first two
// NUL bytes in a row are the first input (the program's first argument), the
// bytes after them the second; without such a pair, all the bytes are the
// first input and the second is empty. A lone NUL byte stays part of its
// input, so either input may hold one. fuzz/seed_corpus.py joins and cuts
// files the same way.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace at::fuzz {

constexpr std::string_view input_separator{"\0\0", 2};

inline std::string_view one_input(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

struct TwoInputs {
    std::string_view first;
    std::string_view second;
};

inline TwoInputs two_inputs(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = one_input(data, size);
    const auto separator = bytes.find(input_separator);
    if (separator == std::string_view::npos) return {bytes, {}};
    return {bytes.substr(0, separator), bytes.substr(separator + input_separator.size())};
}

}  // namespace at::fuzz
