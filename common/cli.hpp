#pragma once
// The command-line frame of every program: argument check and usage text,
// the messages for inputs and outputs that fail, exit statuses, and the guard
// that keeps exceptions from leaving main.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/line_reader.hpp"
#include "common/output_file.hpp"
#include "common/output_set.hpp"

namespace at::cli {

constexpr int exit_success = 0;
constexpr int exit_failure = 1;  // an input, a read or an output failed
constexpr int exit_usage = 255;  // mandatory arguments missing

struct Program {
    std::string_view name;         // "readtally"
    std::string_view arguments;    // "<mothur_output_file>"
    int mandatory_arguments;       // positional arguments the program needs
    std::string_view description;  // --help: what it reads and what it writes
    std::string_view example;      // --help: one command line
};

// Runs a program's body inside the frame: --help and --version, the argument
// check, and no exception past main. The body gets argv and returns the status.
int run(const Program& program, int argc, char** argv, const std::function<int(char** argv)>& body);

constexpr std::string_view open_failure_wording = "Not able to open the file \"";

void report_open_failure(std::string_view path, std::string_view wording = open_failure_wording);
void report_read_failure(std::string_view path);
void report_write_failure(std::string_view path);

// One input file of a run, read line by line.
class Input {
public:
    // fd is the opened file, or -1 when it could not be opened (the input
    // then reads as empty).
    Input(std::string path, int fd);
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    LineReader& lines() { return reader_; }
    // The size of a regular file as it was opened, 0 for anything else: a
    // hint for sizing tables, never a limit on what is read.
    std::uint64_t size_hint() const { return size_hint_; }
    // True when the input was read to its end; otherwise reports the read
    // error, after which the run writes nothing.
    bool read_completely() const;

private:
    std::string path_;
    int fd_;
    std::uint64_t size_hint_ = 0;
    LineReader reader_;
};

// The inputs of one run. Each is opened before any output is created; every
// input that cannot be opened is reported, and the run then writes nothing.
class Inputs {
public:
    Input& open(const char* path, std::string_view wording = open_failure_wording);
    bool all_open() const { return all_open_; }

private:
    std::vector<std::unique_ptr<Input>> files_;
    bool all_open_ = true;
};

// The output files of one run, made safe: nothing replaces an earlier file
// until every output is complete, and then all are renamed into place.
class Outputs final : public OutputSet {
public:
    TextSink& create(std::string_view name) override;
    // Finishes every output and renames them into place; reports each output
    // that could not be created or written. Returns the run's exit status.
    int commit_all();

private:
    std::vector<std::unique_ptr<OutputFile>> files_;
};

}  // namespace at::cli
