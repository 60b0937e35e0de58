#pragma once
// The command-line frame of every program: the options (--help, --version,
// --outdir), the argument check and its usage text, exit statuses, and the
// one place where failures become messages, so that no exception leaves main.

#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/io/output_set.hpp"

namespace at::cli {

constexpr int exit_success = 0;
constexpr int exit_failure = 1;  // an input, a read or an output failed
constexpr int exit_usage = 255;  // mandatory arguments missing, or an unknown option

// An option of one program, besides those every program has.
struct Option {
    std::string_view name;        // "--html"
    std::string_view value_name;  // "FILE" for an option that takes a value; "" for a switch
    std::string_view help;        // --help: what it does, lines after the first indented by 20
    bool value_is_input = false;  // the value is the path of an input ("-" is standard input)
    std::string_view excludes = {};  // an option that cannot be given with this one
};

struct Program {
    std::string_view name;         // "readtally"
    std::string_view arguments;    // "<mothur_output_file>"
    int mandatory_arguments;       // positional arguments the program needs
    std::string_view description;  // --help: what it reads and what it writes
    std::string_view example;      // --help: one command line
    std::span<const Option> options = {};
};

// What a run is asked to do: the input paths in argument order, at least the
// program's mandatory arguments (surplus ones are warned about and left
// out), and the program's own options that were given (an option given
// twice keeps its last value).
struct Command {
    std::vector<const char*> inputs;
    std::map<std::string, std::string, std::less<>> options;  // name -> value ("" for a switch)

    bool has(std::string_view option) const { return options.find(option) != options.end(); }
};

// Runs a program's body inside the frame. The body gets its command and the
// run's outputs, a safe output set (in the folder of --outdir, else the
// current folder) that the frame commits when the body returns. A failure
// the body throws (an input that cannot be opened or read) or the commit
// meets (an output that cannot be written) ends the run with the failure's
// status, the outputs not committed. Returns the exit status.
int run(const Program& program, int argc, char** argv,
        const std::function<void(const Command& command, OutputSet& outputs)>& body);

}  // namespace at::cli
