#include "common/cli/messages.hpp"

#include <cstdio>
#include <string>

namespace at::cli {

namespace {

void report(std::string_view wording, std::string_view path) {
    std::string message = "\n";
    message += wording;
    message += " \"";
    message += path;
    message += "\"\n";
    std::fwrite(message.data(), 1, message.size(), stderr);
}

}  // namespace

void report_open_failure(std::string_view path, Naming naming) {
    report(naming == Naming::second ? "Not able to open the file 2" : "Not able to open the file", path);
}

void report_read_failure(std::string_view path) { report("Not able to read the file", path); }

void report_write_failure(std::string_view path) { report("Not able to write the file", path); }

}  // namespace at::cli
