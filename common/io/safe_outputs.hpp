#pragma once
// The output files of one run, made safe: nothing replaces an earlier file
// until every output is complete, and then all replace their earlier files
// or none does.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/io/errors.hpp"
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
    // Finishes every output and puts them all in place, each folder that
    // holds one synced after. Throws io::WriteFailed, naming the outputs that
    // could not be created, written or put in place, when any could not; the
    // earlier files then stay as they were. The terminating signals are held
    // back while the outputs are put in place, so that a run stopped then
    // ends with every output new. Outputs never committed are removed when
    // the set goes.
    void commit();

private:
    std::string folder_;
    void put_in_place(std::vector<io::FileFailure>& failed);
    void undo();
    bool sync_folders(std::vector<io::FileFailure>* failed) const;

    std::vector<std::unique_ptr<OutputFile>> files_;
};

}  // namespace at
