#pragma once
// Block line reader shared by every program.
//
// Lines end at LF, which is not part of the line; a CR before it stays.
// Empty lines are skipped. A last line without a newline is still a line.
// Lines may be of any length: the buffer grows to hold the longest one.
// A read error is not end of input: next() returns false and failed() says so,
// so that a program never writes tables from a partly read file.

#include <cstddef>
#include <memory>
#include <string_view>

namespace at {

class LineReader {
public:
    static constexpr std::size_t default_block_size = std::size_t{256} << 10;

    // Reads an open file descriptor in blocks; the descriptor stays the caller's.
    explicit LineReader(int fd, std::size_t block_size = default_block_size);
    // Reads lines out of bytes already in memory (tests and fuzzers).
    explicit LineReader(std::string_view bytes);

    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next non-empty line; false at end of input or after a read error.
    // The view stays valid until the next call.
    bool next(std::string_view& line);

    bool failed() const { return read_error_; }

private:
    bool refill();

    int fd_ = -1;
    std::unique_ptr<char[]> storage_;
    std::size_t capacity_ = 0;
    const char* data_ = nullptr;  // start of the buffered bytes
    std::size_t begin_ = 0;       // first unread byte
    std::size_t scanned_ = 0;     // bytes after begin_ known to hold no LF
    std::size_t end_ = 0;         // one past the last buffered byte
    bool at_eof_ = false;
    bool read_error_ = false;
};

}  // namespace at
