#pragma once
// The command-line frame of every program: --help and --version, the
// argument check and its usage text, exit statuses, and the one place where
// failures become messages, so that no exception leaves main.

#include <functional>
#include <string_view>

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

// Runs a program's body inside the frame. The body gets argv (its mandatory
// arguments are there) and does the run; a failure it throws (an input that
// cannot be opened or read, an output that cannot be written) is reported
// here. Returns the exit status.
int run(const Program& program, int argc, char** argv, const std::function<void(char** argv)>& body);

}  // namespace at::cli
