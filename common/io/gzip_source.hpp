#pragma once
// The decompressed bytes of gzip data: every member of it, as pigz and
// bgzip write several. Data that is corrupt or ends inside a member is a
// read failure, never a short input.

#include <memory>
#include <string>
#include <vector>

#include "common/io/byte_source.hpp"

struct inflate_state;

namespace at::io {

class GzipSource final : public ByteSource {
public:
    // `compressed` yields the gzip data; `path` names the input in a failure.
    GzipSource(std::unique_ptr<ByteSource> compressed, std::string path);
    ~GzipSource() override;

    std::size_t read(char* into, std::size_t size) override;

    // Whether bytes start as gzip data does.
    static bool starts_gzip(std::string_view head);

private:
    bool fill_input();  // false at the end of the compressed data
    void start_member();

    std::unique_ptr<ByteSource> compressed_;
    std::string path_;
    std::vector<unsigned char> input_;
    std::unique_ptr<inflate_state> state_;
    bool input_ended_ = false;
    bool member_done_ = false;
};

}  // namespace at::io
