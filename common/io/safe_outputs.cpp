#include "common/io/safe_outputs.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "common/io/termination.hpp"

namespace at {

TextSink& SafeOutputs::create(std::string_view name) {
    files_.push_back(std::make_unique<OutputFile>(std::string(name)));
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

// Syncs each folder that holds an output, so that the names in it last. A
// folder that cannot be opened for reading (one the user may write into but
// not list) or a file system that cannot sync folders (EINVAL) is left to
// keep its names as it does. A sync that fails is named, with the first
// output of its folder, in `failed`.
bool SafeOutputs::sync_folders(std::vector<io::FileFailure>* failed) const {
    std::vector<std::string> synced;
    for (const auto& file : files_) {
        if (std::find(synced.begin(), synced.end(), file->folder()) != synced.end()) continue;
        synced.push_back(file->folder());
        const int fd = ::open(file->folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        int error = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
        if (::close(fd) != 0 && error == 0) error = errno;
        if (error != 0) {
            if (failed != nullptr) failed->push_back({file->path(), io::reason_of(error)});
            return false;
        }
    }
    return true;
}

}  // namespace at
