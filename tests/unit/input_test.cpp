// Inputs as users have them: gzip in one or more members, read ahead in a
// thread against read directly, and files that shrink while they are read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <isa-l/igzip_lib.h>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/fast/read_ahead.hpp"
#include "common/io/errors.hpp"
#include "common/io/file_source.hpp"
#include "common/io/gzip_source.hpp"
#include "common/io/line_reader.hpp"

namespace {

// Bytes in memory, handed out in pieces of random size as a pipe would.
class Pieces final : public at::io::ByteSource {
public:
    explicit Pieces(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t read(char* into, std::size_t size) override {
        const std::size_t given = std::min({size, bytes_.size() - at_, std::size_t{1} + random_() % 70000});
        bytes_.copy(into, given, at_);
        at_ += given;
        return given;
    }

private:
    std::string bytes_;
    std::size_t at_ = 0;
    std::mt19937 random_{5};
};

std::string gzip_member(const std::string& text) {
    std::string out(text.size() + text.size() / 2 + 1024, '\0');
    isal_zstream stream;
    isal_deflate_stateless_init(&stream);
    stream.gzip_flag = IGZIP_GZIP;
    stream.end_of_stream = 1;
    stream.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<std::uint32_t>(text.size());
    stream.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    stream.avail_out = static_cast<std::uint32_t>(out.size());
    EXPECT_EQ(isal_deflate_stateless(&stream), COMP_OK);
    out.resize(stream.total_out);
    return out;
}

// Every byte of a source, read through lines as the programs read it.
std::string text_of(std::unique_ptr<at::io::ByteSource> source) {
    at::LineReader reader(std::move(source));
    std::string text;
    std::string_view line;
    while (reader.next(line)) (text += line) += '\n';
    return text;
}

std::unique_ptr<at::io::ByteSource> gunzip(std::string bytes, bool read_ahead) {
    auto gzip = std::make_unique<at::io::GzipSource>(std::make_unique<Pieces>(std::move(bytes)), "in.gz");
    if (!read_ahead) return gzip;
    return std::make_unique<at::fast::ReadAhead>(std::move(gzip));
}

std::string read_failure(const std::function<void()>& read) {
    try {
        read();
    } catch (const at::io::ReadFailed& failure) {
        return failure.failure.path + ": " + failure.failure.reason;
    }
    return "no failure";
}

TEST(GzipInput, EveryMemberReadDirectlyAndAheadAndDamageIsAFailure) {
    std::mt19937 random(3);
    std::string text;
    while (text.size() < (std::size_t{5} << 20)) {
        text += "read" + std::to_string(random()) + "\tk__Bacteria(100);p__P" + std::to_string(random() % 50) + "(9);\n";
    }
    // Three members, the way pigz and bgzip write them, one of them empty.
    const std::size_t cut = text.find('\n', text.size() / 3) + 1;
    const std::string members = gzip_member(text.substr(0, cut)) + gzip_member("") + gzip_member(text.substr(cut));
    for (const bool ahead : {false, true}) {
        EXPECT_EQ(text_of(gunzip(members, ahead)), text) << "read ahead " << ahead;
        const std::string truncated = members.substr(0, members.size() - 100);
        EXPECT_EQ(read_failure([&] { text_of(gunzip(truncated, ahead)); }), "in.gz: the gzip data is truncated");
        std::string corrupt = members;
        corrupt[corrupt.size() / 2] ^= 0x55;
        EXPECT_EQ(read_failure([&] { text_of(gunzip(corrupt, ahead)); }), "in.gz: the gzip data is corrupt");
    }
}

TEST(FileInput, AFileThatShrinksWhileItIsReadIsAFailure) {
    char name[] = "/tmp/at_unit_shrinkXXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    const std::string text(3 * at::LineReader::block_size, 'x');
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ASSERT_EQ(::lseek(fd, 0, SEEK_SET), 0);
    at::io::FileSource source(fd, "table.txt");
    std::vector<char> block(at::LineReader::block_size);
    EXPECT_EQ(source.read(block.data(), block.size()), block.size());
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(2 * block.size())), 0);
    EXPECT_EQ(read_failure([&] { while (source.read(block.data(), block.size()) > 0) {} }),
              "table.txt: the file shrank while it was read");
    ::close(fd);
    ::unlink(name);
}

}  // namespace
