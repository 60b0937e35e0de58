#include "common/cli/classification_input.hpp"

#include <vector>

#include "common/counts/count_table.hpp"
#include "common/counts/group_file.hpp"

namespace at::cli {

namespace {

constexpr std::string_view count_option = "--count";
constexpr std::string_view groups_option = "--groups";

// The file of --count or --groups; nullptr without either.
const char* counts_path(const Command& command) {
    for (const std::string_view option : {count_option, groups_option}) {
        const auto given = command.options.find(option);
        if (given != command.options.end()) return given->second.c_str();
    }
    return nullptr;
}

std::vector<InputPath> paths_of(const Command& command) {
    std::vector<InputPath> paths{{command.inputs[0]}};
    if (const char* counts = counts_path(command)) paths.push_back({counts});
    return paths;
}

}  // namespace

ClassificationInput::ClassificationInput(const Command& command) : inputs_(paths_of(command)) {
    const char* path = counts_path(command);
    if (path == nullptr) return;
    if (command.has(count_option)) {
        counts_ = counts::read_count_table(inputs_[1], path);
    } else {
        counts_ = counts::read_group_file(inputs_[1], path);
    }
}

}  // namespace at::cli
