// fuzz_strayreads: the fuzz input is strayreads' two inputs in argument
// order, cut as fuzz_inputs.hpp says: the classification file, then the
// FASTA file.

#include <cstddef>
#include <cstdint>

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"
#include "fuzz/fuzz_inputs.hpp"
#include "strayreads/strayreads.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const at::fuzz::TwoInputs inputs = at::fuzz::two_inputs(data, size);
    at::LineReader classification(inputs.first);
    at::LineReader fasta(inputs.second);
    at::MemoryOutputs outputs;
    at::strayreads::extract(classification, fasta, outputs);
    return 0;
}
