#include "common/io/file_source.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "common/io/errors.hpp"

namespace at::io {

FileSource::FileSource(int fd, std::string path) : fd_(fd), path_(std::move(path)) {
    struct stat file;
    if (::fstat(fd_, &file) == 0 && S_ISREG(file.st_mode)) {
        const off_t start = ::lseek(fd_, 0, SEEK_CUR);
        if (start >= 0 && start <= file.st_size) expected_ = file.st_size - start;
    }
}

std::string_view FileSource::peek(std::size_t count) {
    while (peeked_.size() < count) {
        char byte[64];
        const std::size_t got = read_fd(byte, std::min(sizeof byte, count - peeked_.size()));
        if (got == 0) break;
        peeked_.append(byte, got);
    }
    return std::string_view(peeked_).substr(0, count);
}

std::size_t FileSource::read(char* into, std::size_t size) {
    if (peeked_given_ < peeked_.size()) {
        const std::size_t given = std::min(size, peeked_.size() - peeked_given_);
        std::memcpy(into, peeked_.data() + peeked_given_, given);
        peeked_given_ += given;
        return given;
    }
    return read_fd(into, size);
}

std::size_t FileSource::read_fd(char* into, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd_, into, size);
        if (got > 0) {
            got_ += got;
            return static_cast<std::size_t>(got);
        }
        if (got == 0) {
            if (size > 0 && got_ < expected_) throw ReadFailed(path_, "the file shrank while it was read");
            return 0;
        }
        if (errno != EINTR) throw ReadFailed(path_, reason_of(errno));
    }
}

}  // namespace at::io
