#include "common/cli/program.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "common/cli/inputs.hpp"
#include "common/cli/messages.hpp"
#include "common/fast/heap.hpp"
#include "common/io/errors.hpp"
#include "common/io/termination.hpp"
#include "common/io/safe_outputs.hpp"

#ifndef AT_VERSION
#define AT_VERSION "unknown"
#endif

namespace at::cli {

namespace {

void print(std::FILE* stream, std::string_view text) { std::fwrite(text.data(), 1, text.size(), stream); }

// The text of --help: the same frame around every program's own description.
std::string help_text(const Program& program) {
    std::string text = "Usage: ";
    text += program.name;
    text += " [-o DIR] ";
    for (const Option& option : program.options) {
        (text += '[') += option.name;
        if (!option.value_name.empty()) (text += ' ') += option.value_name;
        text += "] ";
    }
    text += program.arguments;
    text += "\n       ";
    text += program.name;
    text += " --help | --version\n\n";
    text += program.description;
    text +=
        "\nOptions, before or after the inputs:\n";
    for (const Option& option : program.options) {
        std::string usage = "  ";
        usage += option.name;
        if (!option.value_name.empty()) (usage += ' ') += option.value_name;
        usage.resize(std::max<std::size_t>(usage.size() + 1, 20), ' ');
        (text += usage) += option.help;
        text += '\n';
    }
    text +=
        "  -o, --outdir DIR  write the outputs into DIR instead of the current folder;\n"
        "                    DIR is made when it does not exist (its parent must)\n"
        "  -h, --help        print this text and exit\n"
        "      --version     print the version and exit\n"
        "  --                end the options: the arguments after it are inputs even\n"
        "                    when they start with \"-\"; an input named \"-x\" may also\n"
        "                    be given as \"./-x\"\n"
        "\nAn input \"-\" is standard input (one input at most). Inputs compressed with\n"
        "gzip are read decompressed, whatever their names; Windows line ends (CRLF)\n"
        "are read as line ends.\n"
        "\nEvery output is written to a temporary file first; earlier files of the same\n"
        "names are replaced only when all outputs of the run are complete.\n"
        "\nExit status: 0 success; 1 an input could not be opened or read, or an output\n"
        "could not be written (earlier files are then left as they were); 255 a\n"
        "mandatory argument is missing or an option is unknown.\n"
        "\nExample: ";
    text += program.example;
    text += '\n';
    return text;
}

// Prints a text on standard output for --help and --version.
int answer(std::string_view text) {
    print(stdout, text);
    return std::fflush(stdout) == 0 ? exit_success : exit_failure;
}

void report_failure(const Program& program, std::string_view what) {
    std::string text(program.name);
    text += ": ";
    text += what;
    text += '\n';
    print(stderr, text);
}

int usage_error(const Program& program, std::string_view problem) {
    if (!problem.empty()) report_failure(program, problem);
    print(stderr, "Usage: Enter mandatory arguments\nSample: ./" + std::string(program.name) + ' ' +
                      std::string(program.arguments) + '\n');
    return exit_usage;
}

std::string quoted(std::string_view text) { return '"' + std::string(text) + '"'; }

// What the command line asks for.
struct CommandLine {
    enum class Action { run, help, version, usage_error } action = Action::run;
    std::string problem;  // for a usage error: what is wrong ("" when inputs are missing)
    Command command;
    std::string outdir;
};

const Option* own_option(const Program& program, std::string_view argument) {
    for (const Option& option : program.options) {
        if (option.name == argument) return &option;
    }
    return nullptr;
}

// Options may stand anywhere before "--"; "-" alone is an input (standard
// input), as is every argument after "--".
CommandLine parse(const Program& program, int argc, char** argv) {
    CommandLine line;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (options_ended || argument.size() < 2 || argument[0] != '-') {
            line.command.inputs.push_back(argv[i]);
        } else if (argument == "--") {
            options_ended = true;
        } else if (argument == "-h" || argument == "--help") {
            line.action = CommandLine::Action::help;
            return line;
        } else if (argument == "--version") {
            line.action = CommandLine::Action::version;
            return line;
        } else if (argument == "-o" || argument == "--outdir") {
            if (i + 1 == argc) {
                line.action = CommandLine::Action::usage_error;
                line.problem = "option " + quoted(argument) + " needs a folder";
                return line;
            }
            line.outdir = argv[++i];
        } else if (argument.starts_with("--outdir=")) {
            line.outdir = argument.substr(9);
        } else if (const Option* option = own_option(program, argument)) {
            std::string value;
            if (!option->value_name.empty()) {
                if (i + 1 == argc) {
                    line.action = CommandLine::Action::usage_error;
                    line.problem = "option " + quoted(argument) + " needs a value";
                    return line;
                }
                value = argv[++i];
            }
            line.command.options[std::string(argument)] = value;
        } else {
            line.action = CommandLine::Action::usage_error;
            line.problem = "unknown option " + quoted(argument);
            return line;
        }
    }
    for (const Option& option : program.options) {
        if (!option.excludes.empty() && line.command.has(option.name) && line.command.has(option.excludes)) {
            line.action = CommandLine::Action::usage_error;
            line.problem = "options " + quoted(option.name) + " and " + quoted(option.excludes) + " exclude each other";
            return line;
        }
    }
    return line;
}

// How many of the inputs a command names, its options' included, are
// standard input.
std::size_t standard_inputs(const Program& program, const Command& command) {
    auto count = static_cast<std::size_t>(std::count(command.inputs.begin(), command.inputs.end(), standard_input_name));
    for (const Option& option : program.options) {
        const auto given = command.options.find(option.name);
        if (option.value_is_input && given != command.options.end() && given->second == standard_input_name) ++count;
    }
    return count;
}

}  // namespace

