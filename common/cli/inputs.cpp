#include "common/cli/inputs.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "common/cli/messages.hpp"

namespace at::cli {

Inputs::Inputs(std::initializer_list<InputPath> paths) {
    bool all_open = true;
    for (const InputPath& input : paths) {
        const int fd = ::open(input.path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            report_open_failure({input.path, io::reason_of(errno)}, input.naming);
            all_open = false;
            continue;
        }
        // Inputs are read once from start to end.
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        fds_.push_back(fd);
        readers_.push_back(std::make_unique<LineReader>(fd, input.path));
    }
    if (!all_open) {
        for (const int fd : fds_) ::close(fd);
        fds_.clear();
        throw OpenFailed();
    }
}

Inputs::~Inputs() {
    for (const int fd : fds_) ::close(fd);
}

}  // namespace at::cli
