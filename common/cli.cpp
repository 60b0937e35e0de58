#include "common/cli.hpp"

#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "common/heap.hpp"

#ifndef AT_VERSION
#define AT_VERSION "unknown"
#endif

namespace at::cli {

namespace {

void print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

void report(std::string_view wording, std::string_view path) {
    std::string message;
    message.reserve(wording.size() + path.size() + 3);
    message += '\n';
    message += wording;
    message += path;
    message += "\"\n";
    print(stderr, message);
}

}  // namespace

void report_open_failure(std::string_view path, std::string_view wording) { report(wording, path); }
void report_read_failure(std::string_view path) { report("Not able to read the file \"", path); }
void report_write_failure(std::string_view path) { report("Not able to write the file \"", path); }

namespace {

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

}  // namespace

int run(const Program& program, int argc, char** argv, const std::function<int(char** argv)>& body) {
    try {
        if (argc >= 2) {
            const std::string_view first = argv[1];
            if (first == "--help" || first == "-h") {
                print(stdout, help_text(program));
                return std::fflush(stdout) == 0 ? exit_success : exit_failure;
            }
            if (first == "--version") {
                std::string text(program.name);
                text += " (amplicon tally tools) " AT_VERSION "\n";
                print(stdout, text);
                return std::fflush(stdout) == 0 ? exit_success : exit_failure;
            }
        }
        if (argc - 1 < program.mandatory_arguments) {
            std::string text = "Usage: Enter mandatory arguments\nSample: ./";
            text += program.name;
            text += ' ';
            text += program.arguments;
            text += '\n';
            print(stderr, text);
            return exit_usage;
        }
        install_output_signal_handlers();
        prepare_heap();
        return body(argv);
    } catch (const std::bad_alloc&) {
        std::string text(program.name);
        text += ": out of memory\n";
        print(stderr, text);
    } catch (const std::exception& error) {
        std::string text(program.name);
        text += ": ";
        text += error.what();
        text += '\n';
        print(stderr, text);
    } catch (...) {
        std::string text(program.name);
        text += ": unexpected failure\n";
        print(stderr, text);
    }
    return exit_failure;
}

Input::Input(std::string path, int fd)
    : path_(std::move(path)), fd_(fd), reader_(fd >= 0 ? LineReader(fd) : LineReader(std::string_view())) {
    struct stat status;
    if (fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        size_hint_ = static_cast<std::uint64_t>(status.st_size);
    }
}

Input::~Input() {
    if (fd_ >= 0) ::close(fd_);
}

bool Input::read_completely() const {
    if (!reader_.failed()) return true;
    report_read_failure(path_);
    return false;
}

Input& Inputs::open(const char* path, std::string_view wording) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        report_open_failure(path, wording);
        all_open_ = false;
    } else {
        // Inputs are read once from start to end.
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    files_.push_back(std::make_unique<Input>(path, fd));
    return *files_.back();
}

TextSink& Outputs::create(std::string_view name) {
    // Outputs are written one after the other, so the one before is
    // complete: its last rows go to the disk while this one is made, and the
    // sync at the end has less to wait for.
    if (!files_.empty()) files_.back()->start_writeback();
    files_.push_back(std::make_unique<OutputFile>(std::string(name)));
    files_.back()->open();
    return *files_.back();
}

int Outputs::commit_all() {
    for (auto& file : files_) file->start_writeback();
    bool complete = true;
    for (auto& file : files_) {
        if (!file->finish()) {
            report_write_failure(file->path());
            complete = false;
        }
    }
    if (!complete) {
        for (auto& file : files_) file->discard();
        return exit_failure;
    }
    int status = exit_success;
    for (auto& file : files_) {
        if (!file->commit()) {
            report_write_failure(file->path());
            status = exit_failure;
        }
    }
    return status;
}

}  // namespace at::cli
