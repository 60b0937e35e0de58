#include "common/line_reader.hpp"

#include "common/fields.hpp"
#include "common/numbers.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> lines_of(at::LineReader& reader) {
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line)) lines.emplace_back(line);
    return lines;
}

// A file, already unlinked, that holds the text, open for reading from its start.
int file_holding(const std::string& text) {
    char path[] = "/tmp/line_reader_testXXXXXX";
    const int fd = ::mkstemp(path);
    EXPECT_GE(fd, 0);
    ::unlink(path);
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

// A copy of the text in a block of exactly its size, so that the address
// sanitizer sees any read past it.
std::unique_ptr<char[]> exact_copy(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size()]);
    if (!text.empty()) std::memcpy(copy.get(), text.data(), text.size());
    return copy;
}

// A pipe fed with the text, read back through a reader with a tiny block so
// that lines straddle and outgrow the buffer.
std::vector<std::string> read_through_pipe(const std::string& text, std::size_t block_size, bool* failed = nullptr) {
    const int fd = file_holding(text);
    at::LineReader reader(fd, block_size);
    auto lines = lines_of(reader);
    if (failed) *failed = reader.failed();
    ::close(fd);
    return lines;
}

TEST(LineReader, SkipsEmptyLinesKeepsCarriageReturnsAndReadsUnterminatedLastLine) {
    at::LineReader reader(std::string_view("a\n\n\nb\r\n\r\nlast"));
    EXPECT_EQ(lines_of(reader), (std::vector<std::string>{"a", "b\r", "\r", "last"}));
    EXPECT_FALSE(reader.failed());
}

TEST(LineReader, EmptyInputAndOnlyNewlinesGiveNoLines) {
    at::LineReader empty(std::string_view(""));
    EXPECT_TRUE(lines_of(empty).empty());
    at::LineReader newlines(std::string_view("\n\n\n"));
    EXPECT_TRUE(lines_of(newlines).empty());
}

TEST(LineReader, LinesStraddlingAndOutgrowingBlocksAreWhole) {
    std::string text;
    std::vector<std::string> want;
    for (int i = 0; i < 200; ++i) {
        std::string line(static_cast<std::size_t>((i * 37) % 101 + 1), static_cast<char>('a' + i % 26));
        if (i % 7 == 0) text += "\n";  // some empty lines between
        text += line + "\n";
        want.push_back(line);
    }
    const std::string huge(100000, 'x');  // far longer than any block
    text += huge + "\nend";
    want.push_back(huge);
    want.push_back("end");
    for (std::size_t block : {1u, 2u, 3u, 7u, 64u, 4096u}) {
        EXPECT_EQ(read_through_pipe(text, block), want) << "block size " << block;
    }
}

TEST(LineReader, ShortLinesAcrossSearchWindowsAndBlocks) {
    // Many short and empty lines, so that windows of 64 bytes hold several
    // newlines, none, or end right at one; bytes near the newline's value
    // must not count as one. Every input length from 0 to 300 is cut where
    // a plain split would cut it, from memory and from a file.
    std::mt19937 random(11);
    const char alphabet[] = {'\n', '\n', '\n', '\x8a', '\x0b', '\t', '\0', '\xff', 'a', '\r'};
    std::string text;
    for (int i = 0; i < 300; ++i) text += alphabet[random() % sizeof alphabet];
    for (std::size_t length = 0; length <= text.size(); ++length) {
        const std::string input = text.substr(0, length);
        std::vector<std::string> want;
        std::size_t start = 0;
        for (std::size_t at = 0; at <= input.size(); ++at) {
            if (at == input.size() || input[at] == '\n') {
                if (at > start) want.push_back(input.substr(start, at - start));
                start = at + 1;
            }
        }
        at::LineReader in_memory{std::string_view(input)};
        ASSERT_EQ(lines_of(in_memory), want) << "length " << length;
        if (length % 37 == 0 || length == text.size()) {
            for (std::size_t block : {1u, 63u, 64u, 65u, 4096u}) {
                ASSERT_EQ(read_through_pipe(input, block), want) << "length " << length << ", block " << block;
            }
        }
    }
}

// Checks every field cut from each line the reader hands out against the
// plain cutting and conversion, which read nothing past the field.
void expect_fields_read_as_plain_views(at::LineReader& reader, const std::string& text) {
    std::string_view line;
    while (reader.next(line)) {
        const at::TwoColumnRow fast = at::split_row_in_line(line);
        const at::TwoColumnRow plain = at::split_row(line);
        ASSERT_EQ(fast.key.data(), plain.key.data()) << text;
        ASSERT_EQ(fast.key.size(), plain.key.size()) << text;
        ASSERT_EQ(fast.value.data(), plain.value.data()) << text;
        ASSERT_EQ(fast.value.size(), plain.value.size()) << text;
        for (std::size_t start = 0; start <= line.size(); ++start) {
            for (std::size_t end = start; end <= line.size(); ++end) {
                const std::string_view field = line.substr(start, end - start);
                ASSERT_EQ(at::to_whole_in_line(field), at::to_whole(field)) << text;
            }
        }
    }
}

