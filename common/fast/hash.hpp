#pragma once
// The hashes of the flat map's keys.

#include <cstdint>
#include <string_view>

namespace at::fast {

// Mixes eight bytes at a time through a 128-bit multiply.
std::uint64_t hash_bytes(std::string_view text) noexcept;

// The finishing mix of MurmurHash3: every bit of the number reaches every
// bit of the hash.
inline std::uint64_t hash_integer(std::uint64_t bits) noexcept {
    bits ^= bits >> 33;
    bits *= 0xff51afd7ed558ccdull;
    bits ^= bits >> 33;
    bits *= 0xc4ceb9fe1a85ec53ull;
    return bits ^ (bits >> 33);
}

}  // namespace at::fast
