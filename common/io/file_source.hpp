#pragma once
// The bytes of an open file descriptor, as they are read.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/io/byte_source.hpp"

namespace at::io {

class FileSource final : public ByteSource {
public:
    // Reads `fd` from its current position; the descriptor stays the
    // caller's. `path` names the input in a failure.
    FileSource(int fd, std::string path);

    std::size_t read(char* into, std::size_t size) override;

    // The first `count` bytes (fewer when the input is shorter), read ahead
    // and still handed out by read(): what the input is can be told from
    // them, also on a pipe.
    std::string_view peek(std::size_t count);

    const std::string& path() const { return path_; }

private:
    std::size_t read_fd(char* into, std::size_t size);

    int fd_;
    std::string path_;
    std::string peeked_;           // bytes read ahead by peek()
    std::size_t peeked_given_ = 0;  // of those, handed out
    // A regular file must deliver the bytes it had when opened: one that
    // ends early was cut short while it was read.
    std::int64_t expected_ = -1;  // -1 when the size is not known
    std::int64_t got_ = 0;
};

}  // namespace at::io
