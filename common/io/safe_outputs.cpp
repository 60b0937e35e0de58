#include "common/io/safe_outputs.hpp"

#include <string>

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
    for (auto& file : files_) file->drop_earlier();
}

void SafeOutputs::undo() {
    for (auto& file : files_) file->put_back();
    for (auto& file : files_) file->drop_earlier();
}

}  // namespace at
