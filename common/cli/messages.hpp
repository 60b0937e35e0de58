#pragma once
// The messages of inputs and outputs that fail, on standard error: a
// newline, the wording, the path in double quotes, ": " and the reason, a
// newline.

#include <string_view>

#include "common/cli/inputs.hpp"
#include "common/io/errors.hpp"

namespace at::cli {

void report_open_failure(const io::FileFailure& failure, Naming naming);
void report_read_failure(const io::FileFailure& failure);
void report_write_failure(const io::FileFailure& failure);
void report_folder_failure(const io::FileFailure& failure);
void report_read_not_listed(const io::ReadNotListed& failure);

}  // namespace at::cli
