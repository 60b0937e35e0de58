#pragma once
// The failures of reading inputs and writing outputs. They are thrown where
// they happen and reported in one place, the command-line frame, which maps
// them to the run's messages and exit status.

#include <stdexcept>
#include <string>
#include <vector>

namespace at::io {

// An input could not be read to its end.
struct ReadFailed : std::runtime_error {
    explicit ReadFailed(std::string file) : std::runtime_error("read failed"), path(std::move(file)) {}
    std::string path;
};

// Outputs could not be written or put in place. When any could not be
// written, none replaced an earlier file.
struct WriteFailed : std::runtime_error {
    explicit WriteFailed(std::vector<std::string> files)
        : std::runtime_error("write failed"), paths(std::move(files)) {}
    std::vector<std::string> paths;
};

}  // namespace at::io
