#include "common/cli/program.hpp"

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
    text += ' ';
    text += program.arguments;
    text += "\n       ";
    text += program.name;
    text += " --help | --version\n\n";
    text += program.description;
    text +=
        "\nEvery output is written to a temporary file first; earlier files of the same\n"
        "names are replaced only when all outputs of the run are complete.\n"
        "\nExit status: 0 success; 1 an input could not be opened or read, or an output\n"
        "could not be written (earlier files are then left as they were); 255 a\n"
        "mandatory argument is missing.\n"
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

}  // namespace

int run(const Program& program, int argc, char** argv, const std::function<void(char** argv, OutputSet& outputs)>& body) {
    try {
        if (argc >= 2) {
            const std::string_view first = argv[1];
            if (first == "--help" || first == "-h") return answer(help_text(program));
            if (first == "--version") {
                return answer(std::string(program.name) + " (amplicon tally tools) " AT_VERSION "\n");
            }
        }
        if (argc - 1 < program.mandatory_arguments) {
            print(stderr, "Usage: Enter mandatory arguments\nSample: ./" + std::string(program.name) + ' ' +
                              std::string(program.arguments) + '\n');
            return exit_usage;
        }
        install_output_signal_handlers();
        fast::prepare_heap();
        SafeOutputs outputs;
        body(argv, outputs);
        outputs.commit();
        return exit_success;
    } catch (const OpenFailed&) {
        // Each input that could not be opened is reported as it is tried
        // (inputs.cpp), so that all of them are named.
    } catch (const io::ReadFailed& failure) {
        report_read_failure(failure.failure);
    } catch (const io::WriteFailed& failure) {
        for (const io::FileFailure& file : failure.failures) report_write_failure(file);
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
