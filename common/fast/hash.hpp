#pragma once
// The hash of the flat map's byte-string keys.

#include <cstdint>
#include <string_view>

namespace at::fast {

// Mixes eight bytes at a time through a 128-bit multiply.
std::uint64_t hash_bytes(std::string_view text) noexcept;

}  // namespace at::fast
