#include "common/io/errors.hpp"

#include <cstring>

namespace at::io {

std::string reason_of(int error) { return std::strerror(error); }

}  // namespace at::io