int run(const Program& program, int argc, char** argv,
        const std::function<void(const Command& command, OutputSet& outputs)>& body) {
    try {
        CommandLine line = parse(program, argc, argv);
        switch (line.action) {
            case CommandLine::Action::help: return answer(help_text(program));
            case CommandLine::Action::version:
                return answer(std::string(program.name) + " (amplicon tally tools) " AT_VERSION "\n");
            case CommandLine::Action::usage_error: return usage_error(program, line.problem);
            case CommandLine::Action::run: break;
        }
        const auto mandatory = static_cast<std::size_t>(program.mandatory_arguments);
        std::vector<const char*>& inputs = line.command.inputs;
        if (inputs.size() < mandatory) return usage_error(program, "");
        for (std::size_t i = mandatory; i < inputs.size(); ++i) {
            report_failure(program, "ignoring extra argument " + quoted(inputs[i]));
        }
        inputs.resize(mandatory);
        if (standard_inputs(program, line.command) > 1) {
            return usage_error(program, "standard input (\"-\") can be only one of the inputs");
        }
        install_output_signal_handlers();
        fast::prepare_heap();
        SafeOutputs outputs(line.outdir);
        body(line.command, outputs);
        outputs.commit();
        return exit_success;
    } catch (const OpenFailed&) {
        // Each input that could not be opened is reported as it is tried
        // (inputs.cpp), so that all of them are named.
    } catch (const io::ReadFailed& failure) {
        report_read_failure(failure.failure);
    } catch (const io::ReadNotListed& failure) {
        report_read_not_listed(failure);
    } catch (const io::WriteFailed& failure) {
        for (const io::FileFailure& file : failure.failures) report_write_failure(file);
    } catch (const io::FolderFailed& failure) {
        report_folder_failure(failure.failure);
    } catch (const std::bad_alloc&) {
        report_failure(program, "out of memory");
    } catch (const std::exception& error) {
        report_failure(program, error.what());
    } catch (...) {
        report_failure(program, "unexpected failure");
    }
    return exit_failure;
}

}  // namespace at::cli
