// fuzz_sharescale: the fuzz input is sharescale's two-column table; its
// output must come out in key order (table_checks.hpp).

#include <cstddef>
#include <cstdint>

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"
#include "fuzz/fuzz_inputs.hpp"
#include "fuzz/table_checks.hpp"
#include "sharescale/sharescale.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    at::LineReader table(at::fuzz::one_input(data, size));
    at::MemoryOutputs outputs;
    at::sharescale::normalize(table, outputs);
    at::fuzz::check_table(outputs, "normalized.txt", at::fuzz::KeyOrder::bytes, at::fuzz::Closing::none);
    return 0;
}
