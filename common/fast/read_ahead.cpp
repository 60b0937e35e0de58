#include "common/fast/read_ahead.hpp"

#include <algorithm>
#include <cstring>

namespace at::fast {

namespace {

constexpr std::size_t block_size = std::size_t{1} << 20;
constexpr std::size_t blocks_ahead = 4;

}  // namespace

ReadAhead::ReadAhead(std::unique_ptr<io::ByteSource> source) : source_(std::move(source)) {
    for (std::size_t i = 0; i < blocks_ahead; ++i) free_.emplace_back(block_size);
    thread_ = std::thread([this] { produce(); });
}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ReadAhead::produce() {
    for (;;) {
        Block block;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !free_.empty(); });
            if (stopping_) return;
            block.bytes = std::move(free_.back());
            free_.pop_back();
        }
        bool at_end = false;
        std::exception_ptr failure;
        try {
            while (block.size < block.bytes.size()) {
                const std::size_t got = source_->read(block.bytes.data() + block.size, block.bytes.size() - block.size);
                if (got == 0) {
                    at_end = true;
                    break;
                }
                block.size += got;
            }
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex_);
            if (block.size > 0) full_.push_back(std::move(block));
            if (at_end || failure) {
                finished_ = true;
                failure_ = failure;
            }
        }
        changed_.notify_all();
        if (at_end || failure) return;
    }
}

std::size_t ReadAhead::read(char* into, std::size_t size) {
    if (offset_ == current_.size) {
        std::unique_lock lock(mutex_);
        if (!current_.bytes.empty()) free_.push_back(std::move(current_.bytes));
        changed_.notify_all();
        changed_.wait(lock, [this] { return finished_ || !full_.empty(); });
        if (full_.empty()) {
            current_ = Block();
            offset_ = 0;
            if (failure_) std::rethrow_exception(failure_);
            return 0;
        }
        current_ = std::move(full_.front());
        full_.pop_front();
        offset_ = 0;
    }
    const std::size_t given = std::min(size, current_.size - offset_);
    std::memcpy(into, current_.bytes.data() + offset_, given);
    offset_ += given;
    return given;
}

}  // namespace at::fast
