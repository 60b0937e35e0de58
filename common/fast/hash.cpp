#include "common/fast/hash.hpp"

#include <cstring>

namespace at::fast {

namespace {

std::uint64_t mix(std::uint64_t a, std::uint64_t b) noexcept {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

}  // namespace

std::uint64_t hash_bytes(std::string_view text) noexcept {
    constexpr std::uint64_t seed = 0x9e3779b97f4a7c15ull;
    constexpr std::uint64_t multiplier = 0xbf58476d1ce4e5b9ull;
    std::uint64_t hash = seed ^ (text.size() * multiplier);
    const char* bytes = text.data();
    std::size_t left = text.size();
    for (; left >= 8; bytes += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        hash = mix(hash ^ word, multiplier);
    }
    if (left != 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, left);
        hash = mix(hash ^ word, multiplier);
    }
    return mix(hash, seed);
}

}  // namespace at::fast
