#pragma once
// Block line reader shared by every program.
//
// Lines end at LF, which is not part of the line; a CR before it stays.
// Empty lines are skipped. A last line without a newline is still a line.
// Lines may be of any length: the buffer grows to hold the longest one.
// A read error is not end of input: next() returns false and failed() says so,
// so that a program never writes tables from a partly read file.
// Past the end of every line handed out, readable_past_line more bytes may be
// read (what they hold is unspecified): a field of a line can then be scanned
// a word at a time without a test for its end at every byte.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace at {

// A bit for each newline among the 64 bytes at `bytes`, bit i for byte i,
// found eight bytes at a time in plain integer arithmetic.
inline std::uint64_t newline_bits_in_words(const char* bytes) {
    constexpr std::uint64_t lows = 0x7f7f7f7f7f7f7f7full;
    std::uint64_t bits = 0;
    for (int part = 0; part < 8; ++part) {
        std::uint64_t word;
        std::memcpy(&word, bytes + 8 * part, 8);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        const std::uint64_t other = word ^ 0x0a0a0a0a0a0a0a0aull;
        // 0x80 in exactly the bytes that are a newline.
        const std::uint64_t found = ~(((other & lows) + lows) | other | lows);
        // The high bit of byte j to bit j of the top byte, then down.
        bits |= (((found >> 7) * 0x0102040810204080ull) >> 56) << (8 * part);
    }
    return bits;
}

// The same with SSE2, sixteen bytes at a time, where the processor has it.
inline std::uint64_t newline_bits(const char* bytes) {
#if defined(__SSE2__)
    const __m128i newline = _mm_set1_epi8('\n');
    std::uint64_t bits = 0;
    for (int part = 0; part < 4; ++part) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
        const auto found = static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, newline)));
        bits |= std::uint64_t{found} << (16 * part);
    }
    return bits;
#else
    return newline_bits_in_words(bytes);
#endif
}

class LineReader {
public:
    static constexpr std::size_t default_block_size = std::size_t{256} << 10;
    static constexpr std::size_t readable_past_line = 16;

    // Reads an open file descriptor in blocks; the descriptor stays the caller's.
    explicit LineReader(int fd, std::size_t block_size = default_block_size);
    // Reads lines out of bytes already in memory (tests and fuzzers). The
    // bytes stay the caller's; only the last lines are copied, so that they
    // too may be read past their end.
    explicit LineReader(std::string_view bytes);

    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next non-empty line; false at end of input or after a read error.
    // The view stays valid until the next call.
    bool next(std::string_view& line);

    // The next block of whole lines, each with its newline, as they stand in
    // the buffer (empty ones among them); the last line of the input may
    // lack its newline. For a caller that cuts the lines itself, in one pass
    // with what it reads of them. False at end of input or after a read
    // error. A reader is read by lines or by blocks, not both.
    bool next_block(std::string_view& block);

    bool failed() const { return read_error_; }

private:
    bool refill();
    void copy_tail();
    // A buffer of `size` bytes and the readable bytes behind it, all zero.
    static std::unique_ptr<char[]> buffer_of(std::size_t size) {
        return std::unique_ptr<char[]>(new char[size + readable_past_line]());
    }

    // Newlines are found 64 bytes at a time, as a bit per byte; each line
    // then takes the lowest bit left. Lines of a few dozen bytes (tables,
    // FASTA) cost a bit each instead of a call to memchr.
    static constexpr std::size_t window_size = 64;

    int fd_ = -1;
    std::unique_ptr<char[]> storage_;
    std::size_t capacity_ = 0;
    const char* data_ = nullptr;  // start of the buffered bytes
    std::size_t begin_ = 0;       // first unread byte
    std::size_t scanned_ = 0;     // first byte not yet searched for newlines
    std::size_t window_ = 0;      // where the bits of newlines_ begin
    std::uint64_t newlines_ = 0;  // newlines found and not yet taken
    std::size_t end_ = 0;         // one past the last buffered byte
    std::size_t in_memory_ = 0;   // bytes of a text in memory, until its tail is copied
    bool at_eof_ = false;
    bool read_error_ = false;
};

}  // namespace at
