#include "common/output_file.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace at {

namespace {

// Temporary files that exist right now, for the signal handler to remove.
// Plain pointers into the OutputFile's own path string; a slot is cleared
// before that string goes away.
constexpr int max_pending = 32;
std::atomic<const char*> pending_temp_files[max_pending];

int remember_temp_file(const char* path) {
    for (int slot = 0; slot < max_pending; ++slot) {
        const char* expected = nullptr;
        if (pending_temp_files[slot].compare_exchange_strong(expected, path)) return slot;
    }
    return -1;
}

void forget_temp_file(int slot) {
    if (slot >= 0) pending_temp_files[slot].store(nullptr);
}

extern "C" void remove_temp_files_and_die(int signal_number) {
    for (auto& entry : pending_temp_files) {
        const char* path = entry.exchange(nullptr);
        if (path != nullptr) ::unlink(path);
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return path.substr(0, slash + 1);
}

std::string base_name_of(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

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

void install_output_signal_handlers() {
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal_number, remove_temp_files_and_die);
    }
    // Past a file size limit, write() then fails with EFBIG and is reported
    // like any other write failure instead of killing the run.
    std::signal(SIGXFSZ, SIG_IGN);
}

OutputFile::OutputFile(std::string final_path)
    : TextSink(drain_size), final_path_(std::move(final_path)) {
    // Room for a full block and the row that completes it, so that the
    // buffer does not grow (and get copied) on the way to its first drain.
    reserve(drain_size + drain_size / 16);
}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open() {
    struct stat existing;
    if (::stat(final_path_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return false;
    // A hidden name beside the final one: same folder, so the rename is atomic.
    const std::string stem = folder_of(final_path_) + "." + base_name_of(final_path_) + ".tmp." +
                             std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_path_ = stem + std::to_string(attempt);
        // 0666 so that the finished file gets the permissions the umask allows,
        // as any file the user's shell would create.
        fd_ = ::open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            slot_ = remember_temp_file(temp_path_.c_str());
            ok_ = true;
            return true;
        }
        if (errno != EEXIST) break;
    }
    temp_path_.clear();
    return false;
}

void OutputFile::drain() {
    const std::string_view text = pending();
    if (ok_ && !write_all(fd_, text.data(), text.size())) ok_ = false;
    written_ += text.size();
    drained();
    // An output is handed to the disk as it grows, every megabyte, so that
    // the disk writes while the rest is made and the sync at the end has
    // little left to wait for (half the time of a table of a few megabytes),
    // and so that the page cache does not fill with a large one.
    constexpr std::uint64_t writeback_step = std::uint64_t{1} << 20;
    if (written_ - handed_to_disk_ >= writeback_step) {
        hand_to_disk();
        drop_behind();
    }
}

// Of a large output, what is more than a few megabytes behind the end is
// waited for on its way to disk and then dropped from the page cache. The
// output streams through a small window of memory instead of pushing the
// user's other files (the inputs among them) out of the cache, and the pages
// it frees are used again for the rest of it. Advice only, as above: the
// sync at the end reports any error of these writes.
void OutputFile::drop_behind() {
#if defined(__linux__)
    constexpr std::uint64_t kept_cached = std::uint64_t{16} << 20;
    if (!ok_ || handed_to_disk_ < dropped_ + 2 * kept_cached) return;
    const std::uint64_t until = handed_to_disk_ - kept_cached;
    const auto from = static_cast<off_t>(dropped_);
    const auto length = static_cast<off_t>(until - dropped_);
    ::sync_file_range(fd_, from, length,
                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    ::posix_fadvise(fd_, from, length, POSIX_FADV_DONTNEED);
    dropped_ = until;
#endif
}

void OutputFile::start_writeback() {
    if (fd_ < 0) return;
    drain();
    hand_to_disk();
}

// Asks the system to start writing what was written since the last time to
// disk. Advice only: finish() syncs whether or not this started anything.
void OutputFile::hand_to_disk() {
#if defined(__linux__)
    if (ok_ && written_ > handed_to_disk_) {
        ::sync_file_range(fd_, static_cast<off_t>(handed_to_disk_), static_cast<off_t>(written_ - handed_to_disk_),
                          SYNC_FILE_RANGE_WRITE);
    }
#endif
    handed_to_disk_ = written_;
}

bool OutputFile::finish() {
    if (fd_ < 0) return false;
    drain();
    if (ok_ && ::fsync(fd_) != 0) ok_ = false;
    if (::close(fd_) != 0) ok_ = false;
    fd_ = -1;
    return ok_;
}

bool OutputFile::commit() {
    if (!ok_ || fd_ >= 0 || temp_path_.empty()) return false;
    if (::rename(temp_path_.c_str(), final_path_.c_str()) != 0) {
        ok_ = false;
        return false;
    }
    forget_temp_file(slot_);
    slot_ = -1;
    temp_path_.clear();
    return true;
}

void OutputFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_path_.empty()) {
        forget_temp_file(slot_);
        slot_ = -1;
        ::unlink(temp_path_.c_str());
        temp_path_.clear();
    }
    ok_ = false;
}

}  // namespace at
