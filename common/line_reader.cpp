#include "common/line_reader.hpp"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace at {

LineReader::LineReader(int fd, std::size_t block_size)
    : fd_(fd), storage_(buffer_of(block_size)), capacity_(block_size), data_(storage_.get()) {}

LineReader::LineReader(std::string_view bytes)
    : data_(bytes.data()),
      end_(bytes.size() > readable_past_line ? bytes.size() - readable_past_line : 0),
      in_memory_(bytes.size()) {}

bool LineReader::next_block(std::string_view& block) {
    for (;;) {
        if (begin_ != end_) {
            // Up to the last newline read; the line after it may go on.
            const void* last = ::memrchr(data_ + begin_, '\n', end_ - begin_);
            if (last != nullptr || at_eof_) {
                const std::size_t stop =
                    last != nullptr ? static_cast<std::size_t>(static_cast<const char*>(last) - data_) + 1 : end_;
                block = std::string_view(data_ + begin_, stop - begin_);
                begin_ = stop;
                scanned_ = stop;
                return true;
            }
        } else if (at_eof_) {
            return false;
        }
        if (!refill()) return false;
    }
}

// Of a text in memory, the lines that end within readable_past_line bytes of
// its end, and what follows them, are read from a copy with room behind it.
void LineReader::copy_tail() {
    const std::size_t kept = in_memory_ - begin_;
    storage_ = buffer_of(kept);
    if (kept != 0) std::memcpy(storage_.get(), data_ + begin_, kept);
    data_ = storage_.get();
    scanned_ -= begin_;
    begin_ = 0;
    end_ = kept;
    capacity_ = kept;
    at_eof_ = true;
}

bool LineReader::next(std::string_view& line) {
    for (;;) {
        if (newlines_ != 0) {
            const std::size_t stop = window_ + static_cast<std::size_t>(__builtin_ctzll(newlines_));
            newlines_ &= newlines_ - 1;
            const std::size_t start = begin_;
            begin_ = stop + 1;
            if (stop == start) continue;  // empty line
            line = std::string_view(data_ + start, stop - start);
            return true;
        }
        if (end_ - scanned_ >= window_size) {
            window_ = scanned_;
            newlines_ = newline_bits(data_ + scanned_);
            scanned_ += window_size;
            continue;
        }
        // Fewer than 64 bytes left to search: read on, or at the end of the
        // input take the last newlines one at a time.
        if (!at_eof_) {
            if (!refill()) return false;
            continue;
        }
        if (scanned_ != end_) {
            const void* newline = std::memchr(data_ + scanned_, '\n', end_ - scanned_);
            if (newline == nullptr) {
                scanned_ = end_;
                continue;
            }
            const auto stop = static_cast<std::size_t>(static_cast<const char*>(newline) - data_);
            window_ = scanned_;
            newlines_ = std::uint64_t{1} << (stop - scanned_);
            scanned_ = stop + 1;
            continue;
        }
        if (begin_ == end_) return false;
        line = std::string_view(data_ + begin_, end_ - begin_);
        begin_ = end_;
        return true;
    }
}

// Moves the unfinished line to the front of the buffer (growing it when the
// line fills it) and reads the next block behind it.
bool LineReader::refill() {
    if (fd_ < 0) {
        copy_tail();
        return true;
    }
    const std::size_t kept = end_ - begin_;
    if (kept == capacity_) {
        std::unique_ptr<char[]> larger = buffer_of(capacity_ * 2);
        std::memcpy(larger.get(), data_ + begin_, kept);
        storage_ = std::move(larger);
        capacity_ *= 2;
    } else if (begin_ != 0 && kept != 0) {
        std::memmove(storage_.get(), data_ + begin_, kept);
    }
    data_ = storage_.get();
    scanned_ -= begin_;
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
