#pragma once
// A safe output file. Its text is written to a temporary file beside the
// final name; only when every byte is written and synced is it renamed over
// the final name. A run that fails, or is stopped by SIGINT, SIGTERM or
// SIGHUP, leaves the earlier file of that name as it was and no temporary
// file behind.

#include <cstdint>
#include <string>

#include "common/io/text_sink.hpp"

namespace at {

class OutputFile final : public TextSink {
public:
    explicit OutputFile(std::string final_path);
    ~OutputFile() override;  // removes the temporary file unless committed

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes what is buffered and has the system start writing the file to
    // disk, so that the syncs of several outputs overlap.
    void start_writeback();
    // Writes what is buffered, syncs and closes the temporary file; false
    // when it could not be created or any write to it failed.
    bool finish();
    // Renames the finished temporary file over the final name.
    bool commit();

    const std::string& path() const { return final_path_; }
    // Why the output failed, as the system words it.
    std::string reason() const;

private:
    void open();
    void drain() override;
    void hand_to_disk();
    void discard();
    void fail(int error);  // keeps the first error

    std::string final_path_;
    std::string temp_path_;
    int fd_ = -1;
    std::uint64_t written_ = 0;         // bytes written to the temporary file
    std::uint64_t handed_to_disk_ = 0;  // of those, asked to be written to disk
    int slot_ = -1;  // place in the list of temporary files removed on a signal
    bool ok_ = false;
    int error_ = 0;  // the errno of the first failure
};

}  // namespace at
