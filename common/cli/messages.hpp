#pragma once
// The messages of inputs and outputs that fail, on standard error: a
// newline, the wording, the path in double quotes, a newline.

#include <string_view>

#include "common/cli/inputs.hpp"

namespace at::cli {

void report_open_failure(std::string_view path, Naming naming);
void report_read_failure(std::string_view path);
void report_write_failure(std::string_view path);

}  // namespace at::cli
