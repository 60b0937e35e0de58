#include "common/io/line_reader.hpp"

#include <cstring>
#include <string>

#include "common/io/errors.hpp"

namespace at {

namespace {

// A line without the CR of a CRLF line end.
std::string_view without_cr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

}  // namespace

LineReader::LineReader(std::unique_ptr<io::ByteSource> source, std::string name)
    : source_(std::move(source)), buffer_(block_size), name_(std::move(name)) {
    data_ = buffer_.data();
}

LineReader::LineReader(std::string_view bytes, std::string name)
    : data_(bytes.data()), end_(bytes.size()), at_end_(true), name_(std::move(name)) {}

bool LineReader::next(std::string_view& line) {
    for (;;) {
        const void* newline = searched_ == end_ ? nullptr : std::memchr(data_ + searched_, '\n', end_ - searched_);
        if (newline != nullptr) {
            const auto stop = static_cast<std::size_t>(static_cast<const char*>(newline) - data_);
            const std::size_t start = begin_;
            begin_ = searched_ = stop + 1;
            ++line_ends_;
            line = without_cr(std::string_view(data_ + start, stop - start));
            if (line.empty()) continue;
            line_number_ = line_ends_;
            return true;
        }
        // What is left is searched: the rest of the line is read behind it.
        searched_ = end_;
        if (at_end_ || !refill()) {
            line = without_cr(std::string_view(data_ + begin_, end_ - begin_));
            begin_ = end_;
            if (line.empty()) return false;
            line_number_ = line_ends_ + 1;
            return true;
        }
    }
}

void LineReader::reject_line(std::string_view why) const {
    throw io::ReadFailed(name_, "line " + std::to_string(line_number_) + ": " + std::string(why));
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
    const std::size_t got = source_->read(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) {
        at_end_ = true;
        return false;
    }
    end_ += got;
    return true;
}

}  // namespace at
