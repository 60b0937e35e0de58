#pragma once
// Reads a byte source ahead in a thread of its own, so that producing the
// bytes (decompressing them) overlaps with parsing them. The thread fills
// whole blocks and hands them over through a short queue; a failure of the
// source reaches the reader at the point of the input where it happened.
// Its plain twin is the source read directly.

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/io/byte_source.hpp"

namespace at::fast {

class ReadAhead final : public io::ByteSource {
public:
    explicit ReadAhead(std::unique_ptr<io::ByteSource> source);
    ~ReadAhead() override;  // stops the thread, also before the end

    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    std::size_t read(char* into, std::size_t size) override;

private:
    struct Block {
        std::vector<char> bytes;
        std::size_t size = 0;
    };

    void produce();

    std::unique_ptr<io::ByteSource> source_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> full_;            // filled, in input order
    std::vector<std::vector<char>> free_;  // emptied, to be filled again
    bool finished_ = false;             // the source is at its end or failed
    bool stopping_ = false;             // the reader has gone
    std::exception_ptr failure_;
    Block current_;                     // being read by the reader
    std::size_t offset_ = 0;            // of current_, handed out so far
    std::thread thread_;
};

}  // namespace at::fast
