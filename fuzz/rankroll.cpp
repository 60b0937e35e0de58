// fuzz_rankroll: the fuzz input is rankroll's two inputs in argument order,
// cut as fuzz_inputs.hpp says: the mapped-back abundance table, then the
// Greengenes taxonomy.

#include <cstddef>
#include <cstdint>

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"
#include "fuzz/fuzz_inputs.hpp"
#include "rankroll/rankroll.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const at::fuzz::TwoInputs inputs = at::fuzz::two_inputs(data, size);
    at::LineReader abundance(inputs.first);
    at::LineReader taxonomy(inputs.second);
    at::MemoryOutputs outputs;
    at::rankroll::roll_up(abundance, taxonomy, outputs);
    return 0;
}
