#pragma once
// The output files of one run, made safe: nothing replaces an earlier file
// until every output is complete, and then all are renamed into place.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/io/output_file.hpp"
#include "common/io/output_set.hpp"

namespace at {

class SafeOutputs final : public OutputSet {
public:
    // Outputs go into `folder` ("" for the current folder), which is made,
    // when it does not exist, as the first output is created; io::FolderFailed
    // when it cannot be.
    explicit SafeOutputs(std::string folder = {});
    TextSink& create(std::string_view name) override;
    // Finishes every output and renames them into place. Throws
    // io::WriteFailed, naming each output that could not be created or
    // written, when any could not; the earlier files then stay as they were.
    // Outputs never committed are removed when the set goes.
    void commit();

private:
    std::string folder_;
    std::vector<std::unique_ptr<OutputFile>> files_;
};

}  // namespace at
