#include "common/io/safe_outputs.hpp"

#include <cerrno>
#include <string>
#include <sys/stat.h>

#include "common/io/errors.hpp"

namespace at {

namespace {

// Makes the output folder unless it is there; its parent must exist.
void make_folder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0777) == 0) return;
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
        for (auto& file : files_) {
            if (!file->commit()) failed.push_back({file->path(), file->reason()});
        }
    }
    if (!failed.empty()) throw io::WriteFailed(std::move(failed));
}

}  // namespace at
