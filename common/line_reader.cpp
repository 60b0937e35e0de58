#include "common/line_reader.hpp"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace at {

LineReader::LineReader(int fd, std::size_t block_size)
    : fd_(fd), storage_(new char[block_size]), capacity_(block_size), data_(storage_.get()) {}

LineReader::LineReader(std::string_view bytes)
    : data_(bytes.data()), end_(bytes.size()), at_eof_(true) {}

bool LineReader::next(std::string_view& line) {
    for (;;) {
        const char* from = data_ + begin_ + scanned_;
        const std::size_t pending = end_ - begin_ - scanned_;
        const void* newline = pending ? std::memchr(from, '\n', pending) : nullptr;
        if (newline != nullptr) {
            const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(newline) - data_);
            const std::size_t start = begin_;
            begin_ = stop + 1;
            scanned_ = 0;
            if (stop == start) continue;  // empty line
            line = std::string_view(data_ + start, stop - start);
            return true;
        }
        scanned_ = end_ - begin_;
        if (at_eof_) {
            if (begin_ == end_) return false;
            line = std::string_view(data_ + begin_, end_ - begin_);
            begin_ = end_;
            scanned_ = 0;
            return true;
        }
        if (!refill()) return false;
    }
}

// Moves the unfinished line to the front of the buffer (growing it when the
// line fills it) and reads the next block behind it.
bool LineReader::refill() {
    const std::size_t kept = end_ - begin_;
    if (kept == capacity_) {
        std::unique_ptr<char[]> larger(new char[capacity_ * 2]);
        std::memcpy(larger.get(), data_ + begin_, kept);
        storage_ = std::move(larger);
        capacity_ *= 2;
    } else if (begin_ != 0 && kept != 0) {
        std::memmove(storage_.get(), data_ + begin_, kept);
    }
    data_ = storage_.get();
    begin_ = 0;
    end_ = kept;
    for (;;) {
        const ssize_t got = ::read(fd_, storage_.get() + end_, capacity_ - end_);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
            return true;
        }
        if (got == 0) {
            at_eof_ = true;
            return true;
        }
        if (errno == EINTR) continue;
        read_error_ = true;
        return false;
    }
}

}  // namespace at
