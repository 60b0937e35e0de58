#pragma once
// The failures of reading inputs and writing outputs. They are thrown where
// they happen and reported in one place, the command-line frame, which maps
// them to the run's messages and exit status. Each carries the reason, as
// the system words it ("No such file or directory").

#include <stdexcept>
#include <string>
#include <vector>

namespace at::io {

// The system's wording of an errno value.
std::string reason_of(int error);

// A file and why it failed.
struct FileFailure {
    std::string path;
    std::string reason;
    bool operator==(const FileFailure&) const = default;
};

// An input could not be read to its end.
struct ReadFailed : std::runtime_error {
    ReadFailed(std::string file, std::string why)
        : std::runtime_error("read failed"), failure{std::move(file), std::move(why)} {}
    FileFailure failure;
};

// A read that the classification names and the file of read counts (a
// count table or a group file) lacks.
struct ReadNotListed : std::runtime_error {
    ReadNotListed(std::string read_id, std::string counts_file)
        : std::runtime_error("read not listed"), read(std::move(read_id)), file(std::move(counts_file)) {}
    std::string read;
    std::string file;
};

// Outputs could not be written or put in place. When any could not be
// written, none replaced an earlier file.
struct WriteFailed : std::runtime_error {
    explicit WriteFailed(std::vector<FileFailure> files)
        : std::runtime_error("write failed"), failures(std::move(files)) {}
    std::vector<FileFailure> failures;
};

// The folder the outputs go into could not be made.
struct FolderFailed : std::runtime_error {
    FolderFailed(std::string folder, std::string why)
        : std::runtime_error("folder failed"), failure{std::move(folder), std::move(why)} {}
    FileFailure failure;
};

}  // namespace at::io
