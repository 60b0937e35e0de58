#pragma once
// Copies of texts that stay where they are for the life of the arena, kept
// back to back in large blocks: one allocation for many small texts.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace at {

class TextArena {
public:
    std::string_view keep(std::string_view text) {
        if (text.empty()) return {};
        if (left_ < text.size()) {
            // Blocks grow from small to large, so that many small arenas
            // (in the maps of the children of one taxon) stay small.
            next_block_size_ = std::min(2 * next_block_size_, largest_block_size);
            const std::size_t size = std::max(text.size(), next_block_size_);
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
            next_ = blocks_.back().get();
            left_ = size;
        }
        char* const copy = next_;
        std::memcpy(copy, text.data(), text.size());
        next_ += text.size();
        left_ -= text.size();
        return std::string_view(copy, text.size());
    }

private:
    static constexpr std::size_t largest_block_size = std::size_t{64} << 10;

    std::vector<std::unique_ptr<char[]>> blocks_;
    char* next_ = nullptr;
    std::size_t left_ = 0;
    std::size_t next_block_size_ = 64;
};

}  // namespace at
