// fuzz_sharescale: the fuzz input is sharescale's two-column table.

#include <cstddef>
#include <cstdint>

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"
#include "fuzz/fuzz_inputs.hpp"
#include "sharescale/sharescale.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    at::LineReader table(at::fuzz::one_input(data, size));
    at::MemoryOutputs outputs;
    at::sharescale::normalize(table, outputs);
    return 0;
}
