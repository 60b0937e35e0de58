#include "common/io/safe_outputs.hpp"

#include <string>

#include "common/io/errors.hpp"

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
        for (auto& file : files_) {
            if (!file->commit()) failed.push_back({file->path(), file->reason()});
        }
    }
    if (!failed.empty()) throw io::WriteFailed(std::move(failed));
}

}  // namespace at
