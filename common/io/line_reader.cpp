#include "common/io/line_reader.hpp"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "common/io/errors.hpp"

namespace at {

LineReader::LineReader(int fd, std::string path) : fd_(fd), path_(std::move(path)), buffer_(block_size) {
    data_ = buffer_.data();
}

LineReader::LineReader(std::string_view bytes) : data_(bytes.data()), end_(bytes.size()), at_end_(true) {}

bool LineReader::next(std::string_view& line) {
    for (;;) {
        const void* newline = searched_ == end_ ? nullptr : std::memchr(data_ + searched_, '\n', end_ - searched_);
        if (newline != nullptr) {
            const auto stop = static_cast<std::size_t>(static_cast<const char*>(newline) - data_);
            const std::size_t start = begin_;
            begin_ = searched_ = stop + 1;
            if (stop == start) continue;  // an empty line
            line = std::string_view(data_ + start, stop - start);
            return true;
        }
        // What is left is searched: the rest of the line is read behind it.
        searched_ = end_;
        if (at_end_ || !refill()) {
            if (begin_ == end_) return false;
            line = std::string_view(data_ + begin_, end_ - begin_);
            begin_ = end_;
            return true;
        }
    }
}

bool LineReader::refill() {
    const std::size_t kept = end_ - begin_;
    if (kept == buffer_.size()) {
        buffer_.resize(2 * buffer_.size());
    } else if (begin_ != 0 && kept != 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, kept);
    }
    data_ = buffer_.data();
    searched_ -= begin_;
    begin_ = 0;
    end_ = kept;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
            return true;
        }
        if (got == 0) {
            at_end_ = true;
            return false;
        }
        if (errno != EINTR) throw io::ReadFailed(path_, io::reason_of(errno));
    }
}

}  // namespace at
