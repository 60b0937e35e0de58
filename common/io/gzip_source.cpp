#include "common/io/gzip_source.hpp"

#include <climits>
#include <isa-l/igzip_lib.h>

#include "common/io/errors.hpp"

namespace at::io {

namespace {

constexpr std::size_t input_size = std::size_t{256} << 10;

}  // namespace

bool GzipSource::starts_gzip(std::string_view head) { return head.size() >= 2 && head[0] == '\x1f' && head[1] == '\x8b'; }

GzipSource::GzipSource(std::unique_ptr<ByteSource> compressed, std::string path)
    : compressed_(std::move(compressed)),
      path_(std::move(path)),
      input_(input_size),
      state_(std::make_unique<inflate_state>()) {
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_GZIP;
}

GzipSource::~GzipSource() = default;

bool GzipSource::fill_input() {
    if (input_ended_) return false;
    const std::size_t got = compressed_->read(reinterpret_cast<char*>(input_.data()), input_.size());
    if (got == 0) {
        input_ended_ = true;
        return false;
    }
    state_->next_in = input_.data();
    state_->avail_in = static_cast<std::uint32_t>(got);
    return true;
}

// After a member, the inflater may hold bytes of the next one as bits it
// read ahead: they are given back to the input before it starts afresh.
void GzipSource::start_member() {
    const std::uint32_t held = static_cast<std::uint32_t>(state_->read_in_length) / 8;
    std::uint8_t* next_in = state_->next_in - held;
    const std::uint32_t avail_in = state_->avail_in + held;
    isal_inflate_reset(state_.get());
    state_->crc_flag = ISAL_GZIP;
    state_->next_in = next_in;
    state_->avail_in = avail_in;
    member_done_ = false;
}

std::size_t GzipSource::read(char* into, std::size_t size) {
    if (size > UINT_MAX) size = UINT_MAX;
    for (;;) {
        if (member_done_) {
            if (state_->avail_in == 0 && state_->read_in_length < 8 && !fill_input()) return 0;
            start_member();
        }
        if (state_->avail_in == 0) fill_input();
        state_->next_out = reinterpret_cast<std::uint8_t*>(into);
        state_->avail_out = static_cast<std::uint32_t>(size);
        const int status = isal_inflate(state_.get());
        if (status < 0 || status == ISAL_NEED_DICT) throw ReadFailed(path_, "the gzip data is corrupt");
        member_done_ = state_->block_state == ISAL_BLOCK_FINISH;
        const std::size_t produced = size - state_->avail_out;
        if (produced > 0) return produced;
        if (!member_done_ && input_ended_ && state_->avail_in == 0) {
            throw ReadFailed(path_, "the gzip data is truncated");
        }
    }
}

}  // namespace at::io
