#pragma once
// The line reader every program reads its inputs with.
//
// Lines end at LF, which is not part of the line, and so does one CR right
// before it or at the very end of the input (files written on Windows).
// Empty lines are skipped. A last line without a newline is still a line.
// Lines may be of any length: the buffer grows to hold the longest one.
// A read error is never taken for the end of the input: it throws
// io::ReadFailed, so that no table is written from a partly read file.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/io/byte_source.hpp"

namespace at {

class LineReader {
public:
    static constexpr std::size_t block_size = std::size_t{256} << 10;

    // Reads the bytes of a source in blocks. `name` is the input's path,
    // which a rejected line names.
    explicit LineReader(std::unique_ptr<io::ByteSource> source, std::string name = {});
    // Reads lines out of bytes in memory (tests and fuzzers); the bytes stay
    // the caller's and must outlive the reader.
    explicit LineReader(std::string_view bytes, std::string name = {});

    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next non-empty line; false at the end of the input. The view stays
    // valid until the next call.
    bool next(std::string_view& line);

    // The number of the line last handed out, counted from 1 with the empty
    // lines.
    std::size_t line_number() const { return line_number_; }

    // For a line that is not of the form its input must have: throws
    // io::ReadFailed naming the input, the line's number and `why`.
    [[noreturn]] void reject_line(std::string_view why) const;

private:
    // Keeps the unfinished line and reads the next block behind it; false at
    // the end of the input.
    bool refill();

    std::unique_ptr<io::ByteSource> source_;
    std::vector<char> buffer_;
    const char* data_ = nullptr;  // the buffered bytes
    std::size_t begin_ = 0;       // first byte not yet handed out
    std::size_t searched_ = 0;    // first byte not yet searched for a newline
    std::size_t end_ = 0;         // one past the last buffered byte
    bool at_end_ = false;
    std::string name_;
    std::size_t line_ends_ = 0;    // newlines passed
    std::size_t line_number_ = 0;
};

}  // namespace at
