#include "common/cli/messages.hpp"

#include <cstdio>
#include <string>

namespace at::cli {

namespace {

void report(std::string_view wording, std::string_view path, std::string_view reason) {
    std::string message = "\n";
    message += wording;
    message += " \"";
    message += path;
    message += '"';
    if (!reason.empty()) {
        message += ": ";
        message += reason;
    }
    message += '\n';
    std::fwrite(message.data(), 1, message.size(), stderr);
}

}  // namespace

void report_open_failure(const io::FileFailure& failure, Naming naming) {
    report(naming == Naming::second ? "Not able to open the file 2" : "Not able to open the file", failure.path,
           failure.reason);
}

void report_read_failure(const io::FileFailure& failure) {
    report("Not able to read the file", failure.path, failure.reason);
}

void report_write_failure(const io::FileFailure& failure) {
    report("Not able to write the file", failure.path, failure.reason);
}

void report_folder_failure(const io::FileFailure& failure) {
    report("Not able to make the folder", failure.path, failure.reason);
}

void report_read_not_listed(const io::ReadNotListed& failure) {
    std::string message = "\nNot able to find the read \"";
    (message += failure.read) += "\" in the file \"";
    (message += failure.file) += "\"\n";
    std::fwrite(message.data(), 1, message.size(), stderr);
}

}  // namespace at::cli
