#include "common/io/safe_outputs.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "common/io/errors.hpp"
#include "common/io/termination.hpp"

namespace at {

namespace {

// Syncs a folder, so that the names in it last; the errno of a failure, or
// 0. A folder that cannot be opened for reading (one the user may write into
// but not list) or a file system that cannot sync folders (EINVAL) is left
// to keep its names as it does.
int sync_folder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    int error = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

// Makes the output folder unless it is there; its parent must exist. The
// parent is synced, so that the new folder outlasts a power cut as its
// outputs do.
void make_folder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0777) == 0) {
        std::string parent = folder.substr(0, folder.find_last_not_of('/') + 1);
        parent.resize(parent.rfind('/') + 1);
        sync_folder(parent.empty() ? "." : parent);
        return;
    }
    int error = errno;
    struct stat existing;
    if (error == EEXIST) {
        if (::stat(folder.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return;
        error = ENOTDIR;
    }
    throw io::FolderFailed(folder, io::reason_of(error));
}

}  // namespace

SafeOutputs::SafeOutputs(std::string folder) : folder_(std::move(folder)) {}

TextSink& SafeOutputs::create(std::string_view name) {
    if (files_.empty() && !folder_.empty()) make_folder(folder_);
    std::string path = folder_;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    files_.push_back(std::make_unique<OutputFile>(std::move(path)));
    return *files_.back();
}

void SafeOutputs::commit() {
    std::vector<io::FileFailure> failed;
    for (auto& file : files_) file->start_writeback();
    for (auto& file : files_) {
        if (!file->finish()) failed.push_back({file->path(), file->reason()});
    }
    if (failed.empty()) {
        const TerminationHeld held;
        put_in_place(failed);
    }
    if (!failed.empty()) throw io::WriteFailed(std::move(failed));
}

// Every new file first gets a hidden name; then, one output at a time, the
// earlier file gets a second, hidden name and the new file is renamed over
// the final name. A step that fails undoes those before it, so that the
// final names hold either all the earlier files or all the new ones.
void SafeOutputs::put_in_place(std::vector<io::FileFailure>& failed) {
    const auto failure = [&failed](const OutputFile& file) { failed.push_back({file.path(), file.reason()}); };
    for (auto& file : files_) {
        if (!file->stage()) {
            failure(*file);
            return;
        }
    }
    for (auto& file : files_) {
        if (!file->keep_earlier() || !file->replace()) {
            failure(*file);
            undo();
            return;
        }
    }
    if (!sync_folders(&failed)) {
        undo();
        return;
    }
    bool dropped = false;
    for (auto& file : files_) dropped = file->drop_earlier() || dropped;
    // The renames are on disk by now; this sync only makes the removal of
    // the earlier files' hidden names last, and its failure changes no output.
    if (dropped) sync_folders(nullptr);
}

void SafeOutputs::undo() {
    for (auto& file : files_) file->put_back();
    for (auto& file : files_) file->drop_earlier();
    sync_folders(nullptr);
}

// Syncs each folder that holds an output. A sync that fails is named, with
// the first output of its folder, in `failed`.
bool SafeOutputs::sync_folders(std::vector<io::FileFailure>* failed) const {
    std::vector<std::string> synced;
    for (const auto& file : files_) {
        if (std::find(synced.begin(), synced.end(), file->folder()) != synced.end()) continue;
        synced.push_back(file->folder());
        if (const int error = sync_folder(file->folder()); error != 0) {
            if (failed != nullptr) failed->push_back({file->path(), io::reason_of(error)});
            return false;
        }
    }
    return true;
}

}  // namespace at
