#pragma once
// Where an input's bytes come from: a file, standard input, or the
// decompressed contents of either.

#include <cstddef>

namespace at::io {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes into `into`; 0 only at the end of the input.
    // A failure throws io::ReadFailed naming the input and the reason.
    virtual std::size_t read(char* into, std::size_t size) = 0;
};

}  // namespace at::io
