#include "common/fast/hash.hpp"

#include <cstring>

namespace at::fast {

namespace {

std::uint64_t mix(std::uint64_t a, std::uint64_t b) noexcept {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

std::uint64_t word_at(const char* bytes) noexcept {
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    return word;
}

constexpr std::uint64_t seed = 0x9e3779b97f4a7c15ull;
constexpr std::uint64_t multipliers[4] = {0xbf58476d1ce4e5b9ull, 0x94d049bb133111ebull, 0xff51afd7ed558ccdull,
                                          0xc4ceb9fe1a85ec53ull};

}  // namespace

std::uint64_t hash_bytes(std::string_view text) noexcept {
    const char* bytes = text.data();
    std::size_t left = text.size();
    std::uint64_t hash = seed ^ (left * multipliers[0]);
    // Long keys (lineages) go through four independent lanes, 32 bytes at a
    // time, so that the multiplies of a step do not wait for each other.
    if (left >= 32) {
        std::uint64_t lanes[4] = {hash, seed ^ multipliers[1], seed ^ multipliers[2], seed ^ multipliers[3]};
        for (; left >= 32; bytes += 32, left -= 32) {
            for (int lane = 0; lane < 4; ++lane) lanes[lane] = mix(lanes[lane] ^ word_at(bytes + 8 * lane), multipliers[lane]);
        }
        hash = mix(lanes[0] ^ lanes[2], lanes[1] ^ lanes[3] ^ multipliers[0]);
    }
    for (; left >= 8; bytes += 8, left -= 8) hash = mix(hash ^ word_at(bytes), multipliers[0]);
    if (left != 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, left);
        hash = mix(hash ^ word, multipliers[0]);
    }
    return mix(hash, seed);
}

}  // namespace at::fast
