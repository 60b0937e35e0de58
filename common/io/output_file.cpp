#include "common/io/output_file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/io/errors.hpp"
#include "common/io/termination.hpp"

namespace at {

namespace {

constexpr std::size_t drain_size = std::size_t{256} << 10;

bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

}  // namespace

OutputFile::OutputFile(std::string final_path) : TextSink(drain_size), final_path_(std::move(final_path)) { open(); }

OutputFile::~OutputFile() { discard(); }

void OutputFile::open() {
    // A final name that is a folder could never be replaced by the rename.
    struct stat existing;
    if (::stat(final_path_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        error_ = EISDIR;
        return;
    }
    // A hidden name in the same folder, so that the rename is atomic.
    const auto slash = final_path_.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    const std::string stem = final_path_.substr(0, base) + "." + final_path_.substr(base) + ".tmp." +
                             std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_path_ = stem + std::to_string(attempt);
        // 0666, so that the finished file gets the permissions the umask
        // allows, as any file the user's shell would create.
        fd_ = ::open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            slot_ = remember_hidden_file(temp_path_.c_str());
            ok_ = true;
            return;
        }
        if (errno != EEXIST) break;
    }
    error_ = errno;
    temp_path_.clear();
}

void OutputFile::drain() {
    if (ok_ && !write_all(fd_, buffer_.data(), buffer_.size())) fail(errno);
    written_ += buffer_.size();
    buffer_.clear();
    // A large output is handed to the disk as it grows, so that the sync at
    // the end has little left to wait for.
    constexpr std::uint64_t writeback_step = std::uint64_t{8} << 20;
    if (written_ - handed_to_disk_ >= writeback_step) hand_to_disk();
}

void OutputFile::start_writeback() {
    if (fd_ < 0) return;
    drain();
    hand_to_disk();
}

// Asks the system to start writing what was written since the last time.
// An error here fails the output: the sync would not report it again.
void OutputFile::hand_to_disk() {
#if defined(__linux__)
    if (ok_ && written_ > handed_to_disk_ &&
        ::sync_file_range(fd_, static_cast<off_t>(handed_to_disk_), static_cast<off_t>(written_ - handed_to_disk_),
                          SYNC_FILE_RANGE_WRITE) != 0 &&
        errno != ENOSYS) {
        fail(errno);
    }
#endif
    handed_to_disk_ = written_;
}

bool OutputFile::finish() {
    if (fd_ < 0) return false;
    drain();
    if (ok_ && ::fsync(fd_) != 0) fail(errno);
    if (::close(fd_) != 0) fail(errno);
    fd_ = -1;
    return ok_;
}

bool OutputFile::commit() {
    if (!ok_ || fd_ >= 0 || temp_path_.empty()) return false;
    if (::rename(temp_path_.c_str(), final_path_.c_str()) != 0) {
        fail(errno);
        return false;
    }
    forget_hidden_file(slot_);
    slot_ = -1;
    temp_path_.clear();
    return true;
}

void OutputFile::fail(int error) {
    if (ok_ || error_ == 0) error_ = error;
    ok_ = false;
}

std::string OutputFile::reason() const { return io::reason_of(error_); }

void OutputFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_path_.empty()) {
        forget_hidden_file(slot_);
        slot_ = -1;
        ::unlink(temp_path_.c_str());
        temp_path_.clear();
    }
    ok_ = false;
}

}  // namespace at
