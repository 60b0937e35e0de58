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
constexpr int max_attempts = 100;  // hidden names tried before giving up

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

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// An unnamed file is given its name through /proc/self/fd, which works
// without privileges; without /proc it could not be named at all.
bool can_name_unnamed_files() {
#if defined(O_TMPFILE)
    static const bool proc_mounted = ::access("/proc/self/fd", X_OK) == 0;
    return proc_mounted;
#else
    return false;
#endif
}

}  // namespace

OutputFile::OutputFile(std::string final_path)
    : TextSink(drain_size), final_path_(std::move(final_path)), folder_(folder_of(final_path_)) {
    open();
}

OutputFile::~OutputFile() { discard(); }

// A hidden name beside the final one, so that renames between them are
// atomic: ".otu.txt.tmp.PID.N" for the new file, ".otu.txt.old.PID.N" for
// the earlier one.
std::string OutputFile::hidden_name(const char* kind, int attempt) const {
    const auto slash = final_path_.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    return final_path_.substr(0, base) + "." + final_path_.substr(base) + "." + kind + "." +
           std::to_string(::getpid()) + "." + std::to_string(attempt);
}

void OutputFile::open() {
    struct stat existing;
    if (::stat(final_path_.c_str(), &existing) == 0) {
        // A final name that is a folder could never be replaced by the rename.
        if (S_ISDIR(existing.st_mode)) {
            error_ = EISDIR;
            return;
        }
        keep_mode_ = true;
        earlier_mode_ = existing.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO);
    }
    // 0666, so that a first output gets the permissions the umask allows, as
    // any file the user's shell would create.
#if defined(O_TMPFILE)
    if (can_name_unnamed_files()) {
        fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        unnamed_ = fd_ >= 0;
    }
#endif
    for (int attempt = 0; fd_ < 0 && attempt < max_attempts; ++attempt) {
        new_path_ = hidden_name("tmp", attempt);
        fd_ = ::open(new_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) slot_ = remember_hidden_file(new_path_.c_str());
        else if (errno != EEXIST) break;
    }
    if (fd_ < 0) {
        error_ = errno;
        new_path_.clear();
        return;
    }
    ok_ = true;
    if (keep_mode_ && ::fchmod(fd_, earlier_mode_) != 0) fail(errno);
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
    return ok_;
}

bool OutputFile::stage() {
    if (!ok_ || fd_ < 0) return false;
    if (unnamed_) {
        const std::string open_file = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < max_attempts; ++attempt) {
            std::string name = hidden_name("tmp", attempt);
            if (::linkat(AT_FDCWD, open_file.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                new_path_ = std::move(name);
                slot_ = remember_hidden_file(new_path_.c_str());
                unnamed_ = false;
                break;
            }
            if (errno != EEXIST) break;
        }
        if (unnamed_) fail(errno);
    }
    close_file();
    return ok_;
}

bool OutputFile::keep_earlier() {
    if (!ok_) return false;
    for (int attempt = 0; attempt < max_attempts; ++attempt) {
        std::string name = hidden_name("old", attempt);
        if (::link(final_path_.c_str(), name.c_str()) == 0) {
            earlier_path_ = std::move(name);
            return true;
        }
        if (errno == ENOENT) return true;  // a first output: nothing to keep
        if (errno != EEXIST) {
            // A file system without hard links (EPERM) or a file with as many
            // as it can have (EMLINK): the earlier file is renamed aside.
            move_aside_ = true;
            return true;
        }
    }
    fail(EEXIST);
    return false;
}

bool OutputFile::replace() {
    if (!ok_) return false;
    if (move_aside_) {
        for (int attempt = 0; earlier_path_.empty() && attempt < max_attempts; ++attempt) {
            std::string name = hidden_name("old", attempt);
            struct stat taken;
            if (::lstat(name.c_str(), &taken) == 0) continue;
            if (::rename(final_path_.c_str(), name.c_str()) == 0) {
                earlier_path_ = std::move(name);
            } else if (errno == ENOENT) {
                break;  // a first output
            } else {
                fail(errno);
                return false;
            }
        }
    }
    if (::rename(new_path_.c_str(), final_path_.c_str()) != 0) {
        fail(errno);
        return false;
    }
    forget_hidden_file(slot_);
    slot_ = -1;
    new_path_.clear();
    replaced_ = true;
    return true;
}

void OutputFile::put_back() {
    // The final name holds something else than the earlier file only once
    // the new file is there or the earlier file was renamed aside.
    if (!replaced_ && !(move_aside_ && !earlier_path_.empty())) return;
    if (!earlier_path_.empty()) {
        // Should this rename fail, the earlier data stays under its hidden
        // name rather than being removed with it.
        ::rename(earlier_path_.c_str(), final_path_.c_str());
        earlier_path_.clear();
    } else {
        ::unlink(final_path_.c_str());
    }
    replaced_ = false;
}

bool OutputFile::drop_earlier() {
    if (earlier_path_.empty()) return false;
    ::unlink(earlier_path_.c_str());
    earlier_path_.clear();
    return true;
}

void OutputFile::close_file() {
    if (fd_ < 0) return;
    if (::close(fd_) != 0) fail(errno);
    fd_ = -1;
}

void OutputFile::fail(int error) {
    if (ok_ || error_ == 0) error_ = error;
    ok_ = false;
}

std::string OutputFile::reason() const { return io::reason_of(error_); }

// An unnamed file goes with its descriptor; a named one that is not in place
// is removed. The earlier file's hidden name is left alone: it is removed by
// drop_earlier() only once it is no longer needed.
void OutputFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!new_path_.empty()) {
        forget_hidden_file(slot_);
        slot_ = -1;
        ::unlink(new_path_.c_str());
        new_path_.clear();
    }
    ok_ = false;
}

}  // namespace at
