#pragma once
// The input of the programs that read a classification file and weigh its
// reads: the file, and with "--count FILE" (a count table) or "--groups
// FILE" (a group file) what each of its reads stands for.

#include <optional>

#include "common/cli/inputs.hpp"
#include "common/cli/program.hpp"
#include "common/counts/read_counts.hpp"

namespace at::cli {

class ClassificationInput {
public:
    // Opens the classification file (the command's first input) and the
    // file of --count or --groups together, then reads the latter whole.
    explicit ClassificationInput(const Command& command);

    LineReader& lines() { return inputs_[0]; }
    // What each read stands for; nullptr without --count and --groups.
    const counts::ReadCounts* counts() const { return counts_ ? &*counts_ : nullptr; }

private:
    Inputs inputs_;
    std::optional<counts::ReadCounts> counts_;
};

}  // namespace at::cli
