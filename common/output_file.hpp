#pragma once
// Safe output files. Each output is written to a temporary file in the folder
// of its final name; only when every byte is written, flushed and synced is it
// renamed over the final name. A run that fails, or is interrupted by SIGINT,
// SIGTERM or SIGHUP, leaves the earlier file of that name as it was and no
// temporary file behind.

#include <cstdint>
#include <string>

#include "common/text_sink.hpp"

namespace at {

class OutputFile final : public TextSink {
public:
    static constexpr std::size_t drain_size = std::size_t{256} << 10;

    explicit OutputFile(std::string final_path);
    ~OutputFile() override;  // removes the temporary file unless committed

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file. False when it cannot be created, or when the
    // final name is a folder (which the rename could never replace).
    bool open();
    // Writes what is buffered and has the system start writing the file to
    // disk, so that the syncs of several outputs overlap.
    void start_writeback();
    // Writes what is buffered, syncs and closes the temporary file; false when
    // any write since open() failed.
    bool finish();
    // Renames the finished temporary file over the final name.
    bool commit();
    // Removes the temporary file, leaving any earlier file of the final name.
    void discard();

    const std::string& path() const { return final_path_; }
    bool ok() const { return ok_; }

private:
    void drain() override;
    void hand_to_disk();
    void drop_behind();

    std::string final_path_;
    std::string temp_path_;
    int fd_ = -1;
    std::uint64_t written_ = 0;         // bytes written to the temporary file
    std::uint64_t handed_to_disk_ = 0;  // of those, asked to be written to disk
    std::uint64_t dropped_ = 0;         // of those, written and dropped from the page cache
    int slot_ = -1;  // place in the list of temporary files removed on a signal
    bool ok_ = false;
};

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of unfinished
// outputs before the program ends, and turns SIGXFSZ into a write error.
void install_output_signal_handlers();

}  // namespace at
