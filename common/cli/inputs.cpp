#include "common/cli/inputs.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "common/cli/messages.hpp"
#include "common/fast/read_ahead.hpp"
#include "common/io/file_source.hpp"
#include "common/io/gzip_source.hpp"

namespace at::cli {

namespace {

// The lines of an open input: read as they stand, or decompressed when the
// input starts as gzip data does, whatever its name.
std::unique_ptr<LineReader> lines_of(int fd, const std::string& path) {
    auto file = std::make_unique<io::FileSource>(fd, path);
    if (!io::GzipSource::starts_gzip(file->peek(2))) return std::make_unique<LineReader>(std::move(file), path);
    auto gzip = std::make_unique<io::GzipSource>(std::move(file), path);
    return std::make_unique<LineReader>(std::make_unique<fast::ReadAhead>(std::move(gzip)), path);
}

}  // namespace

Inputs::Inputs(std::span<const InputPath> paths) {
    bool all_open = true;
    for (const InputPath& input : paths) {
        const bool standard_input = std::string_view(input.path) == standard_input_name;
        const int fd = standard_input ? STDIN_FILENO : ::open(input.path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            report_open_failure({input.path, io::reason_of(errno)}, input.naming);
            all_open = false;
            continue;
        }
        if (!standard_input) fds_.push_back(fd);
        // Inputs are read once from start to end.
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        if (all_open) readers_.push_back(lines_of(fd, input.path));
    }
    if (!all_open) {
        readers_.clear();
        for (const int fd : fds_) ::close(fd);
        fds_.clear();
        throw OpenFailed();
    }
}

Inputs::~Inputs() {
    readers_.clear();  // their read-ahead threads stop before the files close
    for (const int fd : fds_) ::close(fd);
}

}  // namespace at::cli
