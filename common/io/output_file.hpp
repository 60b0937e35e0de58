#pragma once
// One output file of a run. Its text goes to an unnamed file in the output's
// own folder (O_TMPFILE), which gets a hidden name there only when the run
// puts its outputs in place, so that a run stopped even by SIGKILL before
// then leaves no file behind. Where the file system has no unnamed files, a
// hidden file is created from the start instead, and removed by the signal
// handlers (io/termination.hpp) and by the destructor.
//
// Any error of a write, a writeback, the sync or the close fails the output
// with its reason. The new file takes the permission bits of the earlier file
// of its name; a first output gets those that the umask allows.
//
// The steps of putting the output in place are each undone by a later one,
// so that the set of outputs (io/safe_outputs.hpp) replaces all or none.

#include <cstdint>
#include <string>
#include <sys/types.h>

#include "common/io/text_sink.hpp"

namespace at {

class OutputFile final : public TextSink {
public:
    explicit OutputFile(std::string final_path);
    ~OutputFile() override;  // removes the new file unless it is in place

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes what is buffered and has the system start writing the file to
    // disk, so that the syncs of several outputs overlap.
    void start_writeback();
    // Writes what is buffered and syncs the file; false when it could not be
    // created or any write or sync failed.
    bool finish();

    // Putting the finished output in place, in this order; each step that
    // can fail returns false and keeps the reason.
    //
    // Gives the new file its hidden name in the folder and closes it.
    bool stage();
    // Keeps the earlier file of the final name under a hidden name too (a
    // hard link), so that it can be put back.
    bool keep_earlier();
    // Renames the new file over the final name.
    bool replace();
    // Undoes replace(): the earlier file goes back to its name, or the new
    // file is removed when there was none.
    void put_back();
    // Removes the earlier file's hidden name; false when it had none.
    bool drop_earlier();

    const std::string& path() const { return final_path_; }
    // The folder that holds the output (".": the working folder).
    const std::string& folder() const { return folder_; }
    // Why the output failed, as the system words it.
    std::string reason() const;

private:
    void open();
    void drain() override;
    void hand_to_disk();
    void close_file();
    void discard();
    void fail(int error);  // keeps the first error
    std::string hidden_name(const char* kind, int attempt) const;

    std::string final_path_;
    std::string folder_;
    std::string new_path_;      // the new file's hidden name, once it has one
    std::string earlier_path_;  // the earlier file's hidden name, while it has one
    int fd_ = -1;
    bool unnamed_ = false;     // the open file has no name yet
    bool move_aside_ = false;  // no hard links here: replace() renames the earlier file aside
    bool replaced_ = false;    // the new file is at the final name
    bool keep_mode_ = false;   // an earlier file gives its permission bits
    mode_t earlier_mode_ = 0;
    std::uint64_t written_ = 0;         // bytes written to the file
    std::uint64_t handed_to_disk_ = 0;  // of those, asked to be written to disk
    int slot_ = -1;  // place of new_path_ among the files the signal handlers remove
    bool ok_ = false;
    int error_ = 0;  // the errno of the first failure
};

}  // namespace at