TEST(LineReader, FieldsOfReadLinesAreCutAndReadAsPlainViewsAre) {
    // Lines of digits, TABs, signs and spaces, from memory and through blocks
    // so small that lines end where the buffer ends. The bytes past a field
    // (digits of the same line, a TAB, bytes left over from an earlier block)
    // must not count; a read past the last line that went beyond what the
    // reader keeps readable would be caught by the address sanitizer.
    std::mt19937 random(17);
    const char alphabet[] = {'\n', '\t', '0', '1', '7', '9', '9', '9', '-', ' ', '+', 'a'};
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const std::size_t length = random() % 100;
        for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % sizeof alphabet];
        const std::unique_ptr<char[]> exact = exact_copy(text);
        at::LineReader in_memory{std::string_view(exact.get(), text.size())};
        expect_fields_read_as_plain_views(in_memory, text);
        for (std::size_t block : {1u, 5u, 16u, 64u}) {
            const int fd = file_holding(text);
            at::LineReader from_file(fd, block);
            expect_fields_read_as_plain_views(from_file, text);
            ::close(fd);
        }
    }
}

// The blocks of a reader put together, checking that each but the last ends
// a line, and reading the bytes the reader keeps readable past each (which
// the address sanitizer checks).
std::string blocks_of(at::LineReader& reader, const std::string& text) {
    std::string joined;
    std::string_view block;
    bool ended = false;
    while (reader.next_block(block)) {
        EXPECT_FALSE(ended) << "a block after one without its newline: " << text;
        EXPECT_FALSE(block.empty()) << text;
        ended = block.empty() || block.back() != '\n';
        char past[at::LineReader::readable_past_line];
        std::memcpy(past, block.data() + block.size(), sizeof past);
        volatile char last_past = past[sizeof past - 1];
        static_cast<void>(last_past);
        joined += block;
    }
    return joined;
}

TEST(LineReader, BlocksHoldWholeLinesInOrder) {
    std::mt19937 random(23);
    const char alphabet[] = {'\n', '\n', 'a', 'b', '\t', '\r', ','};
    for (int round = 0; round < 200; ++round) {
        std::string text;
        const std::size_t length = round < 10 ? static_cast<std::size_t>(round) : random() % 400;
        for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % sizeof alphabet];
        const std::unique_ptr<char[]> exact = exact_copy(text);
        at::LineReader in_memory{std::string_view(exact.get(), text.size())};
        ASSERT_EQ(blocks_of(in_memory, text), text);
        for (std::size_t block : {1u, 3u, 64u}) {
            const int fd = file_holding(text);
            at::LineReader from_file(fd, block);
            ASSERT_EQ(blocks_of(from_file, text), text) << "block size " << block;
            ::close(fd);
        }
    }
}

TEST(LineReader, NewlineBitsInWordsMatchTheVectorSearch) {
    std::mt19937 random(5);
    const char alphabet[] = {'\n', '\x8a', '\x0b', '\x09', '\0', '\xff', '\x7f', '\x80', 'a'};
    char bytes[64];
    for (int round = 0; round < 2000; ++round) {
        std::uint64_t want = 0;
        for (int i = 0; i < 64; ++i) {
            bytes[i] = alphabet[random() % sizeof alphabet];
            if (bytes[i] == '\n') want |= std::uint64_t{1} << i;
        }
        ASSERT_EQ(at::newline_bits(bytes), want);
        ASSERT_EQ(at::newline_bits_in_words(bytes), want);
    }
}

TEST(LineReader, NulBytesStayInsideTheLine) {
    const std::string text("a\0b\nc", 5);
    EXPECT_EQ(read_through_pipe(text, 2), (std::vector<std::string>{std::string("a\0b", 3), "c"}));
}

TEST(LineReader, ReadErrorIsNotEndOfInput) {
    const int fd = ::open("/", O_RDONLY);  // reading a folder fails with EISDIR
    ASSERT_GE(fd, 0);
    at::LineReader reader(fd);
    std::string_view line;
    EXPECT_FALSE(reader.next(line));
    EXPECT_TRUE(reader.failed());
    ::close(fd);
}

}  // namespace
